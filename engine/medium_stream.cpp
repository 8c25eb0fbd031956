#include "engine/medium_stream.h"

#include <cerrno>
#include <cstring>

namespace kiroda {

bool medium_stream::open(const char* path, bool uncached) {
    close();
    uncached_ = uncached;
    if (!uncached) {
        fd_.reset(open_for_reading(path));
        return fd_.valid();
    }
    for (piece& p : pieces_) {
        if (p.data.data() == nullptr) p.data = big_buffer(kPiece);
        if (p.data.data() == nullptr) return (errno = ENOMEM, false);
        p.size = 0;
        p.taken = 0;
        p.filled = false;
    }
    fd_.reset(open_for_reading_back(path));
    if (!fd_.valid()) return false;
    head_ = 0;
    stop_ = false;
    try {
        reader_ = std::thread([this] { read_ahead(); });
    } catch (...) {
        // No thread: the file cannot be read ahead, so it is not read.
        fd_.reset();
        return (errno = EAGAIN, false);
    }
    return true;
}

void medium_stream::close() {
    if (reader_.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        reader_.join();
    }
    fd_.reset();
}

// The read-ahead thread: fills each piece in turn once the caller has taken
// it, until the end of the file, a read error or a stop.
void medium_stream::read_ahead() {
    for (unsigned next = 0;; next = (next + 1) % kPieces) {
        piece& p = pieces_[next];
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || !p.filled; });
            if (stop_) return;
        }
        const std::int64_t n = read_back(fd_.get(), p.data.data(), kPiece);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            p.size = n;
            p.taken = 0;
            p.filled = true;
        }
        changed_.notify_all();
        if (n < static_cast<std::int64_t>(kPiece)) return;
    }
}

medium_stream::piece* medium_stream::wait_for_head(std::unique_lock<std::mutex>& lock) {
    piece& p = pieces_[head_];
    changed_.wait(lock, [&] { return p.filled; });
    return &p;
}

std::int64_t medium_stream::read(void* buffer, std::size_t size) {
    if (!uncached_) return read_full(fd_.get(), buffer, size);
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (done < size) {
        piece* p = wait_for_head(lock);
        if (p->size < 0) return -1;
        const std::size_t left = static_cast<std::size_t>(p->size) - p->taken;
        const std::size_t n = left < size - done ? left : size - done;
        std::memcpy(out + done, p->data.data() + p->taken, n);
        p->taken += n;
        done += n;
        // A short piece is the last: it stays, and reads past it give nothing.
        if (p->size < static_cast<std::int64_t>(kPiece)) {
            if (p->taken == static_cast<std::size_t>(p->size)) break;
            continue;
        }
        if (p->taken == kPiece) {
            p->filled = false;
            head_ = (head_ + 1) % kPieces;
            changed_.notify_all();
        }
    }
    return static_cast<std::int64_t>(done);
}

end_of_file medium_stream::at_end() {
    if (!uncached_) return at_end_of_file(fd_.get());
    std::unique_lock<std::mutex> lock(mutex_);
    const piece* p = wait_for_head(lock);
    if (p->size < 0) return end_of_file::before;
    return p->taken < static_cast<std::size_t>(p->size) ? end_of_file::before : end_of_file::at_end;
}

std::int64_t medium_stream::read_from(void* context, void* buffer, std::size_t size) {
    return static_cast<medium_stream*>(context)->read(buffer, size);
}

}  // namespace kiroda
