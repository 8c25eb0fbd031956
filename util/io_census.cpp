#include "util/io_census.h"

#include "util/file_io.h"

#include <atomic>

namespace kiroda {

namespace {
std::atomic<bool> g_active{false};
std::atomic<std::int64_t> g_count{0};
std::atomic<std::int64_t> g_fail_at{0};
std::atomic<std::int64_t> g_write_budget{-1};
}  // namespace

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
