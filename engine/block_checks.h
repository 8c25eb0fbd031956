// Blocks of a set in flight: the set reader reads each block's bytes in
// order on the caller's thread, a pool of workers unpacks and checks them
// (and takes their digests, the stream's one block at a time in set
// order), and the caller takes them in order. Reading goes ahead only
// within a data file: the next file, and its question when it is missing,
// waits until every block before it is taken. Every message is said by the
// caller, in set order, from end_block().
//
// A block taken stays the caller's until it gives it back, in any order:
// the restore keeps the block its writer is writing while it takes the
// next. Memory: every slot holds a chunk and the code of its block, 32 MiB.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
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
    // `slots` blocks at most are read, checked or held by the caller at once.
    explicit block_checks(unsigned threads, unsigned slots = kBlocksInCheck);
    // Waits for every check in flight.
    ~block_checks();
    block_checks(const block_checks&) = delete;
    block_checks& operator=(const block_checks&) = delete;

    // False when not even one slot's memory could be had.
    bool ready() const { return !slots_.empty(); }

    // The next block of `reader`, checked and ready for end_block(); nullptr
    // after begin_block's message. The caller holds fewer blocks than there
    // are slots. The block stays until release().
    pending_block* next(set_reader& reader);
    void release(pending_block* block);
    // The chunk buffer of a slot nobody uses (kChunkBytes, aligned), for
    // work after the walk; nullptr while every slot is in use.
    unsigned char* idle_buffer() const;

  private:
    struct slot {
        chunk_buffer chunk{static_cast<std::size_t>(kChunkBytes)};
        pending_block block{nullptr};
        bool busy = false;     // being read, checked or held (caller's thread only)
        bool checked = false;  // under the mutex
    };
    slot* free_slot() const;
    bool begin(set_reader& reader, slot& s);

    std::vector<std::unique_ptr<slot>> slots_;
    std::deque<slot*> begun_;  // not yet taken, in set order
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t next_to_hash_ = 0;
    // Destroyed first: no check runs on a slot that is gone.
    worker_pool pool_;
};

}  // namespace kiroda
