#include "engine/background_writer.h"

#include <cstdint>

#include <system_error>

namespace kiroda {

background_writer::background_writer(const disk_handle& disk) : disk_(disk) {
    try {
        thread_ = std::thread([this] { run(); });
        threaded_ = true;
    } catch (const std::system_error&) {
        threaded_ = false;  // the restore still works, one step at a time
    }
}

background_writer::~background_writer() {
    if (!threaded_) return;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

namespace {

bool write_run(const disk_handle& disk, std::uint64_t first, const unsigned char* data,
               std::uint32_t sectors) {
    return seek_sector(disk, first) && write_sectors(disk, sectors, data);
}

}  // namespace

bool background_writer::submit(std::uint64_t first, const unsigned char* data,
                               std::uint32_t sectors) {
    if (!threaded_) {
        if (!failed_ && !write_run(disk_, first, data, sectors)) failed_ = true;
        return !failed_;
    }
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        if (failed_) return false;
        data_ = data;
        sectors_ = sectors;
        first_ = first;
        busy_ = true;
    }
    changed_.notify_all();
    return true;
}

bool background_writer::finish() {
    if (!threaded_) return !failed_;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    return !failed_;
}

void background_writer::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || quit_; });
        if (quit_) return;
        const unsigned char* data = data_;
        const std::uint32_t sectors = sectors_;
        const std::uint64_t first = first_;
        lock.unlock();
        const bool ok = write_run(disk_, first, data, sectors);
        lock.lock();
        if (!ok) failed_ = true;
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace kiroda
