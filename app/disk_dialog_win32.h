// The disk selection dialogs: KRMOTO (the source disk of a backup) and
// KRRESTDISK (the target disk of a restore). Windows only; what they show
// and decide is disk_choice.h.
#pragma once

#include <windows.h>

#include "app/disk_choice.h"
#include "disk/disk_survey.h"

namespace kiroda {

// Runs the dialog of `role` over `table` (surveyed by the caller just
// before). 1 "次へ >": *disk holds the disk shown and chosen, and the
// shutdown-at-end flag is set from the check box; 0 cancelled (neither
// changes); -1 the dialog could not be created.
int run_disk_dialog(HINSTANCE instance, HWND owner, disk_role role, const disk_table& table,
                    int* disk);

// The poll timer of both dialogs.
constexpr UINT_PTR kDiskPollTimer = 2;
constexpr UINT kDiskPollMs = 500;

// Test seam: the poll interval (0 restores 500 ms). A test that sets it long
// drives the polls itself with posted WM_TIMER messages.
void set_disk_poll_ms_for_tests(UINT ms);

}  // namespace kiroda
