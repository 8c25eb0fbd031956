// Buffers of megabytes (a chunk, a block's code), aligned for direct device
// I/O: a handle that bypasses the system's cache transfers only to and from
// sector-aligned memory. Where the system has large pages, a big buffer
// asks for them: the first touch of a 16 MiB buffer then takes 8 page
// faults instead of 4,096, and inside a virtual machine those faults cost
// more than the bytes they bring.
#pragma once

#include <cstddef>

namespace kiroda {

// `bytes` of memory aligned to 4 KiB at least; nullptr when they cannot be
// had. Freed by free_big with the same `bytes`.
unsigned char* allocate_big(std::size_t bytes);
void free_big(unsigned char* data, std::size_t bytes);

class big_buffer {
  public:
    big_buffer() = default;
    // data() is nullptr when the bytes cannot be had.
    explicit big_buffer(std::size_t bytes) : data_(allocate_big(bytes)), bytes_(bytes) {}
    ~big_buffer() { free_big(data_, bytes_); }
    big_buffer(big_buffer&& other) noexcept : data_(other.data_), bytes_(other.bytes_) {
        other.data_ = nullptr;
    }
    big_buffer& operator=(big_buffer&& other) noexcept {
        if (this != &other) {
            free_big(data_, bytes_);
            data_ = other.data_;
            bytes_ = other.bytes_;
            other.data_ = nullptr;
        }
        return *this;
    }

    unsigned char* data() const { return data_; }

  private:
    unsigned char* data_ = nullptr;
    std::size_t bytes_ = 0;
};

}  // namespace kiroda
