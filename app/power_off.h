// Switching the machine off at the end of a run.
//
// power_off is a link-time seam: KIRODA.EXE links power_off_win32.cpp, which
// really shuts the system down; every test program links
// power_off_recording_test_support.cpp instead, so no test can ever power a machine off.
#pragma once

#include <string>

namespace kiroda {

// Enables the shutdown privilege and calls ExitWindowsEx(flags, 0). Neither
// failure is reported: a user without the right simply keeps the machine on.
void power_off(unsigned flags);

// Enables a privilege in the process token. Returns the last-error value
// after the attempt: 0 when the privilege is now enabled, otherwise the
// error of the step that failed (ERROR_NOT_ALL_ASSIGNED, 1300, when the
// token does not hold it; ERROR_NO_SUCH_PRIVILEGE, 1313, for an unknown name).
unsigned long enable_privilege(const char* name);

}  // namespace kiroda
