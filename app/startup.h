// Start-up decisions: whether this copy may run, and how the program ends
// once the command dialog has returned. Plain functions over the values the
// system reports, so every branch is tested without a window.
#pragma once

#include "ui/stored_text.h"

namespace kiroda {

// What creating the named instance mutex told us.
enum class instance_verdict {
    run,              // we created it: this is the only copy
    run_unprotected,  // no mutex could be made for another reason: run without one
    second_copy,      // it already existed, or another user's copy holds it
};

// `created` says whether a handle came back; `error` is the last-error value
// right after the call. Another copy is recognised from "already exists"
// (ERROR_ALREADY_EXISTS with a handle) and from "access denied" (a mutex of
// that name made by a copy under another account).
instance_verdict judge_instance_mutex(bool created, unsigned long error);

// Windows 2000 and later: NT platform (2), major version 5 or higher.
bool is_supported_windows(unsigned long platform_id, unsigned long major_version);

// GetKeyboardType(0) = 7 (Japanese) and the subtype byte 0x0D (NEC PC-9800).
bool is_pc98_keyboard(int keyboard_type, int keyboard_subtype);

// How the program ends after the command dialog.
enum class closing_action {
    show_not_completed,       // result 0: nothing completed
    show_completed,           // result 1, no shutdown requested
    run_countdown,            // result 1 with the shutdown-at-end flag set
    show_failed,              // any other result (-1, or a dialog that could not open)
    power_off,                // the countdown ran out
    show_shutdown_cancelled,  // the countdown was cancelled
};

// Only the flag value 1 counts as set.
closing_action closing_for_command_result(int command_result, int shutdown_at_end);
// The countdown's result: 1 ran out, 0 cancelled.
closing_action closing_after_countdown(int countdown_result);

// The closing message of an action that shows one; an empty text (null
// bytes) for the countdown and the power-off, which show none.
stored_text closing_message(closing_action action);

// Messages of start-up and the name of the instance mutex (stored enciphered).
stored_text second_copy_message();
stored_text unsupported_windows_message();
stored_text instance_mutex_name();

// The PC-98 keyboard warning, a plain text.
extern const char kPc98Warning[];

// Flags of ExitWindowsEx for the power-off at the end: shut down (1), without
// asking applications (4), and switch the power off (8).
constexpr unsigned kPowerOffFlags = 13;

}  // namespace kiroda
