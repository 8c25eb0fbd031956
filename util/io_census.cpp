#include "util/io_census.h"

#include "util/file_io.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

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
