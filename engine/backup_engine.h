// The backup engine: the first sectors of a disk into a backup set.
#pragma once

#include <cstdint>

#include "disk/physical_disk.h"
#include "engine/progress.h"

namespace kiroda {

// Backs up floor(backup_size / 512) sectors of disk `source_disk`, from
// sector 0, into `folder`: the header file, then the data files. Returns
// kEngineDone, or kEngineFailed after a failure message or a stop.
int backup_disk(progress& p, int source_disk, const char* folder, std::uint64_t backup_size);

// The data phase: `sectors` sectors from the disk's current position into
// data files KRD00001.BIN... of `folder`. 1 when every sector is stored,
// 0 after a failure message or a stop.
int copy_disk_to_data_files(progress& p, const char* folder, const disk_handle& disk,
                            std::uint64_t sectors);

}  // namespace kiroda
