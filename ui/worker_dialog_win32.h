// A status dialog whose work runs on a worker thread: the progress dialogs of
// backup, data test and restore (template KR2) and the zero fill (NP1).
//
// The dialog sets the run flag to 1 before it starts the worker, and only its
// stop button ever clears it while the worker runs, so a stop pressed before
// the worker gets going is never lost. The worker's body returns the result;
// the runner then clears the flag and ends the dialog with that result. The
// dialog's thread joins the worker only after the dialog has closed: while it
// is open the worker's text updates wait for that thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "ui/status_dialog_win32.h"

namespace kiroda {

struct worker_dialog_setup {
    status_dialog_look look;
    // Texts set when the dialog opens; nullptr leaves a line as it is.
    const char* status = nullptr;
    const char* detail = nullptr;
    const char* button = nullptr;
    // Stack reserved for the worker thread, in bytes.
    unsigned stack_size = 0;
    // Required: shared with the worker's body, which polls it between steps.
    std::atomic<int>* run_flag = nullptr;
    // Shown (owned by the dialog, with the look's caption) when the worker
    // thread cannot be started; the dialog then ends with -1.
    const char* start_failure_text = nullptr;
};

// The worker's body: gets the dialog (for its lines and as the owner of its
// messages) and returns the result the dialog ends with.
using worker_body = std::function<int(HWND dialog)>;

// Runs the dialog and returns the body's result, or -1 when the worker never
// ran (the thread could not start, or the dialog could not be created).
int run_worker_dialog(HINSTANCE instance, HWND owner, const worker_dialog_setup& setup,
                      worker_body body);

// The stop button's texts while the worker winds down.
extern const char kStoppingStatus[];  // "終了処理中。"
extern const char kStoppingDetail[];  // "お待ちください。"

// Test seams. With a failure armed, the next worker thread fails to start as
// it would without memory for its stack. A prologue runs on the worker thread
// before the body, to delay it behind the test's own clicks.
void fail_next_worker_start_for_tests();
void set_worker_prologue_for_tests(std::function<void()> prologue);

}  // namespace kiroda
