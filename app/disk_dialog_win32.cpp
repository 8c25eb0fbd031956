#include "app/disk_dialog_win32.h"

#include <string>

#include "ui/dialog_look_win32.h"
#include "ui/program.h"
#include "ui/stored_text.h"
#include "res/resource_ids.h"

namespace kiroda {

namespace {

// The source dialog's template name is kept enciphered like the messages.
constexpr enciphered_text kSourceTemplate{"KRMOTO"};
constexpr const char* kTargetTemplate = "KRRESTDISK";

UINT g_poll_ms = kDiskPollMs;  // changed by tests only

struct disk_dialog {
    disk_choice choice;
    const disk_table* table = nullptr;
    disk_role role = disk_role::source;
    int* chosen = nullptr;
};

std::string box_text(HWND dialog) {
    char text[64] = "";
    GetDlgItemTextA(dialog, kDiskNumberBox, text, sizeof text);
    return text;
}

// A transparent static draws its new text over the old one, which the gaps
// of the hatched background keep: the dialog's background under the field
// is repainted first, so a changed number never mixes with the one before.
void set_field(HWND dialog, int id, const char* text) {
    SetDlgItemTextA(dialog, id, text);
    HWND field = GetDlgItem(dialog, id);
    RECT area{};
    if (field == nullptr || !GetWindowRect(field, &area)) return;
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
    RedrawWindow(dialog, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// Writes the fields in their customary order, the verdict text before its
// mark, and the button last.
void show(HWND dialog, const disk_display& d) {
    set_field(dialog, kDiskSizeField, d.fields.size_mb);
    for (int i = 0; i < 4; ++i)
        set_field(dialog, kDiskPartitionField1 + i, d.fields.partition_mb[i]);
    set_field(dialog, kDiskSectorSizeField, d.fields.bytes_per_sector);
    set_field(dialog, kDiskMediaField, d.fields.media_name);
    set_field(dialog, kDiskVerdictField, d.verdict.message);
    set_field(dialog, kDiskMarkField, d.verdict.mark);
    EnableWindow(GetDlgItem(dialog, kDiskNextButton), d.next_enabled ? TRUE : FALSE);
}

void apply(HWND dialog, const disk_dialog& state, const disk_choice_step& step) {
    if (step.show) show(dialog, state.choice.shown);
    if (step.reset_box) SetDlgItemTextA(dialog, kDiskNumberBox, "0");
}

void start_polling(HWND dialog) {
    SetTimer(dialog, kDiskPollTimer, g_poll_ms, nullptr);
}
void stop_polling(HWND dialog) {
    KillTimer(dialog, kDiskPollTimer);
}

void on_init(HWND dialog, disk_dialog& state) {
    init_dialog_look(dialog);
    for (const disk_record& r : *state.table) {
        if (r.number < 0) break;
        char number[16];
        wsprintfA(number, "%d", r.number);
        SendDlgItemMessageA(dialog, kDiskNumberBox, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(number));
    }
    char first[16];
    wsprintfA(first, "%d", start_disk_choice(state.choice, state.role, *state.table));
    SetDlgItemTextA(dialog, kDiskNumberBox, first);
    show(dialog, state.choice.shown);
    InvalidateRect(dialog, nullptr, TRUE);
    start_polling(dialog);
}

void on_next(HWND dialog, disk_dialog& state) {
    const disk_choice_step step = press_next(state.choice, box_text(dialog).c_str());
    apply(dialog, state, step);
    if (!step.end) return;
    stop_polling(dialog);
    g_shutdown_at_end = IsDlgButtonChecked(dialog, kDiskShutdownCheck) == BST_CHECKED ? 1 : 0;
    *state.chosen = state.choice.selection;
    EndDialog(dialog, 1);
}

void on_help(HWND dialog) {
    stop_polling(dialog);
    open_online_help(dialog);
    start_polling(dialog);
}

INT_PTR CALLBACK disk_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        on_init(dialog, *reinterpret_cast<disk_dialog*>(lparam));
        return FALSE;
    }
    auto* state = reinterpret_cast<disk_dialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (state == nullptr) return FALSE;
    switch (message) {
        case WM_TIMER:
            if (wparam == kDiskPollTimer)
                apply(dialog, *state, poll_disk_choice(state->choice, box_text(dialog).c_str()));
            return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDCANCEL:
                case kDiskCancelButton:
                    stop_polling(dialog);
                    EndDialog(dialog, 0);
                    return FALSE;
                case kDiskNextButton:
                    on_next(dialog, *state);
                    return FALSE;
                case kDiskHelpButton:
                    on_help(dialog);
                    return FALSE;
                default:
                    return FALSE;
            }
        case WM_CTLCOLORSTATIC: {
            const INT_PTR brush = answer_control_colour(message, wparam);
            if (GetDlgCtrlID(reinterpret_cast<HWND>(lparam)) == kDiskVerdictField) {
                SetTextColor(
                    reinterpret_cast<HDC>(wparam),
                    static_cast<COLORREF>(verdict_colour(state->choice.shown.verdict.verdict)));
            }
            return brush;
        }
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORMSGBOX:
            return answer_control_colour(message, wparam);
        default:
            return FALSE;
    }
}

}  // namespace

void set_disk_poll_ms_for_tests(UINT ms) {
    g_poll_ms = ms != 0 ? ms : kDiskPollMs;
}

int run_disk_dialog(HINSTANCE instance, HWND owner, disk_role role, const disk_table& table,
                    int* disk) {
    disk_dialog state;
    state.table = &table;
    state.role = role;
    state.chosen = disk;
    const std::string name =
        role == disk_role::source ? get_stored_text(kSourceTemplate) : kTargetTemplate;
    return static_cast<int>(DialogBoxParamA(instance, name.c_str(), owner, disk_dialog_proc,
                                            reinterpret_cast<LPARAM>(&state)));
}

}  // namespace kiroda
