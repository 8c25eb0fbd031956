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
#include "engine/restore_engine.h"
#include "format/bad_sector_map.h"

namespace kiroda {

struct verify_options {
    // A disk to compare every block with (read only), or kNoDisk.
    int against_disk = kNoDisk;
    // A disk smaller than the set (a restore with --fit) is compared where
    // it reaches, and the set must be zeros past its end.
    bool against_fit = false;
    // What a restore writes in place of the set's bytes (a GPT mended for a
    // disk of another size: its protective MBR and primary header, and the
    // backup at the disk's end), and with against_fit the set's bytes past
    // the disk's end it replaces: exactly these sectors may differ, and only
    // as the restore writes them.
    std::vector<sector_write> expected;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> replaced;
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
