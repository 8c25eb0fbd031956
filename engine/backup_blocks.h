// The chunks of a backup in flight. One reader thread reads the disk in
// order, a chunk ahead of the others as long as a slot is free; a pool of
// workers digests and packs each chunk; the caller takes the chunks in disk
// order to write their blocks. Nothing here speaks to the user: a chunk that
// does not read is handed to the caller as it is, and the reader waits for
// the answer before it reads on.
//
// Memory: every slot holds a chunk and the scratch of its packed block,
// 32 MiB, and there are never more than kChunksInFlight of them whatever the
// number of workers (the 32-bit wizard has 2 GiB of address space, and a
// technician's machine may have little memory).
//
// Threads: every field of a slot is written by one thread at a time, and
// handed to the next stage by a change of its state under the mutex; the
// stream digest is fed by one worker at a time, in disk order, under the
// same handover (the hash turn).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/chunk_buffer.h"
#include "engine/progress.h"
#include "engine/rescue_read.h"
#include "engine/worker_pool.h"
#include "format/bad_sector_map.h"
#include "format/digest.h"
#include "format/packed_block.h"

namespace kiroda {

constexpr unsigned kChunksInFlight = 3;

// One chunk of the disk and what became of it.
struct chunk_in_flight {
    enum class stage { free, reading, read, failed, packed };

    stage at = stage::free;   // changed under the mutex only
    bool read = false;        // it read (or was gone past): set before it is handed over
    std::uint64_t index = 0;  // chunks from the first one of the run
    std::uint64_t first = 0;  // its first sector
    std::uint32_t count = 0;  // and its sectors
    // Sectors the reader had lost before and after it read this chunk.
    std::uint64_t lost_before = 0;
    std::uint64_t lost_after = 0;
    bad_sector_map map;  // its runs, read or not
    // Aligned: a rescue re-reads into it through a handle that bypasses
    // the cache.
    chunk_buffer chunk{static_cast<std::size_t>(kChunkBytes)};
    block_scratch scratch;
    digest128 digest;     // of its bytes; valid once packed
    encoded_block block;  // valid once packed, until the slot is released

    bool taken_from_disk() const { return at == stage::read || at == stage::packed; }
};

class backup_blocks {
  public:
    // The chunks of sectors [first_sector, end_sector) of the disk `reader`
    // reads; each joins `stream` in order. `rescue`: unreadable sectors are
    // gone past from the start.
    backup_blocks(progress& p, rescue_reader& reader, std::uint64_t first_sector,
                  std::uint64_t end_sector, digest_stream& stream, unsigned threads, bool rescue);
    // Stops reading and waits for every thread: nothing is in flight after.
    ~backup_blocks();
    backup_blocks(const backup_blocks&) = delete;
    backup_blocks& operator=(const backup_blocks&) = delete;

    // False when not even one slot's memory could be had.
    bool ready() const { return !slots_.empty(); }
    // Starts reading.
    void start();

    // Waits for the next chunk in disk order to be read: its `read` says
    // whether it did (or it did not, and going past was not agreed yet;
    // then see go_past()). nullptr
    // when the reader ended without it (a stop).
    chunk_in_flight* next_read();
    // The chunk next_read() gave did not read: it is read again going past
    // its unreadable sectors, and so is every chunk after it. next_read()
    // gives it again.
    void go_past();
    // Waits until the chunk is digested and packed.
    void wait_packed(const chunk_in_flight& c);
    // Its block is written: the slot takes a later chunk.
    void release(chunk_in_flight& c);

  private:
    chunk_in_flight& slot(std::uint64_t index) const {
        return *slots_[static_cast<std::size_t>(index % slots_.size())];
    }
    bool read_one(bool may_wait);
    void pack(chunk_in_flight& c);

    progress& p_;
    rescue_reader& reader_;
    const std::uint64_t first_sector_;
    const std::uint64_t chunks_;
    const std::uint64_t end_sector_;
    digest_stream& stream_;
    std::vector<std::unique_ptr<chunk_in_flight>> slots_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t next_to_read_ = 0;
    std::uint64_t next_to_take_ = 0;
    std::uint64_t next_to_hash_ = 0;
    bool rescuing_;
    bool go_past_ = false;
    bool quit_ = false;         // the caller is done: read nothing more
    bool reader_done_ = false;  // the reader thread has ended
    bool threaded_ = false;     // false: the caller reads, in next_read()

    // Destroyed before the slots: no job runs on a slot that is gone.
    worker_pool pool_;
    std::thread reader_thread_;
};

}  // namespace kiroda
