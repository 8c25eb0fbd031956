// Whether a set fits a target smaller than the disk it was made from: every
// partition of the set's MBR (the primary entries, the extended container,
// the logical partitions along its chain) ends within the target, or every
// entry of its GPT ends before the room the backup header and entry array
// take at the target's end; and every byte of the set past the target's end
// is zero (but for the GPT's own backup, which is written anew). Then a restore of the
// target's first bytes gives a disk that is the set in all that matters.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

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
    // Bytes of the set past the target's end that are not zero (those it
    // replaces left out).
    std::uint64_t nonzero_past_end = 0;
    // A GPT disk: the room its backup header and entry array take at the
    // target's end (the partitions must end before it), and the set's own
    // backup, which the restore replaces instead of restoring.
    bool gpt = false;
    std::uint64_t gpt_room_bytes = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> replaced;

    bool fits(std::uint64_t target_bytes) const {
        return !chain_cut && partitions_end + gpt_room_bytes <= target_bytes &&
               nonzero_past_end == 0;
    }
};

// Reads the set in `folder` (checked as the data test checks it) for a
// target of `target_bytes` bytes (a whole number of sectors, below
// `backup_bytes`). kEngineDone with `*check` filled in; kEngineStopped on a
// stop; kEngineFailed after a message (a set that does not read).
outcome check_fit(progress& p, const char* folder, std::uint64_t backup_bytes,
                  std::uint64_t target_bytes, fit_check* check, std::uint32_t sector_bytes = 512);

// The bytes of `data` that are not zero.
std::uint64_t count_nonzero(const unsigned char* data, std::size_t size);

}  // namespace kiroda
