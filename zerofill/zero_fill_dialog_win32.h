// The NULLPASS dialog (template NP1): the zero fill of one drive on a worker
// thread, with a stop button.
#pragma once

#include <windows.h>

#include <string>

#include "zerofill/zero_fill.h"

namespace kiroda {

// Fills drive `letter` ("E" fills "E:\"). Returns the fill's result:
// kZeroFillFinished, kZeroFillStopped or kZeroFillFailed (also when the
// worker could not start).
int run_zero_fill_dialog(char letter, HINSTANCE instance, HWND owner);

// The same over any volume and limits (the tests' capped folders).
int run_zero_fill_dialog_on(char letter, const std::string& root, zero_fill_volume& volume,
                            HINSTANCE instance, HWND owner, const zero_fill_limits& limits);

}  // namespace kiroda
