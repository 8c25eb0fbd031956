#include "app/file_dialogs_win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ui/dialog_script_win32_test_support.h"
#include "util/path.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using namespace test_support;

constexpr int kFileNameBox = 1148;  // the name box of the system's file dialogs

// Types `path` into the file dialog titled `title` and accepts it, or
// cancels the dialog when `path` is null. Returns what the box proposed.
std::string answer_file_dialog(DWORD ui, const char* title, const char* path) {
    HWND d = wait_for_dialog(ui, title);
    if (d == nullptr) return "(no dialog)";
    const std::string proposed = item_text(d, kFileNameBox);
    if (path != nullptr) {
        SetDlgItemTextA(d, kFileNameBox, path);
        post(d, WM_COMMAND, IDOK);
    } else {
        post(d, WM_COMMAND, IDCANCEL);
    }
    return proposed;
}

class FileDialogs : public ::testing::Test {
  protected:
    watchdog dog{60s, "file dialog test"};
    temp_folder dir;
};

TEST_F(FileDialogs, TheBackupFolderIsTheFolderOfTheAcceptedName) {
    char folder[kPathCapacity] = "";
    std::string proposed;
    const std::string name = dir.file("KRD00000.BIN");
    {
        dialog_script script([&](DWORD ui) {
            proposed = answer_file_dialog(ui, kBackupFolderDialogTitle, name.c_str());
        });
        EXPECT_EQ(choose_backup_folder(folder, nullptr), 1);
    }
    EXPECT_EQ(proposed, "KRD00000.BIN");
    EXPECT_EQ(std::string(folder), dir.text());
    // Nothing is created by the dialog.
    EXPECT_EQ(GetFileAttributesA(name.c_str()), INVALID_FILE_ATTRIBUTES);

    // Cancelled: the folder is kept.
    {
        dialog_script script(
            [&](DWORD ui) { answer_file_dialog(ui, kBackupFolderDialogTitle, nullptr); });
        EXPECT_EQ(choose_backup_folder(folder, nullptr), 0);
    }
    EXPECT_EQ(std::string(folder), dir.text());
}

TEST_F(FileDialogs, AFolderNameWhoseTrailByteIsABackslashIsKeptWhole) {
    // "ソフト": the trail byte of "ソ" is the byte of "\".
    const std::string sjis = dir.text() + "\\\x83\x5C\x83\x74\x83\x67";
    ASSERT_TRUE(CreateDirectoryA(sjis.c_str(), nullptr));
    char folder[kPathCapacity] = "";
    const std::string name = sjis + "\\KRD00000.BIN";
    dialog_script script(
        [&](DWORD ui) { answer_file_dialog(ui, kBackupFolderDialogTitle, name.c_str()); });
    EXPECT_EQ(choose_backup_folder(folder, nullptr), 1);
    script.join();
    EXPECT_EQ(std::string(folder), sjis);
    RemoveDirectoryA(sjis.c_str());
}

TEST_F(FileDialogs, TheHeaderFileGivesItsFolder) {
    write_file(dir.file("KRD00000.BIN"), std::vector<unsigned char>(8192, 1));
    char folder[kPathCapacity] = "";
    std::strcpy(folder, dir.text().c_str());
    std::string proposed;
    {
        dialog_script script([&](DWORD ui) {
            proposed =
                answer_file_dialog(ui, kHeaderFileDialogTitle, dir.file("KRD00000.BIN").c_str());
        });
        EXPECT_EQ(choose_header_file(folder, nullptr), 1);
    }
    EXPECT_EQ(proposed, "KRD00000.BIN");
    EXPECT_EQ(std::string(folder), dir.text());

    // Cancelled: the folder is emptied.
    {
        dialog_script script(
            [&](DWORD ui) { answer_file_dialog(ui, kHeaderFileDialogTitle, nullptr); });
        EXPECT_EQ(choose_header_file(folder, nullptr), 0);
    }
    EXPECT_STREQ(folder, "");
}

}  // namespace
}  // namespace kiroda
