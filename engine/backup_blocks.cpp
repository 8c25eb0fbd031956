#include "engine/backup_blocks.h"

#include <new>

namespace kiroda {

backup_blocks::backup_blocks(progress& p, rescue_reader& reader, std::uint64_t first_sector,
                             std::uint64_t end_sector, digest_stream& stream, unsigned threads,
                             bool rescue)
    : p_(p),
      reader_(reader),
      first_sector_(first_sector),
      chunks_((end_sector - first_sector + kChunkSectors - 1) / kChunkSectors),
      end_sector_(end_sector),
      stream_(stream),
      rescuing_(rescue),
      // No more workers than chunks can be in flight: more would only wait.
      pool_(threads < kChunksInFlight ? threads : kChunksInFlight) {
    // As many slots as memory allows, up to the bound; one is enough to
    // work (without overlap).
    const std::uint64_t wanted = chunks_ < kChunksInFlight ? chunks_ : kChunksInFlight;
    for (std::uint64_t i = 0; i < wanted || (i == 0 && chunks_ == 0); ++i) {
        std::unique_ptr<chunk_in_flight> c(new (std::nothrow) chunk_in_flight);
        if (c == nullptr || c->chunk.data() == nullptr ||
            c->scratch.get(static_cast<std::size_t>(kBlockHeaderSize) + kChunkBytes) == nullptr) {
            break;
        }
        slots_.push_back(std::move(c));
    }
}

backup_blocks::~backup_blocks() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    if (reader_thread_.joinable()) reader_thread_.join();
    // The pool, destroyed next, runs the packing still queued.
}

void backup_blocks::start() {
    if (slots_.empty()) return;
    try {
        reader_thread_ = std::thread([this] {
            while (read_one(true)) {
            }
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                reader_done_ = true;
            }
            changed_.notify_all();
        });
        threaded_ = true;
    } catch (...) {
        threaded_ = false;  // next_read() reads each chunk when it is needed
    }
}

// One read of the reader: the next chunk into its slot once that is free,
// or again past its unreadable sectors once that is agreed. With `may_wait`
// it waits for either; without, it returns true at once when neither is
// so. False when there is nothing more to read (the last chunk read, the
// caller done, or a stop).
bool backup_blocks::read_one(bool may_wait) {
    chunk_in_flight* c = nullptr;
    bool rescue = false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (quit_ || next_to_read_ == chunks_) return false;
            chunk_in_flight& s = slot(next_to_read_);
            if (s.at == chunk_in_flight::stage::free) {
                rescue = rescuing_;
                break;
            }
            if (s.at == chunk_in_flight::stage::failed && go_past_) {
                go_past_ = false;
                rescue = true;
                break;
            }
            if (!may_wait) return true;
            changed_.wait(lock);
        }
        c = &slot(next_to_read_);
        c->at = chunk_in_flight::stage::reading;
        c->index = next_to_read_;
    }
    // After a stop the disk is read no further: a dying disk is spared.
    if (!p_.running()) return false;
    c->first = first_sector_ + c->index * kChunkSectors;
    c->count = chunk_sectors(end_sector_ - c->first);
    c->map = bad_sector_map();
    c->lost_before = reader_.lost_sectors();
    const bool ok = reader_.read_chunk(c->first, c->count, c->chunk.data(), c->map, rescue);
    c->lost_after = reader_.lost_sectors();
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        c->read = ok;
        c->at = ok ? chunk_in_flight::stage::read : chunk_in_flight::stage::failed;
        if (ok) ++next_to_read_;
    }
    changed_.notify_all();
    if (ok) pool_.submit([this, c] { pack(*c); });
    return true;
}

// The chunk's digest and its place in the stream's digest, in one pass and
// in disk order (the hash turn), then its block.
void backup_blocks::pack(chunk_in_flight& c) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return next_to_hash_ == c.index; });
    }
    const std::size_t bytes = std::size_t{c.count} * 512;
    c.digest = digest_bytes_into(c.chunk.data(), bytes, stream_);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++next_to_hash_;
    }
    changed_.notify_all();
    c.block = encode_packed_block(c.chunk.data(), static_cast<std::int32_t>(bytes), c.scratch);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        c.at = chunk_in_flight::stage::packed;
    }
    changed_.notify_all();
}

chunk_in_flight* backup_blocks::next_read() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (next_to_take_ == chunks_ || slots_.empty()) return nullptr;
        chunk_in_flight& c = slot(next_to_take_);
        // A chunk that failed is given once: after go_past() it is read again.
        const auto ready = [&] {
            return c.index == next_to_take_ &&
                   (c.taken_from_disk() || (c.at == chunk_in_flight::stage::failed && !go_past_));
        };
        if (ready()) return &c;
        if (reader_done_) return nullptr;
        if (threaded_) {
            changed_.wait(lock);
            continue;
        }
        lock.unlock();
        const bool more = read_one(false);
        lock.lock();
        if (!more && !ready()) return nullptr;
    }
}

void backup_blocks::go_past() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        rescuing_ = true;
        go_past_ = true;
    }
    changed_.notify_all();
}

void backup_blocks::wait_packed(const chunk_in_flight& c) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return c.at == chunk_in_flight::stage::packed; });
}

void backup_blocks::release(chunk_in_flight& c) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        c.at = chunk_in_flight::stage::free;
        ++next_to_take_;
    }
    changed_.notify_all();
}

}  // namespace kiroda
