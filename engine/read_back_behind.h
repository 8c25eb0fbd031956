// The restore's read-back run behind its writes: regions of the target
// already flushed are read back (past the cache) and compared with the
// set's digests on a thread of its own while the restore writes on, so the
// check costs no second pass over the disk. It suits devices where a read
// beside the writes costs no seeks (flash, memory, image files); the
// restore's last region, and sector 0, are still checked in order at the
// end. Its verdict is told by the restore, on the restore's thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "disk/physical_disk.h"
#include "engine/progress.h"
#include "format/digest.h"

namespace kiroda {

// What one block put on the disk: its first sector, its length, and the
// digest of its unpacked bytes (sector 0 included for the first block).
struct written_chunk {
    std::uint64_t first_sector;
    std::uint32_t sectors;
    digest128 digest;
};

struct read_back_verdict {
    enum kind { same, unreadable, differs } found = same;
    std::uint64_t first_sector = 0;  // unreadable: where the read started
    std::uint64_t last_sector = 0;   // differs: the region's last sector
};

// Reads `chunk` back from `disk` into `buffer` (kChunkBytes, aligned) and
// compares it with its digest; `sector0` (`held` sectors) stands in for the
// sectors not yet written when the chunk starts at sector 0.
read_back_verdict read_back_chunk(const disk_handle& disk, const written_chunk& chunk,
                                  const unsigned char* sector0, unsigned char* buffer,
                                  std::uint32_t held = 1);

class read_back_behind {
  public:
    // `sector0` (`held` x 512 bytes) and `buffer` (kChunkBytes, aligned)
    // stay the caller's and must outlive this.
    read_back_behind(int target_disk, const unsigned char* sector0, unsigned char* buffer,
                     std::uint32_t held = 1);
    // Stops after the chunk being read; nothing is left reading after it.
    ~read_back_behind();
    read_back_behind(const read_back_behind&) = delete;
    read_back_behind& operator=(const read_back_behind&) = delete;

    // False when no thread could be started: the restore then reads back at
    // the end.
    bool ready() const { return thread_.joinable(); }
    // Chunks that are on the device now (written and flushed), in disk
    // order. Each batch is read through a handle opened after its flush: a
    // file system that takes no direct reads drops its cached pages at that
    // open, so the read sees the medium and not the pages just written.
    void add(std::vector<written_chunk> batch);
    // The first chunk found wrong so far, without waiting.
    read_back_verdict seen();
    // Waits until every chunk added has been read back, or until a stop of
    // `p` is seen between two chunks (false).
    bool wait(const progress& p, read_back_verdict* verdict);

  private:
    void run();

    const int target_disk_;
    const unsigned char* sector0_;
    unsigned char* buffer_;
    const std::uint32_t held_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<written_chunk>> batches_;
    bool reading_ = false;
    bool quit_ = false;
    const progress* stop_seen_by_ = nullptr;  // while wait() waits: its progress
    read_back_verdict verdict_;
    std::thread thread_;
};

}  // namespace kiroda
