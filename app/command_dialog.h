// The command dialog (template KRBCR), the first page of the wizard.
#pragma once

#include <windows.h>

namespace kiroda {

// Runs the command dialog modally and returns the command result: 1 the
// chosen operation completed, 0 nothing was completed, -1 a check or the
// operation failed (and -1 when the dialog could not be created).
int run_command_dialog(HINSTANCE instance, HWND owner);

}  // namespace kiroda
