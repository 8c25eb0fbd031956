// Message texts kept enciphered in the program.
//
// A stored text is enciphered at compile time from its literal, so its plain
// form never stands in the executable; get_stored_text deciphers it into one
// shared buffer on demand:
//
//     static constexpr enciphered_text kDiskFull{"...%s..."};
//     show_message(owner, kMbOk, caption, get_stored_text(kDiskFull), path);
//
// The result stays valid until the next call. Only one thread uses it at a
// time: the UI thread waits in a modal progress dialog while a worker runs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kiroda {

struct stored_text {
    const unsigned char* bytes;  // enciphered, without a terminating NUL
    std::size_t size;
};

namespace detail {

// Keystream of the cipher: a 32-bit LCG seeded with a fixed word, one byte
// per position. Encipher and decipher are the same XOR.
struct stored_key {
    std::uint32_t state = 0x4B52444Fu;  // "KRDO"
    constexpr unsigned char next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<unsigned char>(state >> 23);
    }
};

}  // namespace detail

template <std::size_t N>
struct enciphered_text {
    unsigned char bytes[N];

    consteval enciphered_text(const char (&plain)[N]) : bytes{} {
        detail::stored_key key;
        for (std::size_t i = 0; i < N; ++i) {
            bytes[i] =
                static_cast<unsigned char>(static_cast<unsigned char>(plain[i]) ^ key.next());
        }
    }

    constexpr operator stored_text() const { return {bytes, N - 1}; }
};

// The plain text, valid until the next call. When the buffer cannot be had,
// the fixed text "not enough memory a2c" stands in for the message.
const char* get_stored_text(stored_text text);

// Frees the shared buffer (the program itself never needs to).
void release_stored_text_buffer();

}  // namespace kiroda
