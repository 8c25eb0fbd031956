#include "app/startup_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "app/countdown_win32.h"
#include "app/dialog_look_win32.h"
#include "app/dialog_script_win32.h"
#include "app/power_off_recording.h"
#include "app/program.h"
#include "app/recording_sink.h"
#include "app/startup.h"
#include "app/status_dialog_win32.h"
#include "res/resource_ids.h"

namespace kiroda {
namespace {

using namespace testing;

std::string stored(stored_text t) { return get_stored_text(t); }

struct Startup : ::testing::Test {
    void SetUp() override {
        g_shutdown_at_end = 0;
        clear_power_off_calls();
        set_countdown_tick_ms_for_tests(3600000);  // only posted ticks count
    }
    void TearDown() override {
        set_countdown_tick_ms_for_tests(0);
        g_shutdown_at_end = 0;
        clear_power_off_calls();
    }
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
    const struct {
        int button;
        closing_action action;
    } cases[] = {
        {kCommandExitButton, closing_action::show_not_completed},
        {IDCANCEL, closing_action::show_not_completed},
        {kPlaceholderCompletedButton, closing_action::show_completed},
        {kPlaceholderFailedButton, closing_action::show_failed},
    };
    for (const auto& c : cases) {
        recording_sink sink;
        dialog_script script([&](DWORD ui) {
            if (HWND d = wait_for_dialog(ui, program_caption())) click(d, c.button);
        });
        EXPECT_EQ(run(), 0);
        script.join();
        ASSERT_EQ(sink.seen.size(), 1u) << c.button;
        EXPECT_EQ(sink.seen[0].text, stored(closing_message(c.action))) << c.button;
        EXPECT_EQ(sink.seen[0].type, kMbOk);
        EXPECT_EQ(sink.seen[0].caption, program_caption());
        EXPECT_TRUE(power_off_calls().empty());
    }
}

// Completes the placeholder command dialog with the shutdown box ticked,
// then hands the countdown dialog to `countdown`.
template <typename Countdown>
void complete_with_shutdown(DWORD ui, Countdown countdown) {
    HWND command = wait_for_dialog(ui, program_caption());
    if (command == nullptr) return;
    SendMessageA(GetDlgItem(command, kPlaceholderShutdownCheck), BM_SETCHECK, BST_CHECKED, 0);
    click(command, kPlaceholderShutdownCheck);
    click(command, kPlaceholderCompletedButton);
    wait_until_closed(command);
    HWND d = wait_for_dialog(ui, program_caption());
    if (d != nullptr && wait_for_item_text(d, kStatusLineId, "シャットダウンします")) countdown(d);
}

TEST_F(Startup, ACompletedRunWithShutdownCountsDownAndPowersOff) {
    recording_sink sink;
    dialog_script script([](DWORD ui) {
        complete_with_shutdown(ui, [](HWND d) {
            for (int i = 0; i < 60; ++i) post(d, WM_TIMER, 3);
        });
    });
    EXPECT_EQ(run(), 0);
    script.join();
    EXPECT_EQ(power_off_calls(), std::vector<unsigned>{kPowerOffFlags});
    EXPECT_TRUE(sink.seen.empty());  // no message: the machine goes off
}

TEST_F(Startup, ACancelledCountdownLeavesTheMachineOn) {
    recording_sink sink;
    dialog_script script([](DWORD ui) {
        complete_with_shutdown(ui, [](HWND d) {
            for (int i = 0; i < 30; ++i) post(d, WM_TIMER, 3);
            click(d, kStatusButtonId);
        });
    });
    EXPECT_EQ(run(), 0);
    script.join();
    EXPECT_TRUE(power_off_calls().empty());
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].text, stored(closing_message(closing_action::show_shutdown_cancelled)));
}

TEST_F(Startup, AFailedRunNeverCountsDownEvenWithTheFlagSet) {
    recording_sink sink;
    dialog_script script([](DWORD ui) {
        HWND d = wait_for_dialog(ui, program_caption());
        if (d == nullptr) return;
        SendMessageA(GetDlgItem(d, kPlaceholderShutdownCheck), BM_SETCHECK, BST_CHECKED, 0);
        click(d, kPlaceholderShutdownCheck);
        click(d, kPlaceholderFailedButton);
    });
    EXPECT_EQ(run(), 0);
    script.join();
    EXPECT_EQ(g_shutdown_at_end, 1);
    EXPECT_TRUE(power_off_calls().empty());
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].text, stored(closing_message(closing_action::show_failed)));
}

}  // namespace
}  // namespace kiroda
