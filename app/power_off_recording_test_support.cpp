// The power_off of test programs: records the request, never shuts down.
#include "app/power_off_recording_test_support.h"

#include <mutex>

#include "app/power_off.h"

namespace kiroda {

namespace {
std::mutex g_lock;
std::vector<unsigned> g_calls;
}  // namespace

void power_off(unsigned flags) {
    const std::lock_guard<std::mutex> hold(g_lock);
    g_calls.push_back(flags);
}

namespace test_support {

std::vector<unsigned> power_off_calls() {
    const std::lock_guard<std::mutex> hold(g_lock);
    return g_calls;
}

void clear_power_off_calls() {
    const std::lock_guard<std::mutex> hold(g_lock);
    g_calls.clear();
}

}  // namespace test_support
}  // namespace kiroda
