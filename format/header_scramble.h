// The keystream that scrambles the header file.
//
// It comes from the classic C library generator (state = state * 1103515245
// + 12345 modulo 2^32, output bits 16-30), reproduced here so that every
// build, and every later version, reads the files the same way.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kiroda {

class classic_rand {
  public:
    explicit classic_rand(std::uint32_t seed) : state_(seed) {}
    // A value from 0 to 32767.
    int next() {
        state_ = state_ * 1103515245u + 12345u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

  private:
    std::uint32_t state_;
};

// XORs `bytes` with the keystream of `seed`: seed the generator with it, draw
// r, seed again with r, then one draw per byte (its low 8 bits). Applying it
// twice with the same seed restores the bytes.
void scramble_bytes(unsigned char* bytes, std::size_t size, std::uint32_t seed);

}  // namespace kiroda
