// The sixty-second shutdown countdown in the KR2 dialog.
#pragma once

#include <windows.h>

namespace kiroda {

// 1 when the countdown ran out, 0 when the user cancelled it (button, Esc).
int run_shutdown_countdown(HINSTANCE instance, HWND owner);

// Test seam: the timer period in milliseconds (0 restores one second).
void set_countdown_tick_ms_for_tests(unsigned milliseconds);

}  // namespace kiroda
