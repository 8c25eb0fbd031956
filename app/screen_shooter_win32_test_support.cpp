#include "app/screen_shooter_win32_test_support.h"

#include <cstdio>
#include <cstring>
#include <thread>

#include "app/message_pages_test_support.h"
#include "app/screen_pages_test_support.h"
#include "app/wizard_script_win32_test_support.h"
#include "ui/status_dialog_win32.h"

namespace kiroda {

namespace {

const screen_page* find_page(const char* name) {
    for (const screen_page& page : kScreenPages) {
        if (std::strcmp(page.name, name) == 0) return &page;
    }
    for (const message_page& page : kMessagePages) {
        if (std::strcmp(page.row.name, name) == 0) return &page.row;
    }
    return nullptr;
}

// A row of the progress dialog: its expectation is the status line.
bool shows_a_stage(const screen_page& row) {
    return std::strstr(row.shows, "status:") != nullptr;
}

// What the page shows where its row looks; empty when the row expects nothing.
std::string shown_text(const screen_page& row, HWND page) {
    if (row.expect[0] == '\0') return {};
    if (shows_a_stage(row)) return test_support::item_text(page, kStatusLineId);
    return test_support::message_box_text(page);
}

bool shows_expected(const screen_page& row, const std::string& shown) {
    if (shows_a_stage(row)) return shown == row.expect;
    return shown.find(row.expect) != std::string::npos;
}

// The progress dialog's lines a page shows (its own, or those of the
// dialog that owns its message box), one a line; empty when the row
// expects none.
std::string lines_shown(const char* name, HWND page, const char** expected) {
    *expected = nullptr;
    for (const page_lines& l : kPageLines) {
        if (std::strcmp(l.name, name) == 0) *expected = l.lines;
    }
    if (*expected == nullptr) return {};
    HWND dialog = test_support::is_progress_dialog(page) ? page : GetWindow(page, GW_OWNER);
    if (dialog == nullptr) return "(no progress dialog)";
    return test_support::item_text(dialog, kStatusLineId) + "\n" +
           test_support::item_text(dialog, kDetailLineId) + "\n" +
           test_support::item_text(dialog, kStatusButtonId);
}

bool lines_match(const std::string& shown, const char* expected) {
    std::size_t at = 0;
    for (const char* e = expected;; ++e) {
        const char* end = std::strchr(e, '\n');
        std::string want(e, end != nullptr ? end : e + std::strlen(e));
        const std::size_t stop = shown.find('\n', at);
        const std::string line = shown.substr(at, stop == std::string::npos ? stop : stop - at);
        const bool prefix = !want.empty() && want.back() == '*';
        if (prefix) want.pop_back();
        if (prefix ? line.compare(0, want.size(), want) != 0 : line != want) return false;
        if (end == nullptr) return stop == std::string::npos;
        if (stop == std::string::npos) return false;
        at = stop + 1;
        e = end;
    }
}

// Windows makes a message box wide enough for its whole caption (its
// buttons stay centred, its text where it is); Wine sizes it by the text
// and the buttons alone and cuts a long caption. The picture shows the
// box as Windows draws it.
void widen_for_caption(HWND box) {
    constexpr int kMessageBoxText = 0xFFFF;  // the static of a message box
    if (GetDlgItem(box, kMessageBoxText) == nullptr) return;
    char caption[256] = "";
    GetWindowTextA(box, caption, sizeof caption);
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return;
    HFONT font = CreateFontIndirectA(&metrics.lfCaptionFont);
    HDC dc = GetDC(box);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE text{};
    GetTextExtentPoint32A(dc, caption, static_cast<int>(std::strlen(caption)), &text);
    SelectObject(dc, old);
    ReleaseDC(box, dc);
    DeleteObject(font);
    // The icon, the text, the close button, the frame and a margin each side.
    const int needed = GetSystemMetrics(SM_CXSMICON) + text.cx + GetSystemMetrics(SM_CXSIZE) +
                       2 * GetSystemMetrics(SM_CXDLGFRAME) + 2 * GetSystemMetrics(SM_CXEDGE) + 24;
    RECT r{};
    GetWindowRect(box, &r);
    const int delta = needed - (r.right - r.left);
    if (delta <= 0) return;
    SetWindowPos(box, nullptr, r.left - delta / 2, r.top, needed, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        char kind[16] = "";
        GetClassNameA(c, kind, sizeof kind);
        if (lstrcmpiA(kind, "Button") != 0) continue;
        RECT b{};
        GetWindowRect(c, &b);
        MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&b), 2);
        SetWindowPos(c, nullptr, b.left + delta / 2, b.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RedrawWindow(box, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// The hook procedure has no context of its own: the stages it holds the
// worker for. One set at a time, installed and cleared on the dialogs' thread.
stage_pictures* g_active_stages = nullptr;

}  // namespace

void screen_shooter::shoot(const char* name, HWND page) {
    const screen_page* row = find_page(name);
    const std::string shown = row != nullptr ? shown_text(*row, page) : std::string();
    const char* lines = nullptr;
    const std::string lines_now = lines_shown(name, page, &lines);
    std::lock_guard<std::mutex> hold(lock_);
    if (row == nullptr || taken_.count(name) != 0) {
        wrong_.push_back(std::string(name) +
                         ": no row of its own in app/screen_pages_test_support.h");
        return;
    }
    if (!shows_expected(*row, shown)) {
        wrong_.push_back(std::string(name) + ": shows \"" + shown + "\", not \"" + row->expect +
                         "\"");
        return;
    }
    if (lines != nullptr && !lines_match(lines_now, lines)) {
        wrong_.push_back(std::string(name) + ": its progress dialog shows \"" + lines_now +
                         "\", not \"" + lines + "\"");
        return;
    }
    taken_.insert(name);
    if (!pictures_) return;
    widen_for_caption(page);
    Sleep(300);  // let the last paint reach the screen
    // A file dialog reaches past the dialog behind it onto the empty
    // screen: it is pictured on its own, by its window's rectangle.
    RECT r{};
    if (std::strncmp(row->shows, "file:", 5) == 0 && GetWindowRect(page, &r)) {
        std::printf("ready %s %ldx%ld+%ld+%ld\n", name, r.right - r.left, r.bottom - r.top, r.left,
                    r.top);
    } else {
        std::printf("ready %s\n", name);
    }
    std::fflush(stdout);
    char line[64];
    if (std::fgets(line, sizeof line, stdin) == nullptr)
        std::fprintf(stderr, "screens: no answer\n");
}

bool screen_shooter::all_taken() const {
    std::lock_guard<std::mutex> hold(lock_);
    bool all = wrong_.empty();
    for (const std::string& w : wrong_) std::fprintf(stderr, "screens: %s\n", w.c_str());
    auto check = [&](const screen_page& page) {
        if (taken_.count(page.name) != 0) return;
        std::fprintf(stderr, "screens: %s was not pictured\n", page.name);
        all = false;
    };
    for (const screen_page& page : kScreenPages) check(page);
    for (const message_page& page : kMessagePages) check(page.row);
    return all;
}

stage_pictures::stage_pictures(screen_shooter& shooter, std::vector<stage_picture> stages)
    : shooter_(shooter), stages_(std::move(stages)) {
    g_active_stages = this;
    hook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, after_message, nullptr, GetCurrentThreadId());
    if (hook_ == nullptr) std::fprintf(stderr, "screens: no hook (%lu)\n", GetLastError());
}

stage_pictures::~stage_pictures() {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    g_active_stages = nullptr;
}

LRESULT CALLBACK stage_pictures::after_message(int code, WPARAM wparam, LPARAM lparam) {
    const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
    if (code == HC_ACTION && sent->message == WM_SETTEXT && g_active_stages != nullptr) {
        g_active_stages->text_set(sent->hwnd);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

void stage_pictures::text_set(HWND control) {
    const int id = GetDlgCtrlID(control);
    if (id != kStatusLineId && id != kDetailLineId) return;
    HWND dialog = GetParent(control);
    if (dialog == nullptr || !test_support::is_progress_dialog(dialog)) return;
    const std::string status = test_support::item_text(dialog, kStatusLineId);
    for (auto it = stages_.begin(); it != stages_.end(); ++it) {
        if (status != it->status || (it->on_detail ? id != kDetailLineId : id != kStatusLineId)) {
            continue;
        }
        const char* name = it->name;
        stages_.erase(it);
        // The worker repaints the line only once this message returns.
        RedrawWindow(dialog, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread picture([this, name, dialog, taken] {
            shooter_.shoot(name, dialog);
            SetEvent(taken);
        });
        // This thread keeps the dialogs alive (paints, the shooter's reads
        // of the status line) until the picture is taken.
        while (MsgWaitForMultipleObjects(1, &taken, FALSE, INFINITE, QS_ALLINPUT) !=
               WAIT_OBJECT_0) {
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
        }
        picture.join();
        CloseHandle(taken);
        return;
    }
}

}  // namespace kiroda
