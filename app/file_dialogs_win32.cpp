#include "app/file_dialogs_win32.h"

#include <commdlg.h>

#include <cstring>

#include "app/file_choice.h"
#include "util/path.h"
#include "util/path_query.h"

namespace kiroda {

const char kBackupFolderDialogTitle[] = "バックアップデータを保存";
const char kHeaderFileDialogTitle[] = "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙを指定(KRD00000.BIN)";

namespace {

// One entry: the display text, then the pattern, each ending in a NUL.
constexpr char kHeaderFilter[] = "KIRODAﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙ\0KRD00000.BIN\0";

// The structure without the fields Windows 2000 added, as every system
// from Windows 95 on takes it.
OPENFILENAMEA file_dialog(HWND owner, char* name, const char* title, DWORD flags) {
    OPENFILENAMEA ofn{};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.lpstrFile = name;
    ofn.nMaxFile = static_cast<DWORD>(kPathCapacity);
    ofn.lpstrTitle = title;
    ofn.Flags = flags;
    return ofn;
}

}  // namespace

int choose_backup_folder(char* folder, HWND owner) {
    char name[kPathCapacity];
    proposed_header_path(folder, name, sizeof name);
    OPENFILENAMEA ofn =
        file_dialog(owner, name, kBackupFolderDialogTitle, OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR);
    if (!GetSaveFileNameA(&ofn)) return 0;
    char chosen[kPathCapacity];
    if (!folder_of_saved_name(name, ofn.nFileOffset, chosen, sizeof chosen)) return 0;
    std::strcpy(folder, chosen);
    return 1;
}

int choose_header_file(char* folder, HWND owner) {
    char name[kPathCapacity] = "";
    if (is_directory(folder)) proposed_header_path(folder, name, sizeof name);
    OPENFILENAMEA ofn = file_dialog(owner, name, kHeaderFileDialogTitle, OFN_FILEMUSTEXIST);
    ofn.lpstrFilter = kHeaderFilter;
    folder[0] = '\0';
    if (!GetOpenFileNameA(&ofn)) return 0;
    char chosen[kPathCapacity];
    if (!directory_of_path(name, chosen, sizeof chosen) || !is_directory(chosen)) return 0;
    std::strcpy(folder, chosen);
    return 1;
}

}  // namespace kiroda
