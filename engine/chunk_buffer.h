// Chunk buffers aligned for direct device I/O: a handle that bypasses the
// system's cache (the restore's read-back) transfers only to and from
// sector-aligned memory.
#pragma once

#include <cstddef>
#include <new>

namespace kiroda {

class chunk_buffer {
  public:
    static constexpr std::size_t kAlignment = 4096;

    // `bytes` of aligned memory; data() is nullptr when they cannot be had.
    explicit chunk_buffer(std::size_t bytes)
        : data_(static_cast<unsigned char*>(
              ::operator new[](bytes, std::align_val_t{kAlignment}, std::nothrow))) {}
    ~chunk_buffer() {
        if (data_ != nullptr) ::operator delete[](data_, std::align_val_t{kAlignment});
    }
    chunk_buffer(const chunk_buffer&) = delete;
    chunk_buffer& operator=(const chunk_buffer&) = delete;

    unsigned char* data() const { return data_; }

  private:
    unsigned char* data_;
};

}  // namespace kiroda
