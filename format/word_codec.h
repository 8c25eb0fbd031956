// The word run-length code of packed blocks, and the two chunk checksums.
//
// A chunk of L bytes is read as floor(L/4) little-endian 32-bit words and
// L mod 4 trailing bytes. Runs of two or more zero words become the pair
// (escape word, run length); the escape word itself becomes (escape word, 0);
// a single zero word and every other word stand for themselves. The trailing
// bytes follow the code unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kiroda {

constexpr std::uint32_t kEscapeWord = 0xA3A3A3A3u;
constexpr std::uint32_t kFillWord = 0x00000000u;

// Code of `source` into `destination`. Returns the bytes of code, or -1 as
// soon as the code would need more than `capacity` bytes (nothing past
// `capacity` is ever written) or when a length is negative.
[[nodiscard]] std::int32_t pack_words(const unsigned char* source, std::int32_t length,
                                      unsigned char* destination, std::int32_t capacity);

// Decodes `payload` into `destination`. Returns the bytes produced, or -1 when
// they would exceed `capacity`, when an escape word has no count word after
// it, or when a length is negative. Never reads outside the payload.
[[nodiscard]] std::int32_t unpack_words(const unsigned char* payload, std::int32_t length,
                                        unsigned char* destination, std::int32_t capacity);

struct chunk_checksums {
    std::uint32_t byte_xor;  // XOR of every byte (0-255)
    std::uint32_t word_xor;  // XOR of the whole 32-bit words; trailing bytes not included
};

chunk_checksums compute_checksums(const unsigned char* chunk, std::size_t length);

// pack_words that also computes the checksums of `source` in the same pass.
// They are set whenever the length is not negative, also when the code does
// not fit (the chunk is then stored, with these checksums).
[[nodiscard]] std::int32_t pack_words_summed(const unsigned char* source, std::int32_t length,
                                             unsigned char* destination, std::int32_t capacity,
                                             chunk_checksums* sums);

// unpack_words that also computes the checksums of what it produced, in the
// same pass (set only on success).
[[nodiscard]] std::int32_t unpack_words_summed(const unsigned char* payload, std::int32_t length,
                                               unsigned char* destination, std::int32_t capacity,
                                               chunk_checksums* sums);

}  // namespace kiroda
