#include "engine/read_back_behind.h"

#include <cstring>
#include <system_error>

namespace kiroda {

read_back_verdict read_back_chunk(const disk_handle& disk, const written_chunk& chunk,
                                  const unsigned char* sector0, unsigned char* buffer,
                                  std::uint32_t held) {
    std::uint64_t first = chunk.first_sector;
    std::uint32_t count = chunk.sectors;
    unsigned char* into = buffer;
    if (first == 0) {
        const std::uint32_t standing = held < count ? held : count;
        std::memcpy(buffer, sector0, std::size_t{standing} * kSectorBytes);
        first = standing;
        count -= standing;
        into += std::size_t{standing} * kSectorBytes;
    }
    if (count > 0 && (!seek_sector(disk, first) || !read_sectors(disk, count, into))) {
        return {read_back_verdict::unreadable, first, 0};
    }
    if (digest_bytes(buffer, std::size_t{chunk.sectors} * kSectorBytes) != chunk.digest) {
        return {read_back_verdict::differs, chunk.first_sector,
                chunk.first_sector + chunk.sectors - 1};
    }
    return {};
}

read_back_behind::read_back_behind(int target_disk, const unsigned char* sector0,
                                   unsigned char* buffer, std::uint32_t held)
    : target_disk_(target_disk), sector0_(sector0), buffer_(buffer), held_(held) {
    if (buffer_ == nullptr) return;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread: ready() says so.
    }
}

read_back_behind::~read_back_behind() {
    if (!thread_.joinable()) return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void read_back_behind::add(std::vector<written_chunk> batch) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        batches_.push_back(std::move(batch));
    }
    changed_.notify_all();
}

read_back_verdict read_back_behind::seen() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return verdict_;
}

bool read_back_behind::wait(const progress& p, read_back_verdict* verdict) {
    std::unique_lock<std::mutex> lock(mutex_);
    // The reading thread looks for the stop between chunks and wakes this
    // one: no timed wait.
    stop_seen_by_ = &p;
    changed_.wait(lock, [&] {
        return verdict_.found != read_back_verdict::same || (batches_.empty() && !reading_) ||
               !p.running();
    });
    stop_seen_by_ = nullptr;
    *verdict = verdict_;
    return p.running() || verdict_.found != read_back_verdict::same;
}

void read_back_behind::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || !batches_.empty(); });
        // After a chunk found wrong the rest is not read: one verdict is told.
        if (quit_ || verdict_.found != read_back_verdict::same) return;
        const std::vector<written_chunk> batch = std::move(batches_.front());
        batches_.pop_front();
        reading_ = true;
        lock.unlock();
        read_back_verdict found;
        const disk_handle disk = open_physical_disk(target_disk_, disk_mode::read_back);
        if (!disk.valid() && !batch.empty()) {
            // Sector 0 is not on the target yet: the data starts at sector 1.
            const std::uint64_t first = batch.front().first_sector;
            found = {read_back_verdict::unreadable, first == 0 ? 1 : first, 0};
        }
        for (std::size_t i = 0; disk.valid() && i < batch.size(); ++i) {
            found = read_back_chunk(disk, batch[i], sector0_, buffer_, held_);
            if (found.found != read_back_verdict::same) break;
            // A stop or the end of the restore does not wait for the batch.
            const std::lock_guard<std::mutex> check(mutex_);
            if (quit_) break;
            if (stop_seen_by_ != nullptr && !stop_seen_by_->running()) {
                changed_.notify_all();
                break;
            }
        }
        lock.lock();
        reading_ = false;
        if (found.found != read_back_verdict::same) verdict_ = found;
        changed_.notify_all();
    }
}

}  // namespace kiroda
