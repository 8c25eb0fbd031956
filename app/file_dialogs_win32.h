// The two file dialogs of the wizard: the backup folder (a save dialog in
// which the user accepts the proposed KRD00000.BIN in the folder of the new
// set) and the header file of an existing set (an open dialog that lists
// KRD00000.BIN only). Windows only.
#pragma once

#include <windows.h>

namespace kiroda {

// `folder` holds kPathCapacity bytes. 1: the folder of the accepted name,
// without a trailing backslash ("D:\BK", "D:" for a root); nothing is
// created. 0: cancelled, `folder` unchanged.
int choose_backup_folder(char* folder, HWND owner);

// `folder` holds kPathCapacity bytes; a folder already in it is proposed.
// 1: the existing folder of the chosen header file, without a trailing
// backslash. 0: cancelled or no such folder, `folder` emptied.
int choose_header_file(char* folder, HWND owner);

// Titles of the two dialogs, in the program's text encoding.
extern const char kBackupFolderDialogTitle[];  // "バックアップデータを保存"
extern const char kHeaderFileDialogTitle[];  // "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙを指定(KRD00000.BIN)"

}  // namespace kiroda
