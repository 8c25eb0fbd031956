// Tells the reads of one stream (an open file) that go on where the last
// left off from reads that jump about, and says what to read ahead of the
// stream while it goes on. Offsets are the stream's own (a file's bytes);
// whoever reads maps the range it is given to where the bytes lie.
//
// The kernel hands one file's reads to several threads, so they come a
// little out of order: a read that starts within `slack` bytes of the
// furthest end reached still goes on. A read further off starts a new run,
// and nothing is read ahead until the run's second read: a lone read (the
// random read of a file system's tools) costs no more than before.
#pragma once

#include <cstdint>
#include <mutex>

namespace kiroda {

struct byte_range {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;  // 0: nothing
};

class sequential_reads {
  public:
    // Bytes reads may stray from the furthest end reached and still go on.
    static constexpr std::uint64_t kSlack = std::uint64_t{4} << 20;

    // `window`: how many bytes past a read to have read ahead once the
    // stream goes on.
    explicit sequential_reads(std::uint64_t window) : window_(window) {}

    // After (or just before serving) a read of `length` bytes at `offset`:
    // the part of the window past it that was not given out before, empty
    // while the reads do not go on. Thread-safe.
    byte_range after_read(std::uint64_t offset, std::uint64_t length);

  private:
    std::mutex mutex_;
    const std::uint64_t window_;
    bool started_ = false;
    std::uint64_t reached_ = 0;  // the furthest end of the run's reads
    std::uint64_t ahead_ = 0;    // the end of what was given out to read ahead
};

}  // namespace kiroda
