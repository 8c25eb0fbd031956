#include "ui/dialog_look_win32.h"

#include <shellapi.h>

#include "ui/message.h"
#include "ui/program.h"

namespace kiroda {

HICON g_program_icon = nullptr;

namespace {
HBRUSH g_background = nullptr;                      // created and deleted on the UI thread only
constexpr COLORREF kBackgroundColour = 0x00CCFFCC;  // red 204, green 255, blue 204
constexpr COLORREF kHatchGapColour = 0x00FFFFFF;    // white between the lines
constexpr const char* kHelpAddress = "http://kiroda.example/help/tova/zerohelp.htm";
// Plain text: the error code of the failed launch (%d).
constexpr const char* kBrowserFailed = "プラウザの起動に失敗しました。\n(%d)";
}  // namespace

const char kHelpCaption[] = "KIRODA/TOVA オンラインヘルプ";

HBRUSH dialog_background_brush(int mode) {
    if (mode == 1) {
        if (g_background == nullptr)
            g_background = CreateHatchBrush(HS_VERTICAL, kBackgroundColour);
        return g_background;
    }
    if (g_background != nullptr) DeleteObject(g_background);
    g_background = nullptr;
    return nullptr;
}

void init_dialog_look(HWND dialog) {
    if (g_program_icon != nullptr) {
        SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(g_program_icon));
    }
    SendMessageA(dialog, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(program_caption()));
}

INT_PTR answer_control_colour(UINT message, WPARAM device_context) {
    const auto dc = reinterpret_cast<HDC>(device_context);
    if (message == WM_CTLCOLORDLG) {
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, kHatchGapColour);
    } else {
        SetBkMode(dc, TRANSPARENT);
    }
    return reinterpret_cast<INT_PTR>(dialog_background_brush(1));
}

void open_online_help(HWND owner) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(owner, nullptr, kHelpAddress, nullptr, nullptr, SW_SHOW));
    if (result <= 32) {
        show_message(owner, kHelpMessageType, kHelpCaption, kBrowserFailed,
                     static_cast<int>(GetLastError()));
    }
}

}  // namespace kiroda
