#include "app/startup_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/command_dialog.h"
#include "app/countdown_win32.h"
#include "ui/dialog_look_win32.h"
#include "ui/dialog_script_win32_test_support.h"
#include "app/power_off_recording_test_support.h"
#include "ui/program.h"
#include "ui/recording_sink_test_support.h"
#include "app/startup.h"
#include "ui/status_dialog_win32.h"
#include "app/wizard_script_win32_test_support.h"
#include "app/disk_dialog_win32.h"
#include "disk/disk_registry.h"
#include "disk/disk_image_test_support.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "app/file_dialogs_win32.h"
#include "format/header_file.h"
#include "util/test_support.h"
#include "res/resource_ids.h"

namespace kiroda {
namespace {

using namespace test_support;

std::string stored(stored_text t) {
    return get_stored_text(t);
}

struct Startup : ::testing::Test {
    void SetUp() override {
        g_shutdown_at_end = 0;
        clear_power_off_calls();
        set_countdown_tick_ms_for_tests(3600000);  // only posted ticks count
        set_disk_poll_ms_for_tests(3600000);       // and only posted polls
        // Disk 0 with a partition and its set; disk 1 blank, for a restore.
        make_disk_image(images.file("source.img"), kSectors, make_mbr_one_partition(63, 100));
        register_disk_path(0, images.file("source.img"));
        make_blank_target(images.file("target.img"), kSectors);
        register_disk_path(1, images.file("target.img"));
        recording_progress p;
        ASSERT_EQ(backup_disk(p, 0, set.text().c_str(), kSectors * 512), kEngineDone);
    }
    void TearDown() override {
        set_countdown_tick_ms_for_tests(0);
        set_disk_poll_ms_for_tests(0);
        clear_disk_paths();
        g_shutdown_at_end = 0;
        clear_power_off_calls();
    }

    static constexpr std::uint64_t kSectors = 500;
    temp_folder images;
    temp_folder set;
    temp_folder broken;
    int run() { return run_program(GetModuleHandleA(nullptr)); }

    watchdog dog{60s, "start-up test"};
};

TEST_F(Startup, ASecondCopyIsToldSoAndOpensNoDialog) {
    // The running copy's mutex.
    HANDLE first = CreateMutexA(nullptr, FALSE, stored(instance_mutex_name()).c_str());
    ASSERT_NE(first, nullptr);
    recording_sink sink;
    std::atomic<bool> finished{false};
    std::atomic<int> dialogs{0};
    dialog_script script([&](DWORD ui) {
        while (!finished) {
            if (HWND d = wait_for_dialog(ui, nullptr, 20ms)) {
                ++dialogs;
                click(d, IDCANCEL);
                wait_until_closed(d);
            }
        }
    });
    EXPECT_EQ(run(), 0);
    finished = true;
    script.join();
    CloseHandle(first);
    EXPECT_EQ(dialogs.load(), 0);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].text, stored(second_copy_message()));
    EXPECT_EQ(sink.seen[0].caption, program_caption());
    EXPECT_EQ(sink.seen[0].type, kMbOk | kMbSetForeground);
}

TEST_F(Startup, TheMutexMarksTheRunningCopyUntilItEnds) {
    recording_sink sink;
    bool held_while_running = false;
    std::string title;
    dialog_script script([&](DWORD ui) {
        HWND d = wait_for_dialog(ui, program_caption());
        if (d == nullptr) return;
        title = window_text(d);
        HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, stored(instance_mutex_name()).c_str());
        held_while_running = m != nullptr;
        if (m != nullptr) CloseHandle(m);
        click(d, kCommandExitButton);
    });
    EXPECT_EQ(run(), 0);
    script.join();
    EXPECT_TRUE(held_while_running);
    EXPECT_EQ(title, program_caption());
    EXPECT_NE(g_program_icon, nullptr);
    HANDLE after = OpenMutexA(SYNCHRONIZE, FALSE, stored(instance_mutex_name()).c_str());
    EXPECT_EQ(after, nullptr);
    if (after != nullptr) CloseHandle(after);
}

TEST_F(Startup, EachCommandResultEndsWithItsMessage) {
    // A data test of a whole set completes; one of a header cut short fails.
    write_file(broken.file(kHeaderFileName), std::vector<unsigned char>(100, 1));
    const std::string good_header = set.file(kHeaderFileName);
    const std::string cut_header = broken.file(kHeaderFileName);
    const struct {
        const char* what;
        std::function<void(HWND)> act;
        closing_action action;
    } cases[] = {
        {"< 終了", [](HWND d) { click(d, kCommandExitButton); },
         closing_action::show_not_completed},
        {"Esc", [](HWND d) { click(d, IDCANCEL); }, closing_action::show_not_completed},
        {"a completed data test",
         [&](HWND d) {
             start_command(d, kCommandVerifyRadio);
             answer_file_dialog(kHeaderFileDialogTitle, good_header.c_str());
         },
         closing_action::show_completed},
        {"a header cut short",
         [&](HWND d) {
             start_command(d, kCommandVerifyRadio);
             answer_file_dialog(kHeaderFileDialogTitle, cut_header.c_str());
         },
         closing_action::show_failed},
    };
    for (const auto& c : cases) {
        recording_sink sink;
        dialog_script script([&](DWORD) {
            if (HWND d = wait_for_command_dialog()) c.act(d);
        });
        EXPECT_EQ(run(), 0);
        script.join();
        ASSERT_FALSE(sink.seen.empty()) << c.what;
        EXPECT_EQ(sink.seen.back().text, stored(closing_message(c.action))) << c.what;
        EXPECT_EQ(sink.seen.back().type, kMbOk);
        EXPECT_EQ(sink.seen.back().caption, program_caption());
        EXPECT_TRUE(power_off_calls().empty());
    }
}

// Restores the set onto the blank disk 1 with the target dialog's shutdown
// box cleared (a confirmed restore sets the flag all the same), then hands
// the countdown dialog to `countdown`.
template <typename Countdown>
void restore_then_count_down(const std::string& header, Countdown countdown) {
    HWND command = wait_for_command_dialog();
    if (command == nullptr) return;
    start_command(command, kCommandRestoreRadio);
    answer_file_dialog(kHeaderFileDialogTitle, header.c_str());
    HWND target = wait_for_disk_dialog();
    if (target == nullptr || !choose_disk(target, 1, false)) return;
    wait_until_closed(command, 60s);
    HWND d = wait_for_process_dialog([](HWND w) {
        return is_progress_dialog(w) && item_text(w, kStatusLineId) == "シャットダウンします";
    });
    if (d != nullptr) countdown(d);
}

TEST_F(Startup, ACompletedRunWithShutdownCountsDownAndPowersOff) {
    recording_sink sink;
    dialog_script script([this](DWORD) {
        restore_then_count_down(set.file(kHeaderFileName), [](HWND d) {
            for (int i = 0; i < 60; ++i) post(d, WM_TIMER, 3);
        });
    });
    EXPECT_EQ(run(), 0);
    script.join();
    EXPECT_EQ(power_off_calls(), std::vector<unsigned>{kPowerOffFlags});
    // The restore's confirmation, and no closing message: the machine goes off.
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].type, kMbOkCancel);
    EXPECT_TRUE(same_file(images.file("source.img"), images.file("target.img")));
}

TEST_F(Startup, ACancelledCountdownLeavesTheMachineOn) {
    recording_sink sink;
    dialog_script script([this](DWORD) {
        restore_then_count_down(set.file(kHeaderFileName), [](HWND d) {
            for (int i = 0; i < 30; ++i) post(d, WM_TIMER, 3);
            click(d, kStatusButtonId);
        });
    });
    EXPECT_EQ(run(), 0);
    script.join();
    EXPECT_TRUE(power_off_calls().empty());
    ASSERT_EQ(sink.seen.size(), 2u);
    EXPECT_EQ(sink.seen[1].text, stored(closing_message(closing_action::show_shutdown_cancelled)));
}

TEST_F(Startup, AFailedRunNeverCountsDownEvenWithTheFlagSet) {
    // The shutdown box is ticked, then the backup is refused: the folder
    // already holds a program copy.
    write_file(broken.file("KIRODA.EXE"), {1});
    const std::string folder_name = broken.file(kHeaderFileName);
    recording_sink sink;
    dialog_script script([&](DWORD) {
        HWND d = wait_for_command_dialog();
        if (d == nullptr) return;
        start_command(d, kCommandBackupRadio);
        HWND source = wait_for_disk_dialog();
        if (source == nullptr || !choose_disk(source, 0, true)) return;
        answer_file_dialog(kBackupFolderDialogTitle, folder_name.c_str());
    });
    EXPECT_EQ(run(), 0);
    script.join();
    EXPECT_EQ(g_shutdown_at_end, 1);
    EXPECT_TRUE(power_off_calls().empty());
    ASSERT_EQ(sink.seen.size(), 3u);  // the confirmation, the refusal, the closing message
    EXPECT_EQ(sink.seen[2].text, stored(closing_message(closing_action::show_failed)));
    EXPECT_FALSE(std::filesystem::exists(broken.file(kHeaderFileName)));
}

}  // namespace
}  // namespace kiroda
