// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial value
// 0xFFFFFFFF, final complement): the checksum of the header file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kiroda {

std::uint32_t crc32(const unsigned char* data, std::size_t size);

}  // namespace kiroda
