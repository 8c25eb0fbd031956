#include "util/zeros.h"

#include <cstdint>
#include <cstring>

namespace kiroda {

bool all_zero(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    // Eight bytes at a time (the compiler widens the loop further), with a
    // look every 64 KiB so that data near the start ends the scan early.
    std::uint64_t acc = 0;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        acc |= word;
        if ((i & 0xFFFF) == 0 && acc != 0) return false;
    }
    for (; i < size; ++i) acc |= bytes[i];
    return acc == 0;
}

}  // namespace kiroda
