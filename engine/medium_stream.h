// A data file read once, in order, from its medium past the system's cache,
// for the data test: a set is only as good as what the medium holds, and the
// pages the system keeps from the backup would hide a medium that lost or
// changed them (a fake-capacity card, a flipped byte, dropped writes). A
// thread of its own reads the next pieces while the caller takes those read,
// so the medium is not left idle while the blocks are checked. Opened cached
// instead, it reads through the system's cache as any file (the restore).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "format/packed_block.h"
#include "util/big_buffer.h"
#include "util/file_io.h"

namespace kiroda {

class medium_stream {
  public:
    medium_stream() = default;
    // Stops the read-ahead and closes the file.
    ~medium_stream() { close(); }
    medium_stream(const medium_stream&) = delete;
    medium_stream& operator=(const medium_stream&) = delete;

    // Opens `path` for reading from its start, past the cache when
    // `uncached`. False when it cannot be opened (or, uncached, when the
    // memory to read it ahead cannot be had).
    bool open(const char* path, bool uncached);
    void close();
    bool valid() const { return fd_.valid(); }

    // As read_full: the bytes read, fewer than `size` only at the end of the
    // file, or -1 on a read error.
    std::int64_t read(void* buffer, std::size_t size);
    // As at_end_of_file, for the bytes taken so far. A read error waiting
    // to be taken is `before`: the next read reports it.
    end_of_file at_end();
    // read() as a source of read_block_bytes.
    byte_source source() { return byte_source{read_from, this}; }

  private:
    // Pieces of 4 MiB, three read ahead of the one being taken.
    static constexpr std::size_t kPiece = std::size_t{4} << 20;
    static constexpr unsigned kPieces = 4;
    static_assert(kPiece % kReadBackAlignment == 0);
    struct piece {
        big_buffer data;
        std::int64_t size = 0;  // the bytes read into it, or -1 on a read error
        std::size_t taken = 0;
        bool filled = false;
    };
    static std::int64_t read_from(void* context, void* buffer, std::size_t size);
    void read_ahead();
    // The piece being taken, once read; null when the thread ended before it.
    piece* wait_for_head(std::unique_lock<std::mutex>& lock);

    unique_fd fd_;
    bool uncached_ = false;
    piece pieces_[kPieces];
    unsigned head_ = 0;  // the piece being taken (caller's thread)
    bool stop_ = false;  // under the mutex
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread reader_;
};

}  // namespace kiroda
