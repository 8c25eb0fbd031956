// The data test's blocks in flight: the set reader reads each block's bytes
// in order on the caller's thread, a pool of workers unpacks and checks
// them (and takes their digests, the stream's one block at a time in set
// order), and the caller takes them in order. Reading goes ahead only
// within a data file: the next file, and its question when it is missing,
// waits until every block before it is taken. Every message is said by the
// caller, in set order, from end_block().
//
// Memory: every slot holds a chunk and the code of its block, 32 MiB, and
// there are never more than kBlocksInCheck of them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/chunk_buffer.h"
#include "engine/set_reader.h"
#include "engine/worker_pool.h"

namespace kiroda {

constexpr unsigned kBlocksInCheck = 3;

class block_checks {
  public:
    explicit block_checks(unsigned threads);
    // Waits for every check in flight.
    ~block_checks();
    block_checks(const block_checks&) = delete;
    block_checks& operator=(const block_checks&) = delete;

    // False when not even one slot's memory could be had.
    bool ready() const { return !slots_.empty(); }

    // The next block of `reader`, checked and ready for end_block(); nullptr
    // after begin_block's message. The block stays until release().
    pending_block* next(set_reader& reader);
    void release();

  private:
    struct slot {
        chunk_buffer chunk{static_cast<std::size_t>(kChunkBytes)};
        pending_block block{nullptr};
        bool checked = false;  // under the mutex
    };
    slot& at(std::uint64_t n) const { return *slots_[static_cast<std::size_t>(n % slots_.size())]; }
    bool begin(set_reader& reader);

    std::vector<std::unique_ptr<slot>> slots_;
    std::uint64_t begun_ = 0;
    std::uint64_t taken_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t next_to_hash_ = 0;
    // Destroyed first: no check runs on a slot that is gone.
    worker_pool pool_;
};

}  // namespace kiroda
