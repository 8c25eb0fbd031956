#include "util/file_io.h"

#include <atomic>

namespace kiroda {

namespace {
std::atomic<std::int64_t> g_write_budget{-1};
}  // namespace

void set_write_budget_for_tests(std::int64_t bytes) {
    g_write_budget = bytes;
}

// How many of `size` bytes the test budget lets through (all when unlimited).
std::size_t take_write_budget(std::size_t size) {
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

}  // namespace kiroda
