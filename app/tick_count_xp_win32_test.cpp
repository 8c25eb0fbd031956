#include <windows.h>

#include <gtest/gtest.h>

#if defined(__i386__)

extern "C" ULONGLONG(WINAPI* kiroda_get_tick_count_64)() __asm__("__imp__GetTickCount64@0");

namespace kiroda {
namespace {

// The stand-in for XP counts real milliseconds and never runs backwards.
TEST(TickCountForXp, CountsMillisecondsForward) {
    const ULONGLONG a = kiroda_get_tick_count_64();
    Sleep(60);
    const ULONGLONG b = kiroda_get_tick_count_64();
    EXPECT_GE(b - a, 50u);
    EXPECT_LT(b - a, 5000u);
    ULONGLONG last = b;
    for (int i = 0; i < 1000; ++i) {
        const ULONGLONG now = kiroda_get_tick_count_64();
        ASSERT_GE(now, last);
        last = now;
    }
}

}  // namespace
}  // namespace kiroda

#endif
