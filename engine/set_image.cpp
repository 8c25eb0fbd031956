#include "engine/set_image.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "engine/data_file.h"
#include "engine/engine_message.h"
#include "engine/sequential_reads.h"
#include "format/digest.h"
#include "format/packed_block.h"
#include "ui/stored_text.h"
#include "util/file_io.h"
#include "util/path.h"

namespace kiroda {

namespace {

// The data test's words for a block that does not read.
const set_reader_texts kImageTexts = {
    [] { return "バックアップファィルが見つかりません。\n[%s]の入ったメディアと交換して下さい。"; },
    [] { return "バックアップファィル読込エラー。\n　　\"%s\"\nMeltReadSize = %ld"; },
    [] { return "バックアップファィルを読めません。\n　　\"%s\""; },
};

constexpr enciphered_text kNotAllHere{
    "バックアップデータのデータファイルがすべてはこのフォルダにありません。\n%s\n"
    "がありません(複数のメディアにまたがるバックアップは、すべてのデータファイルを"
    "一つのフォルダに集めてから開いて下さい)。"};

constexpr std::uint64_t kSector = 512;
// Buffers open() makes ready for the first reads.
constexpr std::size_t kReadyBuffers = 2;

std::shared_ptr<unsigned char[]> new_chunk_buffer() {
    return std::shared_ptr<unsigned char[]>(new (std::nothrow) unsigned char[kChunkBytes]);
}

}  // namespace

const char* block_failure_reason(std::int32_t code) {
    switch (code) {
        case kBlockFileMissing:
            return "データファイルを開けません";
        case kBlockNotAsIndexed:
            return "データファイルが開いたときから変わっています";
        case kBlockDigestDiffers:
            return "ブロックがダイジェストファイルの記録と一致しません";
        case kBlockNoMemory:
            return "メモリが足りません";
        default:
            return block_result_reason(code);
    }
}

set_image::set_image(const std::string& folder, std::uint64_t backup_bytes,
                     std::size_t cached_blocks, unsigned read_ahead_threads)
    : folder_(folder),
      backup_bytes_(backup_bytes),
      capacity_(std::max<std::size_t>(cached_blocks, 1)),
      read_ahead_threads_(engine_threads(read_ahead_threads)) {}

set_image::~set_image() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    // Blocks still queued to be read ahead are dropped, not loaded.
    pool_.reset();
}

bool set_image::open(progress& p) {
    set_reader reader(p, folder_.c_str(), backup_bytes_, kImageTexts);
    if (!reader.open(damaged_digests::refuse)) return false;
    blocks_ = reader.blocks_at_hand();
    std::uint64_t total = 0;
    for (const block_location& b : blocks_) total += static_cast<std::uint64_t>(b.bytes);
    if (total < backup_bytes_) {
        // The look ahead stops at the first data file that is not there.
        const int missing = blocks_.empty() ? 1 : blocks_.back().file_number + 1;
        char path[kPathCapacity + 16];
        if (!data_file_path(folder_.c_str(), missing, path, sizeof path)) path[0] = '\0';
        tell(p, kNotAllHere, path);
        return false;
    }
    has_digests_ = reader.has_digests();
    if (has_digests_) block_digests_ = reader.digests().blocks;
    bad_sector_map map;
    int bad_line = 0;
    if (read_bad_sector_map(folder_.c_str(), &map, &bad_line) == map_read::read) {
        lost_runs_ = map.bad_runs();
        for (const sector_run& run : lost_runs_) lost_sectors_ += run.count;
    }
    // The first reads (sector 0 and the partitions' records, then the
    // first a user asks for) find buffers whose pages are there: a fresh
    // 16 MiB costs more to fault in than to unpack.
    for (std::size_t i = 0; i < kReadyBuffers; ++i) {
        block_data buffer = new_chunk_buffer();
        if (buffer == nullptr) break;
        std::memset(buffer.get(), 0, kChunkBytes);
        spare_buffers_.push_back(std::move(buffer));
    }
    auto scratch = std::make_unique<block_scratch>();
    if (unsigned char* bytes = scratch->get(kChunkBytes)) {
        std::memset(bytes, 0, kChunkBytes);
        spare_scratch_.push_back(std::move(scratch));
    }
    return true;
}

std::uint64_t set_image::blocks_unpacked() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return unpacked_;
}

std::uint64_t set_image::blocks_read_ahead() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return read_ahead_;
}

std::int32_t set_image::load(std::size_t block, unsigned char* into, block_scratch& scratch) const {
    const block_location& at = blocks_[block];
    char path[kPathCapacity + 16];
    if (!data_file_path(folder_.c_str(), at.file_number, path, sizeof path)) {
        return kBlockFileMissing;
    }
    unique_fd fd(open_for_reading(path));
    if (!fd.valid()) return kBlockFileMissing;
    if (!skip_forward(fd.get(), at.offset)) return kBlockNotAsIndexed;
    const std::int32_t count = read_packed_block(fd.get(), into, kChunkBytes, scratch);
    if (count < 0) return count;
    if (count != at.bytes) return kBlockNotAsIndexed;
    if (has_digests_) {
        if (block >= block_digests_.size() || block_digests_[block].bytes != count ||
            block_digests_[block].digest != digest_bytes(into, static_cast<std::size_t>(count))) {
            return kBlockDigestDiffers;
        }
    }
    return count;
}

// A chunk buffer: one a block evicted from the cache left behind when
// nobody reads it any more (its pages are already there; up to the cache's
// capacity are kept), or a new one.
// Called with the lock held.
set_image::block_data set_image::take_buffer() {
    if (!spare_buffers_.empty()) {
        block_data buffer = std::move(spare_buffers_.back());
        spare_buffers_.pop_back();
        return buffer;
    }
    return new_chunk_buffer();
}

// Drops the least recently used unpacked blocks beyond the capacity (blocks
// being unpacked stay, and are not counted), those read ahead and not yet
// read only when no other is left: they are the next to be read. Called
// with the lock held.
void set_image::trim() {
    std::size_t held = static_cast<std::size_t>(std::count_if(
        recent_.begin(), recent_.end(), [](const entry& e) { return e.data != nullptr; }));
    for (const bool ahead : {false, true}) {
        for (auto it = recent_.end(); held > capacity_ && it != recent_.begin();) {
            --it;
            if (it->data == nullptr || it->ahead != ahead) continue;
            // A reader still copying out of it keeps it alive; its buffer
            // is then not kept.
            if (it->data.use_count() == 1 && spare_buffers_.size() < capacity_) {
                spare_buffers_.push_back(std::move(it->data));
            }
            if (ahead) --ahead_held_;  // read ahead for nothing
            it = recent_.erase(it);
            --held;
        }
    }
}

// Called with the lock held.
std::list<set_image::entry>::iterator set_image::find_entry(std::size_t block) {
    return std::find_if(recent_.begin(), recent_.end(),
                        [&](const entry& e) { return e.block == block; });
}

// Drops a block's place that was never filled, and wakes those waiting for
// it (they load it on their own). Called with the lock held.
void set_image::drop_entry(std::list<entry>::iterator it) {
    if (it->ahead) --ahead_held_;
    recent_.erase(it);
    loaded_.notify_all();
}

set_image::block_data set_image::get(std::size_t block) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        const auto found = find_entry(block);
        if (found == recent_.end()) break;
        if (found->data != nullptr) {
            if (found->ahead) {
                found->ahead = false;
                --ahead_held_;
            }
            recent_.splice(recent_.begin(), recent_, found);
            return found->data;
        }
        // Another reader (or the read-ahead) is unpacking it: wait for its
        // outcome. A failed load leaves no entry, and this reader tries on
        // its own.
        loaded_.wait(lock);
    }
    recent_.push_front(entry{block, nullptr, false});
    lock.unlock();
    return fill(block, false);
}

// Unpacks and checks a block whose place (an entry with no data) the
// caller made: the block's bytes, or nullptr when it failed (told only
// when no read-ahead loaded it).
set_image::block_data set_image::fill(std::size_t block, bool ahead) {
    std::unique_lock<std::mutex> lock(mutex_);
    block_data buffer = take_buffer();
    std::unique_ptr<block_scratch> scratch;
    if (!spare_scratch_.empty()) {
        scratch = std::move(spare_scratch_.back());
        spare_scratch_.pop_back();
    }
    lock.unlock();

    if (scratch == nullptr) {
        // At its largest from the start: growing it block by block would
        // fault fresh pages in for every larger payload.
        scratch.reset(new (std::nothrow) block_scratch);
        if (scratch != nullptr && scratch->get(kChunkBytes) == nullptr) scratch.reset();
    }
    std::int32_t result = kBlockNoMemory;
    if (buffer != nullptr && scratch != nullptr) result = load(block, buffer.get(), *scratch);

    lock.lock();
    if (scratch != nullptr) spare_scratch_.push_back(std::move(scratch));
    const auto mine = std::find_if(recent_.begin(), recent_.end(), [&](const entry& e) {
        return e.block == block && e.data == nullptr;
    });
    if (result < 0) {
        drop_entry(mine);
        if (buffer != nullptr && spare_buffers_.size() < capacity_)
            spare_buffers_.push_back(std::move(buffer));
        lock.unlock();
        if (!ahead && on_failure_)
            on_failure_(block_failure{block + 1, blocks_[block].file_number, result});
        return nullptr;
    }
    ++unpacked_;
    if (ahead) ++read_ahead_;
    mine->data = buffer;
    recent_.splice(recent_.begin(), recent_, mine);
    trim();
    loaded_.notify_all();
    return buffer;
}

void set_image::read_ahead_job(std::size_t block) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_) {
            drop_entry(std::find_if(recent_.begin(), recent_.end(), [&](const entry& e) {
                return e.block == block && e.data == nullptr;
            }));
            return;
        }
    }
    fill(block, true);
}

void set_image::read_ahead(std::uint64_t offset, std::uint64_t length) {
    if (length == 0 || offset >= backup_bytes_ || !read_ahead_allowed_.load()) return;
    const std::size_t limit = std::max<std::size_t>(capacity_ / 2, 1);
    const std::size_t first = static_cast<std::size_t>(offset / kChunkBytes);
    const std::uint64_t end = std::min(backup_bytes_, offset + length);
    const std::size_t last =
        std::min(blocks_.size(), static_cast<std::size_t>((end + kChunkBytes - 1) / kChunkBytes));
    std::vector<std::size_t> wanted;
    worker_pool* pool = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_) return;
        for (std::size_t block = first; block < last && ahead_held_ < limit; ++block) {
            if (find_entry(block) != recent_.end()) continue;
            recent_.push_front(entry{block, nullptr, true});
            ++ahead_held_;
            wanted.push_back(block);
        }
        if (wanted.empty()) return;
        if (pool_ == nullptr) pool_.reset(new (std::nothrow) worker_pool(read_ahead_threads_));
        pool = pool_.get();
    }
    for (const std::size_t block : wanted) {
        // Without a pool (no memory for one) the block is loaded here.
        if (pool != nullptr) {
            pool->submit([this, block] { read_ahead_job(block); });
        } else {
            read_ahead_job(block);
        }
    }
}

void set_image::zero_lost_sectors(std::uint64_t offset, std::size_t length,
                                  unsigned char* bytes) const {
    const std::uint64_t end = offset + length;
    // The first run that ends after `offset`.
    auto run = std::upper_bound(
        lost_runs_.begin(), lost_runs_.end(), offset / kSector,
        [](std::uint64_t sector, const sector_run& r) { return sector < r.first + r.count; });
    for (; run != lost_runs_.end() && run->first * kSector < end; ++run) {
        const std::uint64_t from = std::max(offset, run->first * kSector);
        const std::uint64_t to = std::min(end, (run->first + run->count) * kSector);
        if (from < to) std::memset(bytes + (from - offset), 0, static_cast<std::size_t>(to - from));
    }
}

std::int64_t set_image::read(std::uint64_t offset, std::size_t length, void* buffer) {
    if (offset >= backup_bytes_ || length == 0) return 0;
    const std::uint64_t end = std::min<std::uint64_t>(backup_bytes_, offset + length);
    auto* out = static_cast<unsigned char*>(buffer);
    for (std::uint64_t at = offset; at < end;) {
        const std::size_t block = static_cast<std::size_t>(at / kChunkBytes);
        if (block >= blocks_.size()) return kImageReadFailed;
        const block_data data = get(block);
        if (data == nullptr) return kImageReadFailed;
        const std::uint64_t block_start = std::uint64_t{block} * kChunkBytes;
        const std::uint64_t block_end =
            block_start + static_cast<std::uint64_t>(blocks_[block].bytes);
        const std::uint64_t to = std::min(end, block_end);
        std::memcpy(out + (at - offset), data.get() + (at - block_start),
                    static_cast<std::size_t>(to - at));
        at = to;
    }
    const auto copied = static_cast<std::size_t>(end - offset);
    if (!lost_runs_.empty()) zero_lost_sectors(offset, copied, out);
    return static_cast<std::int64_t>(copied);
}

std::function<std::int64_t(std::uint64_t, std::size_t, void*)> streaming_reader(set_image& image) {
    auto reads = std::make_shared<sequential_reads>(set_image::kReadAheadBytes);
    set_image* source = &image;
    return [source, reads](std::uint64_t offset, std::size_t length, void* buffer) {
        const byte_range ahead = reads->after_read(offset, length);
        source->read_ahead(ahead.offset, ahead.length);
        return source->read(offset, length, buffer);
    };
}

}  // namespace kiroda
