// Shows each page of the wizard for tools/screenshots: once a dialog shows
// its texts, prints "ready NAME" and waits for a line on standard input (the
// picture has been taken), then closes the dialog and goes on. Never powers
// anything off: it links the recording power_off of the test programs.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "app/countdown_win32.h"
#include "ui/dialog_look_win32.h"
#include "ui/dialog_script_win32.h"
#include "ui/program.h"
#include "app/command_dialog.h"
#include "ui/status_dialog_win32.h"
#include "app/wizard_script_win32.h"
#include "app/disk_dialog_win32.h"
#include "disk/disk_registry.h"
#include "disk/disk_test_image.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "app/file_dialogs_win32.h"
#include "util/free_space.h"
#include "res/resource_ids.h"
#include "util/test_support.h"
#include "zerofill/zero_fill_dialog_win32.h"
#include "zerofill/zero_fill_test_support.h"

namespace {

using namespace kiroda;
using namespace kiroda::testing;

// Tells the shooter a dialog is on screen and waits until it has its picture.
void shoot(const char* name) {
    Sleep(300);  // let the last paint reach the screen
    std::printf("ready %s\n", name);
    std::fflush(stdout);
    char line[64];
    if (std::fgets(line, sizeof line, stdin) == nullptr)
        std::fprintf(stderr, "screens: no answer\n");
}

// A volume that fills slowly, so the NULLPASS dialog shows its progress.
class slow_volume : public capped_volume {
  public:
    using capped_volume::capped_volume;
    std::int64_t free_bytes() override {
        Sleep(20);
        return capped_volume::free_bytes();
    }
};

}  // namespace

int main() {
    watchdog dog(300s, "screens");
    const HINSTANCE self = GetModuleHandleA(nullptr);
    g_program_icon = LoadIconA(self, "TOVAICO");
    set_countdown_tick_ms_for_tests(3600000);

    {
        // The wizard's pages over image disks: disk 0 a 2 GB disk with one
        // partition, disk 1 blank, disk 2 GPT.
        temp_folder images, set;
        make_disk_image(images.file("source.img"), 4000000, make_mbr_one_partition(2048, 3997952));
        register_disk_path(0, images.file("source.img"));
        make_blank_target(images.file("blank.img"), 4000000);
        register_disk_path(1, images.file("blank.img"));
        make_disk_image(images.file("gpt.img"), 4000000,
                        make_mbr({mbr_slot{0xEE, 1, 3999999}, {}, {}, {}}));
        register_disk_path(2, images.file("gpt.img"));
        set_disk_poll_ms_for_tests(3600000);
        // The backup's worker asks for the free space before its first data
        // file: it waits there while its progress dialog is pictured.
        const DWORD ui_thread = GetCurrentThreadId();
        HANDLE pictured = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        set_free_space_for_tests([ui_thread, pictured](const char*) {
            if (GetCurrentThreadId() != ui_thread &&
                WaitForSingleObject(pictured, 0) != WAIT_OBJECT_0) {
                shoot("backup-progress-KR2");
                SetEvent(pictured);
            }
            return 5e11;
        });
        const std::string folder_name = set.file("KRD00000.BIN");
        {
            dialog_script script([&](DWORD) {
                HWND command = wait_for_command_dialog();
                if (command == nullptr) return;
                shoot("command-KRBCR");
                start_command(command, kCommandBackupRadio);
                HWND d = wait_for_disk_dialog();
                if (d == nullptr) return;
                SetDlgItemTextA(d, kDiskNumberBox, "2");
                post(d, WM_TIMER, kDiskPollTimer);
                wait_for_item_text(d, kDiskMarkField, "×");
                shoot("source-disk-refused-KRMOTO");
                SetDlgItemTextA(d, kDiskNumberBox, "0");
                post(d, WM_TIMER, kDiskPollTimer);
                wait_for_item_text(d, kDiskMarkField, "○");
                shoot("source-disk-KRMOTO");
                if (!choose_disk(d, 0, false)) return;
                answer_file_dialog(kBackupFolderDialogTitle, folder_name.c_str());
                wait_for_message_box();
                shoot("confirm-backup");
                answer_message_box(IDOK);
                answer_message_box(IDOK);
                // Stopped once pictured: the rest of the disk is not needed.
                HWND progress = wait_for_progress_dialog();
                if (progress != nullptr && WaitForSingleObject(pictured, 60000) == WAIT_OBJECT_0) {
                    click(progress, kStatusButtonId);
                }
            });
            run_command_dialog(self, nullptr);
        }
        set_free_space_for_tests({});
        CloseHandle(pictured);
        {
            // A set to restore: the blank disk 1 backed up (the stopped set is partial).
            temp_folder small;
            make_blank_target(images.file("small.img"), 2048);
            register_disk_path(3, images.file("small.img"));
            recording_progress p;
            backup_disk(p, 3, small.text().c_str(), 2048 * 512);
            const std::string header = small.file("KRD00000.BIN");
            dialog_script script([&](DWORD) {
                HWND command = wait_for_command_dialog();
                if (command == nullptr) return;
                start_command(command, kCommandRestoreRadio);
                answer_file_dialog(kHeaderFileDialogTitle, header.c_str());
                HWND d = wait_for_disk_dialog();
                if (d == nullptr) return;
                SetDlgItemTextA(d, kDiskNumberBox, "1");
                post(d, WM_TIMER, kDiskPollTimer);
                wait_for_item_text(d, kDiskMarkField, "○");
                shoot("target-disk-KRRESTDISK");
                if (!choose_disk(d, 1, false)) return;
                wait_for_message_box();
                shoot("confirm-restore");
                answer_message_box(IDCANCEL);
            });
            run_command_dialog(self, nullptr);
        }
        set_disk_poll_ms_for_tests(0);
        clear_disk_paths();
    }
    {
        dialog_script script([](DWORD ui) {
            HWND d = wait_for_dialog(ui, program_caption());
            if (d == nullptr) return;
            for (int i = 0; i < 17; ++i) post(d, WM_TIMER, 3);
            wait_for_item_text(d, kDetailLineId, "あと 43 秒");
            shoot("countdown-KR2");
            click(d, kStatusButtonId);
        });
        run_shutdown_countdown(self, nullptr);
    }
    {
        temp_folder folder;
        slow_volume volume(folder.path(), std::int64_t{10485760} + 3000 * std::int64_t{4194304},
                           kFileSystemNtfs, "NTFS");
        dialog_script script([](DWORD ui) {
            HWND d = wait_for_dialog(ui, kNullpassCaption);
            if (d == nullptr) return;
            for (int i = 0; i < 500 && item_text(d, kDetailLineId).rfind("残り", 0) != 0; ++i)
                Sleep(10);
            shoot("zero-fill-NP1");
            click(d, kStatusButtonId);
        });
        const zero_fill_limits limits{4096, 10485760, 2000000000};
        run_zero_fill_dialog_on('E', volume.root(), volume, self, nullptr, limits);
    }
    std::printf("end\n");
    std::fflush(stdout);
    return 0;
}
