// The data test: every block a set needs is read, unpacked and checked
// against its checksums, the set's structure and, when the set has them, its
// digests, without writing to any disk. It can also compare the set with a
// disk: after a backup, is the set this disk; after a restore, is the disk
// this set.
#pragma once

#include <cstdint>
#include <vector>

#include "disk/disk_survey.h"
#include "engine/progress.h"
#include "format/bad_sector_map.h"

namespace kiroda {

struct verify_options {
    // A disk to compare every block with (read only), or kNoDisk.
    int against_disk = kNoDisk;
    // A disk smaller than the set (a restore with --fit) is compared where
    // it reaches, and the set must be zeros past its end.
    bool against_fit = false;
    // Sectors a set made of the used blocks only stores as zeros without
    // having read them (sorted runs): the disk's bytes there are not
    // compared, the set's must be zeros.
    const std::vector<sector_run>* not_compared = nullptr;
    // Workers that unpack and check the blocks (0: one per core). The
    // verdict and its message are the same whatever the number.
    unsigned threads = 0;
};

// kEngineDone when blocks holding exactly `backup_bytes` bytes were read and
// passed every check (and equal the disk's sectors); kEngineStopped on a
// stop; kEngineFailed after a message.
outcome verify_backup_set(progress& p, const char* folder, std::uint64_t backup_bytes,
                          const verify_options& options = {});

}  // namespace kiroda
