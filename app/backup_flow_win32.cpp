#include "app/backup_flow_win32.h"

#include "engine/engine_dialogs_win32.h"
#include "app/program_file.h"
#include "zerofill/zero_fill_dialog_win32.h"

namespace kiroda {

outcome run_backup_with_dialogs(HINSTANCE instance, HWND owner, const backup_request& request) {
    backup_flow_steps steps;
    steps.program_path = program_file_path();
    steps.program_folder = program_folder();
    steps.copy_program = [](const char* from, const char* to) {
        return CopyFileA(from, to, FALSE) != 0;
    };
    steps.zero_fill = [instance, owner](char letter) {
        run_zero_fill_dialog(letter, instance, owner);
    };
    steps.run_backup = [instance, owner, &request](const char* folder, std::uint64_t backup_size,
                                                   bool resume) {
        // The progress dialog releases the shared background brush when it
        // closes; the command dialog behind it makes a new one when it repaints.
        return outcome_of_dialog(run_backup_progress_dialog(instance, owner, request.source_disk,
                                                            folder, backup_size, resume));
    };
    return run_backup_flow(owner, request, steps);
}

}  // namespace kiroda
