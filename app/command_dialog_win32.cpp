// The command dialog (template KRBCR): three radio buttons, "< 終了", "HELP"
// and "次へ >". "次へ >" runs the path of the checked button (command_steps.h)
// with the program's own dialogs, and the dialog ends with its result.
#include "app/command_dialog.h"

#include <memory>
#include <optional>

#include "app/command_steps.h"
#include "ui/dialog_look_win32.h"
#include "app/disk_dialog_win32.h"
#include "app/backup_flow_win32.h"
#include "engine/engine_dialogs_win32.h"
#include "app/file_dialogs_win32.h"
#include "res/resource_ids.h"

namespace kiroda {

namespace {

// The paths' view of the windows: every dialog and message box is owned by
// the command dialog.
class dialog_ui : public wizard_ui {
  public:
    dialog_ui(HINSTANCE instance, HWND dialog) : instance_(instance), dialog_(dialog) {}

    window_handle owner() const override { return dialog_; }
    int choose_disk(disk_role role, const disk_table& table, int* disk) override {
        return run_disk_dialog(instance_, dialog_, role, table, disk);
    }
    int choose_backup_folder(char* folder) override {
        return kiroda::choose_backup_folder(folder, dialog_);
    }
    int choose_header_file(char* folder) override {
        return kiroda::choose_header_file(folder, dialog_);
    }
    bool full_path(const char* path, char* output, std::size_t capacity) override {
        char* file_part = nullptr;
        const DWORD n = GetFullPathNameA(path, static_cast<DWORD>(capacity), output, &file_part);
        // A result as long as the buffer or longer did not fit: nothing was written.
        return n > 0 && n < capacity;
    }
    outcome run_backup(const backup_request& request) override {
        return run_backup_with_dialogs(instance_, dialog_, request);
    }
    outcome run_verify(const char* set_folder, std::uint64_t backup_bytes) override {
        return outcome_of_dialog(run_verify_dialog(instance_, dialog_, set_folder, backup_bytes));
    }
    outcome run_restore(int target_disk, const char* set_folder,
                        std::uint64_t backup_bytes) override {
        return outcome_of_dialog(
            run_restore_dialog(instance_, dialog_, target_disk, set_folder, backup_bytes));
    }

  private:
    HINSTANCE instance_;
    HWND dialog_;
};

struct command_dialog {
    HINSTANCE instance = nullptr;
    wizard_state state;
};

bool checked(HWND dialog, int id) {
    return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// The path of the first checked button; nothing when none is checked or
// the dialog is to stay open.
std::optional<outcome> run_checked_path(HWND dialog, command_dialog& c) {
    dialog_ui ui(c.instance, dialog);
    if (checked(dialog, kCommandBackupRadio)) return run_backup_path(ui, c.state);
    if (checked(dialog, kCommandVerifyRadio)) return run_verify_path(ui, c.state);
    if (checked(dialog, kCommandRestoreRadio)) return run_restore_path(ui, c.state);
    return std::nullopt;
}

INT_PTR CALLBACK command_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(dialog, DWLP_USER, lparam);
            init_dialog_look(dialog);
            SendDlgItemMessageA(dialog, kCommandBackupRadio, BM_SETCHECK, BST_CHECKED, 0);
            return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDCANCEL:
                case kCommandExitButton:
                    EndDialog(dialog, 0);
                    return TRUE;
                case kCommandHelpButton:
                    open_online_help(dialog);
                    return FALSE;
                case kCommandNextButton: {
                    auto* c =
                        reinterpret_cast<command_dialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
                    if (c == nullptr) return FALSE;
                    if (const std::optional<outcome> result = run_checked_path(dialog, *c)) {
                        EndDialog(dialog, *result);
                    }
                    return FALSE;
                }
                default:
                    return FALSE;
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
    // The state holds the disk table, the header record and two paths: on
    // the heap rather than the UI thread's stack.
    auto c = std::make_unique<command_dialog>();
    c->instance = instance;
    return static_cast<int>(DialogBoxParamA(instance, "KRBCR", owner, command_dialog_proc,
                                            reinterpret_cast<LPARAM>(c.get())));
}

}  // namespace kiroda
