// A second, deliberately plain implementation of the word run-length code and
// the chunk checksums, written from the format's tables alone: one word at a
// time, no vector loads, no shortcuts. The fuzz targets hold the program's
// codec to it byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "fuzz/fuzz_check.h"

namespace kiroda::fuzz {

constexpr std::uint32_t kReferenceEscape = 0xA3A3A3A3u;

inline void append_le32(std::vector<unsigned char>& out, std::uint32_t word) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(word >> (8 * i)));
}

// The code a writer must produce: zero runs of two or more taken whole as
// (escape, count), a lone zero word as itself, the escape word as
// (escape, 0), trailing bytes copied.
inline std::vector<unsigned char> reference_pack(const unsigned char* chunk, std::size_t length) {
    std::vector<unsigned char> code;
    const std::size_t words = length / 4;
    std::size_t i = 0;
    while (i < words) {
        const std::uint32_t word = le32_at(chunk + 4 * i);
        if (word == 0) {
            std::size_t run = 1;
            while (i + run < words && le32_at(chunk + 4 * (i + run)) == 0) ++run;
            if (run >= 2) {
                append_le32(code, kReferenceEscape);
                append_le32(code, static_cast<std::uint32_t>(run));
            } else {
                append_le32(code, 0);
            }
            i += run;
        } else if (word == kReferenceEscape) {
            append_le32(code, kReferenceEscape);
            append_le32(code, 0);
            ++i;
        } else {
            append_le32(code, word);
            ++i;
        }
    }
    for (std::size_t t = 4 * words; t < length; ++t) code.push_back(chunk[t]);
    return code;
}

// The chunk a reader must produce from `code`, or nothing when the code ends
// inside an escape pair or decodes to more than `capacity` bytes. Zero runs
// are counted before they are stored, so a count of 2^32 - 1 costs nothing.
inline std::optional<std::vector<unsigned char>> reference_unpack(const unsigned char* code,
                                                                  std::size_t length,
                                                                  std::size_t capacity) {
    std::vector<unsigned char> chunk;
    const std::size_t words = length / 4;
    std::size_t i = 0;
    while (i < words) {
        const std::uint32_t word = le32_at(code + 4 * i);
        if (word != kReferenceEscape) {
            if (chunk.size() + 4 > capacity) return std::nullopt;
            append_le32(chunk, word);
            ++i;
            continue;
        }
        if (i + 1 >= words) return std::nullopt;
        const std::uint64_t count = le32_at(code + 4 * i + 4);
        i += 2;
        if (count == 0) {
            if (chunk.size() + 4 > capacity) return std::nullopt;
            append_le32(chunk, kReferenceEscape);
        } else {
            if (chunk.size() + 4 * count > capacity) return std::nullopt;
            chunk.insert(chunk.end(), static_cast<std::size_t>(4 * count), 0);
        }
    }
    const std::size_t trailing = length - 4 * words;
    if (chunk.size() + trailing > capacity) return std::nullopt;
    for (std::size_t t = 4 * words; t < length; ++t) chunk.push_back(code[t]);
    return chunk;
}

struct reference_sums {
    std::uint32_t byte_xor = 0;
    std::uint32_t word_xor = 0;
};

inline reference_sums reference_checksums(const unsigned char* chunk, std::size_t length) {
    reference_sums sums;
    for (std::size_t i = 0; i < length; ++i) sums.byte_xor ^= chunk[i];
    for (std::size_t i = 0; i + 4 <= length; i += 4) sums.word_xor ^= le32_at(chunk + i);
    return sums;
}

}  // namespace kiroda::fuzz
