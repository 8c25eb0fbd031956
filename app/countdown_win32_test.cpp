#include "app/countdown_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/dialog_script_win32_test_support.h"
#include "ui/program.h"
#include "ui/status_dialog_win32.h"

namespace kiroda {
namespace {

using namespace test_support;

constexpr UINT_PTR kTimer = 3;

struct ShutdownCountdown : ::testing::Test {
    // Only the ticks a test posts count: the real timer would fire in an hour.
    void SetUp() override { set_countdown_tick_ms_for_tests(3600000); }
    void TearDown() override { set_countdown_tick_ms_for_tests(0); }

    int run() { return run_shutdown_countdown(GetModuleHandleA(nullptr), nullptr); }

    watchdog dog{60s, "countdown test"};
};

void tick(HWND dialog, int times = 1) {
    for (int i = 0; i < times; ++i) post(dialog, WM_TIMER, kTimer);
}

TEST_F(ShutdownCountdown, ShowsItsTextsAndCountsDownTheSecondsLeft) {
    std::string title, headline, start, button, after_one, after_foreign_timer, after_59;
    dialog_script script([&](DWORD ui) {
        HWND d = wait_for_dialog(ui, program_caption());
        if (d == nullptr) return;
        title = window_text(d);
        headline = item_text(d, kStatusLineId);
        start = item_text(d, kDetailLineId);
        button = item_text(d, kStatusButtonId);
        tick(d);
        wait_for_item_text(d, kDetailLineId, "あと 59 秒");
        after_one = item_text(d, kDetailLineId);
        post(d, WM_TIMER, kTimer + 1);  // another timer is not a tick
        tick(d);
        wait_for_item_text(d, kDetailLineId, "あと 58 秒");
        after_foreign_timer = item_text(d, kDetailLineId);
        tick(d, 57);
        wait_for_item_text(d, kDetailLineId, "あと 1 秒");
        after_59 = item_text(d, kDetailLineId);
        // Cancelled with one second left: no shutdown.
        click(d, kStatusButtonId);
    });
    EXPECT_EQ(run(), 0);
    script.join();
    EXPECT_EQ(title, program_caption());
    EXPECT_EQ(headline, "シャットダウンします");
    EXPECT_EQ(start, "あと 60 秒");
    EXPECT_EQ(button, "キャンセル");
    EXPECT_EQ(after_one, "あと 59 秒");
    EXPECT_EQ(after_foreign_timer, "あと 58 秒");
    EXPECT_EQ(after_59, "あと 1 秒");
}

TEST_F(ShutdownCountdown, EscCancelsLikeTheButton) {
    dialog_script script([](DWORD ui) {
        if (HWND d = wait_for_dialog(ui, program_caption())) click(d, IDCANCEL);
    });
    EXPECT_EQ(run(), 0);
}

TEST_F(ShutdownCountdown, SixtyTicksRunItOut) {
    dialog_script script([](DWORD ui) {
        if (HWND d = wait_for_dialog(ui, program_caption())) tick(d, 60);
    });
    EXPECT_EQ(run(), 1);
}

TEST_F(ShutdownCountdown, ACancelQueuedBehindTheLastTickDoesNotUndoIt) {
    dialog_script script([](DWORD ui) {
        if (HWND d = wait_for_dialog(ui, program_caption())) {
            tick(d, 60);
            click(d, kStatusButtonId);
            tick(d, 3);
        }
    });
    EXPECT_EQ(run(), 1);
}

TEST_F(ShutdownCountdown, TheTimerItselfRunsItOut) {
    set_countdown_tick_ms_for_tests(10);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run(), 1);
    // Sixty ticks of ten milliseconds, not sixty seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}

}  // namespace
}  // namespace kiroda
