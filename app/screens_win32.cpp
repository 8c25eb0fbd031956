// Shows each dialog of the shell for tools/screenshots: once a dialog shows
// its texts, prints "ready NAME" and waits for a line on standard input (the
// picture has been taken), then closes the dialog and goes on. Never powers
// anything off: it links the recording power_off of the test programs.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "app/countdown_win32.h"
#include "app/dialog_look_win32.h"
#include "app/dialog_script_win32.h"
#include "app/program.h"
#include "app/command_dialog.h"
#include "app/status_dialog_win32.h"
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
    if (std::fgets(line, sizeof line, stdin) == nullptr) std::fprintf(stderr, "screens: no answer\n");
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
        dialog_script script([](DWORD ui) {
            HWND d = wait_for_dialog(ui, program_caption());
            if (d == nullptr) return;
            shoot("command-KRBCR");
            click(d, kCommandExitButton);
        });
        run_command_dialog(self, nullptr);
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
            for (int i = 0; i < 500 && item_text(d, kDetailLineId).rfind("残り", 0) != 0; ++i) Sleep(10);
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
