#include "util/io_census_test_support.h"

#include "util/file_io.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace kiroda {

namespace {
std::atomic<bool> g_active{false};
std::atomic<std::int64_t> g_count{0};
std::atomic<std::int64_t> g_fail_at{0};
std::atomic<std::int64_t> g_write_budget{-1};

// The read-back fault: the file it is for, where, and the descriptor of the
// read-back of that file opened last (-1: none).
struct read_back_fault {
    std::mutex mutex;
    std::string name;
    std::int64_t offset = 0;
    bool fail = false;
    int fd = -1;
};
read_back_fault g_fault;

// The power-cut record, and the record's number of the file each
// descriptor opened for writing holds (a number closed and opened again
// names the new file).
struct change_record {
    std::mutex mutex;
    std::atomic<bool> on{false};
    std::vector<io_change> changes;
    std::map<int, int> files;
    int opened = 0;
};
change_record g_record;

void note(io_change change) {
    const std::lock_guard<std::mutex> lock(g_record.mutex);
    if (g_record.on) g_record.changes.push_back(std::move(change));
}

// The record's number of the file `fd` holds; 0 when it was not opened
// while the record ran. The caller holds the lock.
int file_of(int fd) {
    const auto it = g_record.files.find(fd);
    return it == g_record.files.end() ? 0 : it->second;
}

const char* last_part(const char* path) {
    const char* name = path;
    for (const char* c = path; *c != '\0'; ++c) {
        if (*c == '/' || *c == '\\') name = c + 1;
    }
    return name;
}
}  // namespace

void set_read_back_fault_for_tests(const char* name, std::int64_t offset, bool fail) {
    const std::lock_guard<std::mutex> lock(g_fault.mutex);
    g_fault.name = name != nullptr ? name : "";
    g_fault.offset = offset;
    g_fault.fail = fail;
    g_fault.fd = -1;
}

void io_census_opened_for_read_back(int fd, const char* path) {
    const std::lock_guard<std::mutex> lock(g_fault.mutex);
    if (!g_fault.name.empty() && g_fault.name == last_part(path)) {
        g_fault.fd = fd;
    } else if (g_fault.fd == fd) {
        g_fault.fd = -1;  // the number is another file's now
    }
}

std::int64_t io_census_read_back(int fd, void* data, std::int64_t got, std::int64_t offset) {
    const std::lock_guard<std::mutex> lock(g_fault.mutex);
    if (fd != g_fault.fd || got <= 0 || g_fault.offset < offset || g_fault.offset >= offset + got) {
        return got;
    }
    if (g_fault.fail) {
        errno = EIO;
        return -1;
    }
    static_cast<unsigned char*>(data)[g_fault.offset - offset] ^= 0x40;
    return got;
}

void set_write_budget_for_tests(std::int64_t bytes) {
    g_write_budget = bytes;
}

std::size_t io_census_write_allowance(std::size_t size) {
    std::int64_t budget = g_write_budget.load();
    while (budget >= 0) {
        const auto allowed =
            static_cast<std::int64_t>(size) < budget ? static_cast<std::int64_t>(size) : budget;
        if (g_write_budget.compare_exchange_weak(budget, budget - allowed)) {
            return static_cast<std::size_t>(allowed);
        }
    }
    return size;
}

void start_io_record() {
    const std::lock_guard<std::mutex> lock(g_record.mutex);
    g_record.changes.clear();
    g_record.files.clear();
    g_record.opened = 0;
    g_record.on = true;
}

std::vector<io_change> stop_io_record() {
    const std::lock_guard<std::mutex> lock(g_record.mutex);
    g_record.on = false;
    g_record.files.clear();
    return std::move(g_record.changes);
}

bool io_recording() {
    return g_record.on.load();
}

void io_record_opened(int fd, const char* path, std::int64_t keep) {
    const std::lock_guard<std::mutex> lock(g_record.mutex);
    if (!g_record.on) return;
    io_change c;
    c.kind = keep < 0 ? io_change::created : io_change::continued;
    c.file = g_record.files[fd] = ++g_record.opened;
    c.path = path;
    c.offset = keep < 0 ? 0 : keep;
    g_record.changes.push_back(std::move(c));
}

void io_record_written(int fd, std::int64_t offset, const void* data, std::size_t size) {
    const std::lock_guard<std::mutex> lock(g_record.mutex);
    if (!g_record.on || size == 0) return;
    io_change c;
    c.kind = io_change::written;
    c.file = file_of(fd);
    c.offset = offset;
    const auto* p = static_cast<const unsigned char*>(data);
    c.bytes.assign(p, p + size);
    g_record.changes.push_back(std::move(c));
}

void io_record_committed(int fd) {
    const std::lock_guard<std::mutex> lock(g_record.mutex);
    if (!g_record.on) return;
    io_change c;
    c.kind = io_change::committed;
    c.file = file_of(fd);
    g_record.changes.push_back(std::move(c));
}

void io_record_renamed(const char* from, const char* to) {
    io_change c;
    c.kind = io_change::renamed;
    c.path = from;
    c.to = to;
    note(std::move(c));
}

void io_record_folder_synced(const char* folder) {
    io_change c;
    c.kind = io_change::folder_synced;
    c.path = folder;
    note(std::move(c));
}

void io_record_removed(const char* path) {
    io_change c;
    c.kind = io_change::removed;
    c.path = path;
    note(std::move(c));
}

void io_record_disk_written(int disk, std::uint64_t offset, const void* data, std::size_t size) {
    if (!g_record.on || size == 0) return;
    io_change c;
    c.kind = io_change::disk_written;
    c.file = disk;
    c.offset = static_cast<std::int64_t>(offset);
    const auto* p = static_cast<const unsigned char*>(data);
    c.bytes.assign(p, p + size);
    note(std::move(c));
}

void io_record_disk_flushed(int disk) {
    io_change c;
    c.kind = io_change::disk_flushed;
    c.file = disk;
    note(std::move(c));
}

void start_io_census(std::int64_t fail_at) {
    g_count = 0;
    g_fail_at = fail_at;
    g_active = true;
}

std::int64_t stop_io_census() {
    g_active = false;
    return g_count.load();
}

std::int64_t io_census_count() {
    return g_count.load();
}

bool io_census_fails() {
    if (!g_active.load(std::memory_order_relaxed)) return false;
    const std::int64_t n = ++g_count;
    return n == g_fail_at.load();
}

}  // namespace kiroda
