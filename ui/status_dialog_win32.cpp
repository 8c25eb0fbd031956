#include "ui/status_dialog_win32.h"

#include "ui/dialog_look_win32.h"
#include "ui/program.h"

namespace kiroda {

namespace {

struct dialog_context {
    const status_dialog_look* look;
    status_dialog_handler* handler;
};

dialog_context* context_of(HWND dialog) {
    return reinterpret_cast<dialog_context*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void init_status_dialog(HWND dialog, dialog_context* context) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(context));
    if (g_program_icon != nullptr) {
        SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(g_program_icon));
    }
    SendMessageA(dialog, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(context->look->caption));
    context->handler->on_init(dialog);
}

INT_PTR CALLBACK status_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        init_status_dialog(dialog, reinterpret_cast<dialog_context*>(lparam));
        return TRUE;  // the focus goes to the button, so Esc and Enter reach it
    }
    dialog_context* context = context_of(dialog);
    if (context == nullptr) return FALSE;
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wparam);
            if (id == IDCANCEL || id == kStatusButtonId) {
                context->handler->on_stop(dialog);
                return TRUE;
            }
            return FALSE;
        }
        case WM_TIMER:
            context->handler->on_timer(dialog, static_cast<UINT_PTR>(wparam));
            return FALSE;
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            return context->look->hatched ? answer_control_colour(message, wparam) : FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

status_dialog_look kr2_look() {
    return {"KR2", program_caption(), true};
}

INT_PTR run_status_dialog(HINSTANCE instance, HWND owner, const status_dialog_look& look,
                          status_dialog_handler& handler) {
    dialog_context context{&look, &handler};
    const INT_PTR result = DialogBoxParamA(instance, look.template_name, owner, status_dialog_proc,
                                           reinterpret_cast<LPARAM>(&context));
    if (look.hatched) dialog_background_brush(0);
    return result;
}

namespace {
// A transparent static paints its new text over the old one: the gaps of the
// hatched brush keep the old glyphs. Repaint the dialog's background under
// the line first, then the line, so a changing number stays readable.
void set_line(HWND dialog, int id, const char* text) {
    SetDlgItemTextA(dialog, id, text);
    HWND line = GetDlgItem(dialog, id);
    RECT area{};
    if (line == nullptr || !GetWindowRect(line, &area)) return;
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
    RedrawWindow(dialog, &area, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}
}  // namespace

void set_status_line(HWND dialog, const char* text) {
    set_line(dialog, kStatusLineId, text);
}
void set_detail_line(HWND dialog, const char* text) {
    set_line(dialog, kDetailLineId, text);
}
void set_button_text(HWND dialog, const char* text) {
    SetDlgItemTextA(dialog, kStatusButtonId, text);
}

}  // namespace kiroda
