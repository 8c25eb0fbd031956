#include "app/startup_win32.h"

#include "app/command_dialog.h"
#include "app/countdown_win32.h"
#include "ui/dialog_look_win32.h"
#include "ui/message.h"
#include "app/power_off.h"
#include "ui/program.h"
#include "ui/say.h"
#include "app/startup.h"

namespace kiroda {

HINSTANCE g_instance = nullptr;
HWND g_owner_window = nullptr;

namespace {

// The named mutex that marks a running copy. It is only a marker: nothing
// ever waits on it. Held until the program ends.
class instance_mutex {
  public:
    instance_mutex() {
        handle_ = CreateMutexA(nullptr, FALSE, get_stored_text(instance_mutex_name()));
        verdict_ = judge_instance_mutex(handle_ != nullptr, GetLastError());
    }
    ~instance_mutex() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    instance_mutex(const instance_mutex&) = delete;
    instance_mutex& operator=(const instance_mutex&) = delete;

    instance_verdict verdict() const { return verdict_; }

  private:
    HANDLE handle_ = nullptr;
    instance_verdict verdict_ = instance_verdict::run_unprotected;
};

constexpr unsigned kStartupMessageType = kMbOk | kMbSetForeground;

void show_stored(HWND owner, unsigned type, stored_text text) {
    say(owner, type, text);
}

void warn_if_pc98() {
    if (is_pc98_keyboard(GetKeyboardType(0), GetKeyboardType(1))) {
        say_plain(nullptr, kStartupMessageType, "%s", kPc98Warning);
    }
}

bool running_on_supported_windows() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return false;
    return is_supported_windows(version.dwPlatformId, version.dwMajorVersion);
}

void close_the_run(HINSTANCE instance, int command_result) {
    closing_action action = closing_for_command_result(command_result, g_shutdown_at_end);
    if (action == closing_action::run_countdown) {
        action = closing_after_countdown(run_shutdown_countdown(instance, g_owner_window));
    }
    if (action == closing_action::power_off) {
        // No message and no waiting: the system shuts down on its own.
        power_off(kPowerOffFlags);
        return;
    }
    show_stored(g_owner_window, kMbOk, closing_message(action));
}

}  // namespace

int run_program(HINSTANCE instance) {
    g_owner_window = GetActiveWindow();
    g_instance = instance;
    g_program_icon = LoadIconA(instance, "TOVAICO");

    const instance_mutex mutex;
    if (mutex.verdict() == instance_verdict::second_copy) {
        show_stored(g_owner_window, kStartupMessageType, second_copy_message());
        return 0;
    }
    warn_if_pc98();
    if (!running_on_supported_windows()) {
        show_stored(g_owner_window, kStartupMessageType, unsupported_windows_message());
        return 0;
    }
    close_the_run(instance, run_command_dialog(instance, g_owner_window));
    return 0;
}

}  // namespace kiroda
