// What every fuzz target shares: a check that stops the run where it fails,
// and small helpers to turn fuzz input into fixed-size records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

// A failed check is a finding: say which one, then trap so that libFuzzer
// keeps the input. Checks stay on whatever NDEBUG says.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            __builtin_trap();                                                                  \
        }                                                                                      \
    } while (0)

namespace kiroda::fuzz {

// A heap buffer of exactly `size` bytes (none for 0), so that AddressSanitizer
// reports the first byte written or read past it.
inline std::unique_ptr<unsigned char[]> exact_buffer(std::size_t size) {
    return std::unique_ptr<unsigned char[]>(new unsigned char[size]);
}

// `size` bytes taken from the front of `data`: cut when there is more, zeros
// after it when there is less.
inline std::unique_ptr<unsigned char[]> padded_copy(const std::uint8_t* data, std::size_t length,
                                                    std::size_t size) {
    auto buffer = exact_buffer(size);
    const std::size_t taken = length < size ? length : size;
    if (taken > 0) std::memcpy(buffer.get(), data, taken);
    if (size > taken) std::memset(buffer.get() + taken, 0, size - taken);
    return buffer;
}

// memcmp that takes empty ranges without a pointer (an empty vector has none).
inline bool same_bytes(const void* a, const void* b, std::size_t size) {
    return size == 0 || std::memcmp(a, b, size) == 0;
}

inline std::uint32_t le32_at(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint64_t le64_at(const unsigned char* p) {
    return static_cast<std::uint64_t>(le32_at(p)) | static_cast<std::uint64_t>(le32_at(p + 4))
                                                        << 32;
}

}  // namespace kiroda::fuzz
