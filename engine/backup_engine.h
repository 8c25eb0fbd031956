// The backup engine: the first sectors of a disk into a backup set.
#pragma once

#include <cstdint>

#include "disk/physical_disk.h"
#include "engine/progress.h"
#include "format/bad_sector_map.h"
#include "format/digest.h"
#include "format/set_digests.h"

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
};

// Where the data phase of a backup stands: at sector 0 for a new backup, or
// where an unfinished set stopped (examine_unfinished_set fills it in). The
// data phase goes on from here and keeps it current.
struct backup_state {
    std::uint64_t next_sector = 0;  // the first sector not in the set yet
    int file_number = 1;            // the data file the next block goes into
    int blocks_in_file = 0;         // whole blocks that file already holds...
    std::uint64_t file_bytes = 0;   // ...in its first bytes (the rest is cut off)
    set_digests digests;            // every block so far and every closed file
    digest_stream file_digest;      // the bytes of the open data file so far
    digest_stream stream_digest;    // the sectors so far
    bad_sector_map map;             // the sectors so far, read or not
    // The backup goes past unreadable sectors without asking (--rescue, or
    // the question answered)...
    bool rescuing = false;
    // ...and keeps the map of the set written (so does a resumed set that
    // went past some before).
    bool keeps_map = false;
};

// Backs up floor(backup_size / 512) sectors of disk `source_disk`, from
// sector 0, into `folder`: the header file, then the data files. Returns
// kEngineDone, or kEngineFailed after a failure message or a stop.
int backup_disk(progress& p, int source_disk, const char* folder, std::uint64_t backup_size,
                const backup_options& options = {});

// The data phase: the first `sectors` sectors of the disk, from where
// `state` stands (sector 0 for a new backup), into data files KRD00001.BIN...
// of `folder`. `disk_number` names the same disk for the careful re-reads of
// a rescue. 1 when every sector is stored, 0 after a failure message or a stop.
int copy_disk_to_data_files(progress& p, const char* folder, const disk_handle& disk,
                            std::uint64_t sectors, int disk_number, const backup_options& options,
                            backup_state& state);

}  // namespace kiroda
