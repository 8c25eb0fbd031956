// The backup command flow: everything between the user's choice of a source
// disk and a backup folder and the start of the backup engine. It refuses
// folders and disks that cannot take or give a backup, works out how many
// bytes to back up, weighs them against the folder's free space, asks the
// last question, copies the program beside the set and starts the backup.
//
// Portable: the few things only a window system can do (copy the program
// file, show the zero fill and the progress dialogs) come in as steps, so
// the tests run the whole flow against image disks and a recording sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "engine/backup_rules.h"
#include "ui/message.h"
#include "ui/outcome.h"
#include "util/path.h"

namespace kiroda {

// What part of the disk a backup covers (see backup_extent).
constexpr int kScopeValidPartitions = 1;  // sector 0 to the end of the partition that ends last
constexpr int kScopeWholeDisk = 2;        // every sector of the disk

struct backup_request {
    int source_disk = -1;
    const char* folder = "";  // as chosen; a trailing separator is dropped
    int scope = kScopeWholeDisk;
    int zero_fill = 0;  // 1: fill the free space of the disk's volumes first
};

// The platform's part of the flow.
struct backup_flow_steps {
    const char* program_path = "";    // the running program file, copied beside the set
    const char* program_folder = "";  // its folder, named when the copy fails
    // Copies `from` to `to`, replacing a file of that name; false on failure.
    std::function<bool(const char* from, const char* to)> copy_program;
    // The zero fill of one drive's free space; its result is not looked at.
    std::function<void(char drive_letter)> zero_fill;
    // The backup under its progress dialog: 1 done, -1 failed or stopped.
    // `resume`: go on with the unfinished set in the folder.
    std::function<outcome(const char* folder, std::uint64_t backup_size, bool resume)> run_backup;
};

// A folder that holds an unfinished set of the chosen disk (its size, its
// last whole block still on the disk) is offered to be continued: Yes goes
// on with it (without a zero fill, which would change the disk under the
// half-made set), No is today's refusal of a folder that holds a set.
//
// Runs the flow. kEngineFailed when it refused (after its message) or the
// backup failed or was stopped; kEngineStopped when the user did not answer
// OK to the last question; kEngineDone when the backup completed. Nothing is written into the folder before the
// user has answered OK.
outcome run_backup_flow(window_handle owner, const backup_request& request,
                        const backup_flow_steps& steps);

// True when the volume of the path's drive (its first character) lies on
// `disk`, on any of its extents: a spanned volume may put the set on the
// disk being read even when its first extent is elsewhere. A path whose
// volume cannot be mapped (a network share) lies on no disk.
bool path_on_disk(const char* path, int disk);

// The disk that holds the volume of `path` (its first extent), for the
// messages that name it; negative when the volume cannot be asked.
int path_disk_number(const char* path);

// `folder` with one trailing separator dropped ("D:\BK\" gives "D:\BK",
// "D:\" gives "D:"), into `output`. False when it does not fit `capacity`.
bool normalise_folder(const char* folder, char* output, std::size_t capacity);

// Display texts of the two settings, as the questions show them.
const char* backup_scope_text(int scope);  // "ディスク全面" / "パーテーション有効部"
const char* zero_fill_text(int zero_fill);  // "実施する" / "実施しない"

}  // namespace kiroda
