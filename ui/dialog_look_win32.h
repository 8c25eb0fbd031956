// The common look of every dialog and the online help (Windows files only).
#pragma once

#include <windows.h>

#include "ui/message.h"

namespace kiroda {

// The program icon, loaded once at start-up ("TOVAICO"); null in test programs.
extern HICON g_program_icon;

// Mode 1: the hatched light-green background brush, created on first use.
// Any other mode: deletes it, returns null (called after each progress dialog).
HBRUSH dialog_background_brush(int mode);

// WM_INITDIALOG of every dialog: class icon and program caption as title.
void init_dialog_look(HWND dialog);

// Answer to a WM_CTLCOLOR* message: the hatched brush, with transparent text.
// The dialog's own background (WM_CTLCOLORDLG) is erased opaquely so the gaps
// between the hatch lines are white: left transparent they would keep
// whatever was on the screen before, black on a fresh screen, and the black
// text drawn over it could not be read.
INT_PTR answer_control_colour(UINT message, WPARAM device_context);

// Opens the help page in the user's browser; a message when that fails.
void open_online_help(HWND owner);
// The caption and type of its message when no browser starts.
extern const char kHelpCaption[];
constexpr unsigned kHelpMessageType = kMbIconError | kMbSetForeground;

}  // namespace kiroda
