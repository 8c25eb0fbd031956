// A backup set read as the disk it holds: any bytes at any offset, for a
// view of the set that is no restore (krdtool mount serves it as a file).
//
// open() checks the set as the data test does before its first block (the
// header against the digest file, the set's shape from its block headers)
// and keeps where every block lies. A read then finds the blocks it touches
// by that index, unpacks each into a small cache of recent blocks and copies
// out of it. A block is checked as the data test checks it (its checksums,
// and its digest where the set has a digest file) before any byte of it is
// served; a read that touches a block that is missing, damaged or unlike its
// digest fails whole. Sectors the set's rescue map lists as lost are zeros,
// as in a restore.
//
// Reads may come from many threads at once: the cache is shared, and a
// block wanted by several readers is unpacked once. Nothing is written.
//
// A reader that sees a stream of reads go on (engine/sequential_reads.h)
// asks for the blocks ahead of it with read_ahead(): they are unpacked and
// checked on threads of the image's own while the current block is served,
// so that a sequential read runs at the speed of a restore. Read-ahead
// takes at most half the cache, never a block already there, and tells
// nobody of a block that fails: the read that touches it loads it again
// and fails as before, and no other read does.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/progress.h"
#include "engine/set_reader.h"
#include "engine/worker_pool.h"
#include "format/bad_sector_map.h"
#include "format/set_digests.h"

namespace kiroda {

// A read that touches a block that cannot be served.
constexpr std::int64_t kImageReadFailed = -1;

// Why a block cannot be served: a result of read_packed_block, or one of these.
constexpr std::int32_t kBlockFileMissing = -100;    // its data file does not open
constexpr std::int32_t kBlockNotAsIndexed = -101;   // not where, or not as long as, open() found it
constexpr std::int32_t kBlockDigestDiffers = -102;  // unlike its record in the digest file
constexpr std::int32_t kBlockNoMemory = -103;       // no memory to unpack it into

// In words (the program's text encoding); nullptr for no such code.
const char* block_failure_reason(std::int32_t code);

struct block_failure {
    std::size_t block = 0;  // 1, 2, ... in disk order, as the digest file numbers them
    int file_number = 0;    // KRD<file_number>.BIN
    std::int32_t code = 0;
};

class set_image {
  public:
    static constexpr std::size_t kDefaultCachedBlocks = 6;
    // How far ahead of a sequential stream to read, in the stream's bytes:
    // two blocks, one for each of two threads to unpack while the stream
    // is served from a third.
    static constexpr std::uint64_t kReadAheadBytes = std::uint64_t{2} * kChunkBytes;

    // The set in `folder` whose header holds `backup_bytes`; at most
    // `cached_blocks` unpacked blocks kept (16 MiB each), and as many
    // buffers kept for reuse, besides one for each read unpacking a block
    // at that moment. `read_ahead_threads` unpack blocks read ahead (0: one
    // per core), started with the first read_ahead().
    set_image(const std::string& folder, std::uint64_t backup_bytes,
              std::size_t cached_blocks = kDefaultCachedBlocks, unsigned read_ahead_threads = 0);
    ~set_image();
    set_image(const set_image&) = delete;
    set_image& operator=(const set_image&) = delete;

    // Checks the set and indexes its blocks. False after a message owned by
    // `p`: the data test's refusals, and a set whose data files are not all
    // in the folder (one that spans media), with the first missing file.
    // Warnings (a data file after the last, a changed side file) are told
    // and fail nothing. Call once, before any read.
    bool open(progress& p);

    // The disk's size: the header's byte count.
    std::uint64_t size() const { return backup_bytes_; }
    const std::vector<block_location>& blocks() const { return blocks_; }
    // Sectors the rescue map lists as not read (0 without a map).
    std::uint64_t lost_sectors() const { return lost_sectors_; }

    // Copies the `length` bytes from `offset` (cut at the disk's end) into
    // `buffer`. Returns the bytes copied, 0 at or past the end, or
    // kImageReadFailed when a block they touch cannot be served (nothing
    // is then valid in `buffer`). Thread-safe.
    std::int64_t read(std::uint64_t offset, std::size_t length, void* buffer);

    // Starts unpacking and checking the blocks that the `length` bytes from
    // `offset` touch and that are neither cached nor being unpacked, while
    // blocks read ahead and not yet read take less than half the cache.
    // Returns at once (with no thread to be had, once they are loaded).
    // Thread-safe.
    void read_ahead(std::uint64_t offset, std::uint64_t length);
    // While false, read_ahead() does nothing and starts no thread: for a
    // process that is about to fork (threads do not go with it, and a block
    // left to them would never load). True from the start.
    void allow_read_ahead(bool allowed) { read_ahead_allowed_.store(allowed); }

    // Called on the reading thread whenever a block fails to load (set
    // before the first read).
    void on_block_failure(std::function<void(const block_failure&)> f) {
        on_failure_ = std::move(f);
    }
    // Blocks unpacked so far, and of them those read_ahead() unpacked (a
    // measure of the cache).
    std::uint64_t blocks_unpacked() const;
    std::uint64_t blocks_read_ahead() const;

  private:
    using block_data = std::shared_ptr<unsigned char[]>;
    struct entry {
        std::size_t block = 0;
        block_data data;     // null while it is being unpacked
        bool ahead = false;  // read ahead, and no read has taken it yet
    };

    block_data get(std::size_t block);
    block_data fill(std::size_t block, bool ahead);
    std::list<entry>::iterator find_entry(std::size_t block);
    void drop_entry(std::list<entry>::iterator it);
    void read_ahead_job(std::size_t block);
    std::int32_t load(std::size_t block, unsigned char* into, block_scratch& scratch) const;
    block_data take_buffer();
    void trim();
    void zero_lost_sectors(std::uint64_t offset, std::size_t length, unsigned char* bytes) const;

    std::string folder_;
    std::uint64_t backup_bytes_;
    std::size_t capacity_;
    std::vector<block_location> blocks_;
    bool has_digests_ = false;
    std::vector<block_record> block_digests_;
    std::vector<sector_run> lost_runs_;
    std::uint64_t lost_sectors_ = 0;
    std::function<void(const block_failure&)> on_failure_;

    mutable std::mutex mutex_;
    std::condition_variable loaded_;
    std::list<entry> recent_;  // most recently used first
    std::vector<block_data> spare_buffers_;
    std::vector<std::unique_ptr<block_scratch>> spare_scratch_;
    std::uint64_t unpacked_ = 0;
    std::uint64_t read_ahead_ = 0;
    std::size_t ahead_held_ = 0;  // entries with `ahead` set
    std::atomic<bool> read_ahead_allowed_{true};
    bool closing_ = false;
    unsigned read_ahead_threads_;
    // Last: its threads end (their jobs dropped) before what they use goes.
    std::unique_ptr<worker_pool> pool_;
};

// A reader of `image` for one stream of reads (the file-system library's,
// which reads one thing at a time): each read as set_image::read, with what
// lies ahead asked for first while the reads go on, so that a file whose
// clusters follow one another reads at the speed of disk.img.
std::function<std::int64_t(std::uint64_t offset, std::size_t length, void* buffer)>
streaming_reader(set_image& image);

}  // namespace kiroda
