#include "util/system_error.h"

#include <atomic>

namespace kiroda {

namespace {
std::atomic<int> g_last{0};
}  // namespace

void note_system_error(int code) {
    if (code != 0) g_last.store(code);
}

int take_system_error() {
    return g_last.exchange(0);
}

}  // namespace kiroda
