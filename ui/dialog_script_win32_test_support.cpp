#include "ui/dialog_script_win32_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace kiroda::test_support {

namespace {

struct search {
    const char* title;
    HWND not_this;
    HWND found;
};

BOOL CALLBACK consider(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<search*>(param);
    char class_name[16] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    if (std::strcmp(class_name, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    if (window == s->not_this) return TRUE;
    if (s->title != nullptr && window_text(window) != s->title) return TRUE;
    s->found = window;
    return FALSE;
}

template <typename Done>
bool poll(std::chrono::milliseconds timeout, Done done) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        Sleep(10);
    }
}

}  // namespace

HWND wait_for_dialog(DWORD thread_id, const char* title, std::chrono::milliseconds timeout,
                     HWND not_this) {
    search s{title, not_this, nullptr};
    poll(timeout, [&] {
        EnumThreadWindows(thread_id, consider, reinterpret_cast<LPARAM>(&s));
        return s.found != nullptr;
    });
    return s.found;
}

std::string window_text(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string item_text(HWND dialog, int id) {
    char text[1024] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

bool wait_for_item_text(HWND dialog, int id, const std::string& text,
                        std::chrono::milliseconds timeout) {
    return poll(timeout, [&] { return item_text(dialog, id) == text; });
}

bool wait_until_closed(HWND window, std::chrono::milliseconds timeout) {
    return poll(timeout, [&] { return !IsWindow(window); });
}

void click(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void post(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    PostMessageA(dialog, message, wparam, lparam);
}

dialog_script::dialog_script(std::function<void(DWORD ui_thread)> script)
    : thread_([ui = GetCurrentThreadId(), s = std::move(script)] { s(ui); }) {}

dialog_script::~dialog_script() {
    join();
}

void dialog_script::join() {
    if (thread_.joinable()) thread_.join();
}

watchdog::watchdog(std::chrono::seconds limit, const char* what)
    : disarmed_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), thread_([this, limit, what] {
          const auto ms = static_cast<DWORD>(std::chrono::milliseconds(limit).count());
          if (WaitForSingleObject(disarmed_, ms) == WAIT_TIMEOUT) {
              std::fprintf(stderr, "watchdog: %s still running after %lld s; ending the run\n",
                           what, static_cast<long long>(limit.count()));
              std::fflush(stderr);
              std::_Exit(3);
          }
      }) {}

watchdog::~watchdog() {
    SetEvent(disarmed_);
    thread_.join();
    CloseHandle(disarmed_);
}

}  // namespace kiroda::test_support
