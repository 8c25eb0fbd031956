// Whether a set fits a target smaller than the disk it was made from: every
// partition of the set's MBR (the primary entries, the extended container,
// the logical partitions along its chain) ends within the target, and every
// byte of the set past the target's end is zero. Then a restore of the
// target's first bytes gives a disk that is the set in all that matters.
#pragma once

#include <cstdint>

#include "engine/progress.h"
#include "ui/outcome.h"

namespace kiroda {

struct fit_check {
    // How far the partitions reach, in bytes from the start of the disk (0
    // for a disk without a partition table).
    std::uint64_t partitions_end = 0;
    // The chain of extended boot records broke: logical partitions after
    // it are not known, so nothing can be said to fit.
    bool chain_cut = false;
    // Bytes of the set past the target's end that are not zero.
    std::uint64_t nonzero_past_end = 0;

    bool fits(std::uint64_t target_bytes) const {
        return !chain_cut && partitions_end <= target_bytes && nonzero_past_end == 0;
    }
};

// Reads the set in `folder` (checked as the data test checks it) for a
// target of `target_bytes` bytes (a whole number of sectors, below
// `backup_bytes`). kEngineDone with `*check` filled in; kEngineStopped on a
// stop; kEngineFailed after a message (a set that does not read).
outcome check_fit(progress& p, const char* folder, std::uint64_t backup_bytes,
                  std::uint64_t target_bytes, fit_check* check);

// The bytes of `data` that are not zero.
std::uint64_t count_nonzero(const unsigned char* data, std::size_t size);

}  // namespace kiroda
