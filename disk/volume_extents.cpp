#include "disk/volume_extents.h"

#include "util/le.h"

namespace kiroda {

std::vector<int> parse_volume_extents(const unsigned char* reply, std::size_t reply_bytes) {
    if (reply_bytes < kExtentsHeaderBytes) return {};
    const std::uint32_t count = load_le32(reply);
    if (count == 0 || count > (reply_bytes - kExtentsHeaderBytes) / kExtentBytes) return {};
    std::vector<int> numbers;
    numbers.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned char* extent = reply + kExtentsHeaderBytes + i * kExtentBytes;
        numbers.push_back(static_cast<int>(load_le32(extent)));
    }
    return numbers;
}

}  // namespace kiroda
