// Windows XP has no GetTickCount64, but the thread library linked into the
// 32-bit program calls it through its import pointer. Defining that pointer
// here keeps the function out of the program's imports, so XP loads it; the
// stand-in counts milliseconds from the performance counter, which XP has
// and which never wraps (GetTickCount does, every 49.7 days).
#include <windows.h>

#if defined(__i386__)

namespace {

ULONGLONG WINAPI tick_count_64() {
    LARGE_INTEGER frequency, counter;
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0 ||
        !QueryPerformanceCounter(&counter)) {
        return GetTickCount();
    }
    // Whole seconds and the remainder apart, so the product cannot overflow.
    const auto f = static_cast<ULONGLONG>(frequency.QuadPart);
    const auto c = static_cast<ULONGLONG>(counter.QuadPart);
    return c / f * 1000 + c % f * 1000 / f;
}

}  // namespace

extern "C" {
// The name the compiler gives the import pointer of a __stdcall function of
// no arguments on 32-bit x86.
ULONGLONG(WINAPI* kiroda_get_tick_count_64)() __asm__("__imp__GetTickCount64@0") = tick_count_64;
}

#endif
