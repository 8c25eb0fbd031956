// PLACEHOLDER for the command dialog, until the real one (radio buttons,
// disk and folder steps, the operations) replaces this file. It lets the
// start-up and its tests reach every command result: "< 終了" ends with 0,
// the two marked buttons end with 1 and -1, and the check box sets the
// shutdown-at-end flag as the disk dialogs will.
#include "app/command_dialog.h"

#include "app/dialog_look_win32.h"
#include "app/program.h"
#include "res/resource_ids.h"

namespace kiroda {

namespace {

INT_PTR CALLBACK placeholder_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM /*lparam*/) {
    switch (message) {
        case WM_INITDIALOG:
            init_dialog_look(dialog);
            return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDCANCEL:
                case kCommandExitButton: EndDialog(dialog, 0); return TRUE;
                case kPlaceholderCompletedButton: EndDialog(dialog, 1); return TRUE;
                case kPlaceholderFailedButton: EndDialog(dialog, -1); return TRUE;
                case kPlaceholderShutdownCheck:
                    g_shutdown_at_end =
                        IsDlgButtonChecked(dialog, kPlaceholderShutdownCheck) == BST_CHECKED ? 1 : 0;
                    return TRUE;
                case kCommandHelpButton: open_online_help(dialog); return FALSE;
                default: return FALSE;
            }
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            return answer_control_colour(message, wparam);
        default:
            return FALSE;
    }
}

}  // namespace

int run_command_dialog(HINSTANCE instance, HWND owner) {
    return static_cast<int>(DialogBoxParamA(instance, "KRBCR", owner, placeholder_proc, 0));
}

}  // namespace kiroda
