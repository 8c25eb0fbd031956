// For Windows test programs: drives the program's modal dialogs in-process.
//
// The dialog under test runs on the test's own (main) thread; a script runs
// on a second thread, finds the dialogs of the main thread, reads their
// texts and posts clicks. Posting never blocks the script, even while a
// message box it must answer is up. A watchdog ends a run that deadlocks.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace kiroda::test_support {

using namespace std::chrono_literals;

// The visible dialog (#32770) of `thread_id` whose title is `title` (any
// title when nullptr), other than `not_this`; nullptr after the timeout.
HWND wait_for_dialog(DWORD thread_id, const char* title, std::chrono::milliseconds timeout = 10s,
                     HWND not_this = nullptr);

// Text of a window or of a dialog's control.
std::string window_text(HWND window);
std::string item_text(HWND dialog, int id);

// Waits until the control shows `text` (true) or the timeout passes (false).
bool wait_for_item_text(HWND dialog, int id, const std::string& text,
                        std::chrono::milliseconds timeout = 10s);
// Waits until the window is gone.
bool wait_until_closed(HWND window, std::chrono::milliseconds timeout = 10s);

// Posts a click of control `id` (BN_CLICKED) to the dialog.
void click(HWND dialog, int id);
// Posts a message to a dialog (a timer tick, for example).
void post(HWND dialog, UINT message, WPARAM wparam = 0, LPARAM lparam = 0);

// Runs `script` on its own thread while the caller runs a dialog; join() (or
// the destructor) waits for the script. The id of the dialog thread is the
// caller's.
class dialog_script {
  public:
    explicit dialog_script(std::function<void(DWORD ui_thread)> script);
    ~dialog_script();
    dialog_script(const dialog_script&) = delete;
    dialog_script& operator=(const dialog_script&) = delete;
    void join();

  private:
    std::thread thread_;
};

// Ends the whole test program (exit code 3, with a line on stderr) when it is
// still alive after `limit`: a dialog that never closes must fail the run,
// not hang it.
class watchdog {
  public:
    explicit watchdog(std::chrono::seconds limit = 60s, const char* what = "dialog test");
    ~watchdog();
    watchdog(const watchdog&) = delete;
    watchdog& operator=(const watchdog&) = delete;

  private:
    HANDLE disarmed_;
    std::thread thread_;
};

}  // namespace kiroda::test_support
