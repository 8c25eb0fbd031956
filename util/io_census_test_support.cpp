#include "util/io_census_test_support.h"

#include "util/file_io.h"
#include "util/path.h"
#include "util/system_error.h"

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

// The free-space answer a test set, and the lock that guards it (a backup's
// writer asks from its own thread).
std::mutex g_free_space_mutex;
std::function<double(const char*)> g_free_space;

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

void set_free_space_for_tests(std::function<double(const char*)> query) {
    const std::lock_guard<std::mutex> lock(g_free_space_mutex);
    g_free_space = std::move(query);
}

namespace {

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

}  // namespace

void set_write_budget_for_tests(std::int64_t bytes) {
    g_write_budget = bytes;
}

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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

// ---- The file table around the platform's ----

namespace {

std::atomic<const file_ops*> g_inner{nullptr};

const file_ops& inner() {
    return *g_inner.load();
}

int census_open_for_reading(const char* path) {
    if (io_census_fails()) return (errno = EIO, -1);
    return inner().open_for_reading(path);
}

int census_open_for_reading_back(const char* path) {
    if (io_census_fails()) return (errno = EIO, -1);
    const int fd = inner().open_for_reading_back(path);
    if (fd >= 0) io_census_opened_for_read_back(fd, path);
    return fd;
}

std::int64_t census_read_back(int fd, void* buffer, std::size_t size) {
    if (io_census_fails()) return (errno = EIO, -1);
    const std::int64_t start = inner().file_position(fd);
    if (start < 0) return -1;
    const std::int64_t got = inner().read_back(fd, buffer, size);
    if (got < 0) return got;
    const std::int64_t faulted = io_census_read_back(fd, buffer, got, start);
    if (faulted < 0) note_system_error(errno);
    return faulted;
}

void census_forget_cached_pages(const char* path) {
    inner().forget_cached_pages(path);
}

int census_open_for_writing(const char* path) {
    if (io_census_fails()) return (errno = EIO, -1);
    const int fd = inner().open_for_writing(path);
    if (fd >= 0) io_record_opened(fd, path, -1);
    return fd;
}

int census_open_to_continue(const char* path, std::int64_t keep_bytes) {
    if (io_census_fails()) return (errno = EIO, -1);
    const int fd = inner().open_to_continue(path, keep_bytes);
    if (fd >= 0) io_record_opened(fd, path, keep_bytes);
    return fd;
}

std::int64_t census_read_full(int fd, void* buffer, std::size_t size) {
    if (io_census_fails()) return (errno = EIO, -1);
    return inner().read_full(fd, buffer, size);
}

// The budget lets through what it has left; the write of the rest is not
// made, and the short count tells the caller the volume is full.
std::int64_t census_write_full(int fd, const void* buffer, std::size_t size) {
    if (io_census_fails()) return (errno = EIO, 0);
    const std::size_t allowed = io_census_write_allowance(size);
    const std::int64_t start = io_recording() ? inner().file_position(fd) : 0;
    const std::int64_t done = allowed > 0 ? inner().write_full(fd, buffer, allowed) : 0;
    if (done > 0) io_record_written(fd, start, buffer, static_cast<std::size_t>(done));
    return done;
}

bool census_commit_file(int fd) {
    if (io_census_fails() || !inner().commit_file(fd)) return false;
    io_record_committed(fd);
    return true;
}

end_of_file census_at_end_of_file(int fd) {
    if (io_census_fails()) return end_of_file::unknown;
    return inner().at_end_of_file(fd);
}

bool census_skip_forward(int fd, std::int64_t bytes) {
    return inner().skip_forward(fd, bytes);
}

std::int64_t census_file_position(int fd) {
    return inner().file_position(fd);
}

bool census_rename_replacing(const char* from, const char* to) {
    if (io_census_fails() || !inner().rename_replacing(from, to)) return false;
    io_record_renamed(from, to);
    return true;
}

bool census_sync_folder_of(const char* path) {
    if (!inner().sync_folder_of(path)) return false;
    char folder[kPathCapacity];
    if (directory_of_path(path, folder, sizeof folder)) {
        io_record_folder_synced(folder[0] != '\0' ? folder : ".");
    }
    return true;
}

removal census_remove_file(const char* path) {
    const removal r = inner().remove_file(path);
    if (r == removal::removed) io_record_removed(path);
    return r;
}

double census_folder_free_bytes(const char* folder) {
    if (io_census_fails()) return -1.0;
    std::function<double(const char*)> answer;
    {
        const std::lock_guard<std::mutex> lock(g_free_space_mutex);
        answer = g_free_space;
    }
    return answer ? answer(folder) : inner().folder_free_bytes(folder);
}

constexpr file_ops kCensusFiles{
    census_open_for_reading, census_open_for_reading_back,
    census_read_back,        census_forget_cached_pages,
    census_open_for_writing, census_open_to_continue,
    census_read_full,        census_write_full,
    census_commit_file,      census_at_end_of_file,
    census_skip_forward,     census_file_position,
    census_rename_replacing, census_sync_folder_of,
    census_remove_file,      census_folder_free_bytes,
};

}  // namespace

void install_io_census() {
    const file_ops& now = installed_file_ops();
    if (&now == &kCensusFiles) return;
    g_inner.store(&now);
    install_file_ops(&kCensusFiles);
}

}  // namespace kiroda
