// The three paths of the command dialog after "次へ >": backup, data test and
// restore. Each leads the user through its steps (disk choice, folder or set
// choice, the safety checks, one confirmation), starts the operation and
// gives the command result the dialog ends with.
//
// Portable: the dialogs the paths open come in through wizard_ui, so the
// tests walk every path against image disks, a recording message sink and a
// scripted ui, without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "ui/message.h"
#include "app/disk_choice.h"
#include "disk/disk_survey.h"
#include "app/backup_flow.h"
#include "format/header_file.h"
#include "util/path.h"

namespace kiroda {

// What the paths ask of the windows around them. Results follow the dialogs:
// 1 chosen or completed, 0 cancelled (or stopped), -1 failed.
class wizard_ui {
  public:
    virtual ~wizard_ui() = default;
    virtual window_handle owner() const = 0;
    // The disk dialog of `role` over `table`; on 1, *disk holds the choice.
    virtual int choose_disk(disk_role role, const disk_table& table, int* disk) = 0;
    // `folder` holds kPathCapacity bytes.
    virtual int choose_backup_folder(char* folder) = 0;
    virtual int choose_header_file(char* folder) = 0;
    // The full form of `path`; false when there is none or it does not fit
    // `capacity` (a cut path names another folder).
    virtual bool full_path(const char* path, char* output, std::size_t capacity) = 0;
    virtual outcome run_backup(const backup_request& request) = 0;
    virtual outcome run_verify(const char* set_folder, std::uint64_t backup_bytes) = 0;
    virtual outcome run_restore(int target_disk, const char* set_folder,
                                std::uint64_t backup_bytes) = 0;
};

// The choices of one run of the wizard.
struct wizard_state {
    disk_table disks{};
    int source_disk = kNoDisk;
    int target_disk = kNoDisk;
    char backup_folder[kPathCapacity] = "";
    char set_folder[kPathCapacity] = "";  // never with a trailing backslash
    backup_header header{};
};

// Capacity GetFullPathNameA is given for the set folder.
constexpr std::size_t kFullPathCapacity = 4096;

// Each returns the command's outcome, or nothing when the command
// dialog is to stay open (a damaged header file: the user may choose again).
std::optional<outcome> run_backup_path(wizard_ui& ui, wizard_state& state);
std::optional<outcome> run_verify_path(wizard_ui& ui, wizard_state& state);
std::optional<outcome> run_restore_path(wizard_ui& ui, wizard_state& state);

}  // namespace kiroda
