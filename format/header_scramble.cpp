#include "format/header_scramble.h"

namespace kiroda {

void scramble_bytes(unsigned char* bytes, std::size_t size, std::uint32_t seed) {
    classic_rand first(seed);
    classic_rand stream(static_cast<std::uint32_t>(first.next()));
    for (std::size_t i = 0; i < size; ++i) bytes[i] ^= static_cast<unsigned char>(stream.next());
}

}  // namespace kiroda
