// The program's start-up and ending around the command dialog.
#pragma once

#include <windows.h>

namespace kiroda {

// Program-wide values written once by run_program: the instance every dialog
// is loaded from, and the owner of the top-level dialogs and start-up
// messages (the active window at start, normally none).
extern HINSTANCE g_instance;
extern HWND g_owner_window;

// Everything WinMain does: the checks, the command dialog, and the closing
// message or the countdown and power-off. Returns the exit code, always 0.
int run_program(HINSTANCE instance);

}  // namespace kiroda
