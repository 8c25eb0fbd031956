#include "engine/sequential_reads.h"

#include <algorithm>

namespace kiroda {

byte_range sequential_reads::after_read(std::uint64_t offset, std::uint64_t length) {
    const std::uint64_t end = offset + length;
    const std::lock_guard<std::mutex> lock(mutex_);
    const bool goes_on = started_ && offset + kSlack >= reached_ && offset <= reached_ + kSlack;
    if (!goes_on) {
        // A new run: what was read ahead for the old one is no guide.
        reached_ = end;
        ahead_ = 0;
        started_ = true;
        return {};
    }
    reached_ = std::max(reached_, end);
    const std::uint64_t from = std::max(end, ahead_);
    const std::uint64_t to = end + window_;
    if (from >= to) return {};
    ahead_ = to;
    return {from, to - from};
}

}  // namespace kiroda
