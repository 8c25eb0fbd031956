// The backup engine: the first sectors of a disk into a backup set.
#pragma once

#include <cstdint>

#include "disk/physical_disk.h"
#include "engine/progress.h"

namespace kiroda {

struct backup_options {
    // Go past unreadable sectors without asking (they are stored as zeros
    // and listed in the set's map, KRDMAP.TXT). Otherwise the first
    // unreadable sector brings a question: OK goes on the same way, Cancel
    // ends the backup with the read error.
    bool rescue = false;
};

// Backs up floor(backup_size / 512) sectors of disk `source_disk`, from
// sector 0, into `folder`: the header file, then the data files. Returns
// kEngineDone, or kEngineFailed after a failure message or a stop.
int backup_disk(progress& p, int source_disk, const char* folder, std::uint64_t backup_size,
                const backup_options& options = {});

// The data phase: `sectors` sectors from sector 0 of the disk into data
// files KRD00001.BIN... of `folder`. `disk_number` names the same disk for
// the careful re-reads of a rescue (-1: none; a read failure then ends the
// backup). 1 when every sector is stored, 0 after a failure message or a stop.
int copy_disk_to_data_files(progress& p, const char* folder, const disk_handle& disk,
                            std::uint64_t sectors, int disk_number = -1, const backup_options& options = {});

}  // namespace kiroda
