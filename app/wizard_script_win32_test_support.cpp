#include "app/wizard_script_win32_test_support.h"

#include <cstring>

#include "app/disk_dialog_win32.h"
#include "res/resource_ids.h"
#include "ui/status_dialog_win32.h"

namespace kiroda::test_support {

namespace {

constexpr int kMessageTextId = 0xFFFF;
constexpr int kFileNameBox = 1148;  // the name box of the system's file dialogs

struct process_search {
    const std::function<bool(HWND)>* accept;
    HWND found;
};

BOOL CALLBACK consider(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<process_search*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    char class_name[16] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    if (std::strcmp(class_name, "#32770") != 0 || !(*s->accept)(window)) return TRUE;
    s->found = window;
    return FALSE;
}

bool has(HWND dialog, int id) {
    return GetDlgItem(dialog, id) != nullptr;
}

}  // namespace

HWND wait_for_process_dialog(const std::function<bool(HWND)>& accept,
                             std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        process_search s{&accept, nullptr};
        EnumWindows(consider, reinterpret_cast<LPARAM>(&s));
        if (s.found != nullptr) return s.found;
        if (std::chrono::steady_clock::now() > end) return nullptr;
        Sleep(10);
    }
}

// The program's own dialogs have statics of id -1 (0xFFFF) too, but no OK
// button; the file dialogs have one, and their name box.
bool is_message_box(HWND d) {
    return has(d, kMessageTextId) && has(d, IDOK) && !has(d, kFileNameBox);
}
bool is_command_dialog(HWND d) {
    return has(d, KRD_ID_COMMAND_NEXT) && has(d, KRD_ID_COMMAND_BACKUP);
}
bool is_disk_dialog(HWND d) {
    return has(d, KRD_ID_DISK_NEXT) && has(d, KRD_ID_DISK_VERDICT);
}
bool is_progress_dialog(HWND d) {
    return has(d, KRD_ID_STATUS_BUTTON) && has(d, KRD_ID_DETAIL_LINE) && !is_message_box(d) &&
           !is_command_dialog(d) && !is_disk_dialog(d);
}

HWND wait_for_command_dialog(std::chrono::milliseconds timeout) {
    return wait_for_process_dialog(is_command_dialog, timeout);
}
HWND wait_for_disk_dialog(std::chrono::milliseconds timeout) {
    return wait_for_process_dialog(is_disk_dialog, timeout);
}
HWND wait_for_progress_dialog(std::chrono::milliseconds timeout) {
    return wait_for_process_dialog(is_progress_dialog, timeout);
}
HWND wait_for_message_box(std::chrono::milliseconds timeout) {
    return wait_for_process_dialog(is_message_box, timeout);
}
HWND wait_for_countdown(std::chrono::milliseconds timeout) {
    return wait_for_process_dialog(
        [](HWND w) {
            return is_progress_dialog(w) && item_text(w, kStatusLineId) == "シャットダウンします";
        },
        timeout);
}

std::string message_box_text(HWND box) {
    return item_text(box, kMessageTextId);
}

std::string answer_message_box(int button, std::chrono::milliseconds timeout) {
    HWND box = wait_for_message_box(timeout);
    if (box == nullptr) return "(no message)";
    const std::string text = message_box_text(box);
    post(box, WM_COMMAND, static_cast<WPARAM>(button));
    wait_until_closed(box);
    return text;
}

void start_command(HWND command, int radio) {
    for (const int id : {KRD_ID_COMMAND_BACKUP, KRD_ID_COMMAND_VERIFY, KRD_ID_COMMAND_RESTORE}) {
        SendDlgItemMessageA(command, id, BM_SETCHECK, id == radio ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    click(command, KRD_ID_COMMAND_NEXT);
}

bool choose_disk(HWND d, int number, bool shutdown) {
    const std::string text = std::to_string(number);
    if (item_text(d, KRD_ID_DISK_NUMBER) != text) {
        SetDlgItemTextA(d, KRD_ID_DISK_NUMBER, text.c_str());
        post(d, WM_TIMER, kDiskPollTimer);
    }
    // The poll has run once "次へ >" is enabled for the disk typed.
    bool shown = false;
    for (int i = 0; i < 500 && !shown; ++i) {
        Sleep(10);
        shown = item_text(d, KRD_ID_DISK_NUMBER) == text &&
                IsWindowEnabled(GetDlgItem(d, KRD_ID_DISK_NEXT)) != FALSE;
    }
    if (!shown) return false;
    SendDlgItemMessageA(d, KRD_ID_DISK_SHUTDOWN, BM_SETCHECK,
                        shutdown ? BST_CHECKED : BST_UNCHECKED, 0);
    click(d, KRD_ID_DISK_NEXT);
    return true;
}

bool answer_file_dialog(const char* title, const char* path) {
    HWND d = wait_for_process_dialog([title](HWND w) { return window_text(w) == title; });
    if (d == nullptr) return false;
    if (path != nullptr) {
        SetDlgItemTextA(d, kFileNameBox, path);
        post(d, WM_COMMAND, IDOK);
    } else {
        post(d, WM_COMMAND, IDCANCEL);
    }
    wait_until_closed(d);
    return true;
}

}  // namespace kiroda::test_support
