// The backup engine: the first sectors of a disk into a backup set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/physical_disk.h"
#include "engine/progress.h"
#include "engine/backup_writer.h"
#include "format/bad_sector_map.h"

namespace kiroda {

struct backup_options {
    // Go past unreadable sectors without asking (they are stored as zeros
    // and listed in the set's map, KRDMAP.TXT). Otherwise the first
    // unreadable sector brings a question: OK goes on the same way, Cancel
    // ends the backup with the read error.
    bool rescue = false;
    // Go on with the unfinished set in the folder (see backup_resume.h)
    // instead of starting a new one; a set that cannot go on is refused
    // with the reason and left as it is.
    bool resume = false;
    // Without `rescue`, ask at the first unreadable sector (false: end
    // with the read error, as a Cancel would; for a caller answering every
    // question yes, which must not go past lost sectors unasked for).
    bool ask_to_go_past = true;
    // Read every file of the set back from the medium once it is written
    // (backup_writer.h): a medium that does not keep what was written fails
    // the backup. Only krdtool's --no-readback turns it off.
    bool read_back = true;
    // When given: set to true when the backup failed because the medium did
    // not keep a file of the set (the files left are of no use to a resume).
    bool* medium_failed = nullptr;
    // When given: set to true when the backup ended at unreadable sectors it
    // was not to go past (not asked, or the question answered Cancel), so a
    // caller can say how to go on past them.
    bool* stopped_at_lost_sectors = nullptr;
    // The source's identity as the set's KRDDISK.TXT records it
    // (format/source_disk.h), written with the digest file; empty for none.
    std::string source_disk_record;
    // Sectors stored as zeros instead of read (blocks no file system uses,
    // krdtool's --used-only): sorted runs that do not overlap. The header
    // and data files stay as every reader knows them.
    std::vector<sector_run> zero_runs;
    // Workers that digest and pack the chunks (0: one per core). The set is
    // the same byte for byte whatever the number.
    unsigned threads = 0;
};

// Backs up floor(backup_size / 512) sectors of disk `source_disk`, from
// sector 0, into `folder`: the header file, then the data files. Returns
// kEngineDone, or kEngineFailed after a failure message or a stop.
outcome backup_disk(progress& p, int source_disk, const char* folder, std::uint64_t backup_size,
                    const backup_options& options = {});

// The data phase: the sectors of the disk from where `writer` stands
// (sector 0 for a new backup) into its data files, and the digest file.
// `disk_number` names the same disk for the careful re-reads of a rescue.
// True when every sector is stored, false after a failure message or a stop.
bool copy_disk_to_data_files(progress& p, const disk_handle& disk, int disk_number,
                             const backup_options& options, backup_writer& writer);

}  // namespace kiroda
