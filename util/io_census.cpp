#include "util/io_census.h"

#include <atomic>

namespace kiroda {

namespace {
std::atomic<bool> g_active{false};
std::atomic<std::int64_t> g_count{0};
std::atomic<std::int64_t> g_fail_at{0};
}  // namespace

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
