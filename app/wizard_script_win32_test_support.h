// For Windows test programs: drives the whole wizard, page by page, from a
// script thread (see dialog_script_win32_test_support.h for the basics). Every page is
// found among the visible dialogs of this process, whatever thread shows
// it: an engine's messages come from its worker thread.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

#include "ui/dialog_script_win32_test_support.h"

namespace kiroda::test_support {

// The first visible dialog (#32770) of this process for which `accept` is
// true; nullptr after the timeout.
HWND wait_for_process_dialog(const std::function<bool(HWND)>& accept,
                             std::chrono::milliseconds timeout = 10s);

// The pages, told apart by their controls.
bool is_message_box(HWND dialog);      // the message text (id 0xFFFF) and an OK button
bool is_command_dialog(HWND dialog);   // "次へ >" of KRBCR
bool is_disk_dialog(HWND dialog);      // "次へ >" of KRMOTO / KRRESTDISK
bool is_progress_dialog(HWND dialog);  // KR2 of an engine

HWND wait_for_command_dialog(std::chrono::milliseconds timeout = 10s);
HWND wait_for_disk_dialog(std::chrono::milliseconds timeout = 10s);
HWND wait_for_progress_dialog(std::chrono::milliseconds timeout = 10s);
HWND wait_for_message_box(std::chrono::milliseconds timeout = 10s);
// The progress dialog of a restore once it counts down to the shutdown.
HWND wait_for_countdown(std::chrono::milliseconds timeout = 60s);

// The text of a message box.
std::string message_box_text(HWND box);

// Waits for the next message box, presses `button` (IDOK or IDCANCEL) and
// returns its text; "(no message)" when none came.
std::string answer_message_box(int button, std::chrono::milliseconds timeout = 10s);

// Checks the radio button `radio` of the command dialog (clearing the
// others) and presses "次へ >".
void start_command(HWND command, int radio);

// Types `number` into a disk dialog, lets a poll show it, ticks or clears
// the shutdown box and presses "次へ >". False when the dialog never showed
// the disk as usable.
bool choose_disk(HWND disk_dialog, int number, bool shutdown);

// Types `path` into the file dialog titled `title` and accepts it; a null
// `path` cancels the dialog. False when no such dialog came.
bool answer_file_dialog(const char* title, const char* path);

}  // namespace kiroda::test_support
