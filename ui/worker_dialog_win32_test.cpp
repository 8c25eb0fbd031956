#include "ui/worker_dialog_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "ui/dialog_script_win32_test_support.h"
#include "ui/recording_sink_test_support.h"

namespace kiroda {
namespace {

using namespace test_support;

HINSTANCE self() {
    return GetModuleHandleA(nullptr);
}

// Waits (at most ten seconds) until `done` holds.
template <typename Done>
bool wait_until(Done done) {
    for (int i = 0; i < 1000 && !done(); ++i) Sleep(10);
    return done();
}

struct WorkerDialog : ::testing::Test {
    void TearDown() override { set_worker_prologue_for_tests(nullptr); }

    worker_dialog_setup setup(const char* template_name = "KR2", bool hatched = true) {
        worker_dialog_setup s;
        s.look = {template_name, "worker test caption", hatched};
        s.status = "status at open";
        s.detail = "detail at open";
        s.button = "stop";
        s.stack_size = 1 << 20;
        s.run_flag = &flag;
        s.start_failure_text = "the worker could not start";
        return s;
    }

    std::atomic<int> flag{-5};
    watchdog dog{60s, "worker dialog test"};
};

TEST_F(WorkerDialog, TheBodysResultEndsTheDialogAndClearsTheFlag) {
    for (const int result : {1, 0, -1, 7}) {
        int seen_flag = -9;
        const int got = run_worker_dialog(self(), nullptr, setup(), [&](HWND dialog) {
            seen_flag = flag.load();
            set_status_line(dialog, "working");
            return result;
        });
        EXPECT_EQ(got, result);
        EXPECT_EQ(seen_flag, 1);  // set before the worker started
        EXPECT_EQ(flag.load(), 0);
    }
}

TEST_F(WorkerDialog, AnOwnedDialogWhoseWorkerEndsAtOnceNeverHangs) {
    // The worker's EndDialog re-enables the owner, which sends a message to
    // the dialog's thread; that thread may have left the dialog already and
    // be waiting for the worker. Many quick runs make the two meet.
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                 nullptr, self(), nullptr);
    ASSERT_NE(owner, nullptr);
    int completed = 0;
    for (int i = 0; i < 150; ++i) {
        if (run_worker_dialog(self(), owner, setup(), [](HWND) { return 1; }) == 1) ++completed;
    }
    EXPECT_EQ(completed, 150);
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
}

TEST_F(WorkerDialog, OpensWithItsTextsAndStopsOnTheButtonOrEsc) {
    for (const int stop_id : {kStatusButtonId, IDCANCEL}) {
        std::string title, status, detail, button, stopping_status, stopping_detail;
        std::atomic<bool> script_done{false};
        dialog_script script([&](DWORD ui) {
            if (HWND d = wait_for_dialog(ui, "worker test caption")) {
                title = window_text(d);
                status = item_text(d, kStatusLineId);
                detail = item_text(d, kDetailLineId);
                button = item_text(d, kStatusButtonId);
                click(d, stop_id);
                wait_for_item_text(d, kStatusLineId, kStoppingStatus);
                stopping_status = item_text(d, kStatusLineId);
                stopping_detail = item_text(d, kDetailLineId);
            }
            script_done = true;
        });
        const int got = run_worker_dialog(self(), nullptr, setup(), [&](HWND) {
            if (!wait_until([&] { return flag.load() == 0; })) return 5;
            wait_until([&] { return script_done.load(); });
            return 0;
        });
        script.join();
        EXPECT_EQ(got, 0) << stop_id;
        EXPECT_EQ(title, "worker test caption");
        EXPECT_EQ(status, "status at open");
        EXPECT_EQ(detail, "detail at open");
        EXPECT_EQ(button, "stop");
        EXPECT_EQ(stopping_status, "終了処理中。");
        EXPECT_EQ(stopping_detail, "お待ちください。");
    }
}

TEST_F(WorkerDialog, AStopPressedBeforeTheWorkerRunsIsNotLost) {
    // The worker thread is held before it does anything until the stop has
    // been handled by the dialog.
    std::atomic<bool> stop_handled{false};
    set_worker_prologue_for_tests([&] { wait_until([&] { return stop_handled.load(); }); });
    dialog_script script([&](DWORD ui) {
        if (HWND d = wait_for_dialog(ui, "worker test caption")) {
            click(d, kStatusButtonId);
            wait_for_item_text(d, kStatusLineId, kStoppingStatus);
        }
        stop_handled = true;
    });
    const int got =
        run_worker_dialog(self(), nullptr, setup(), [&](HWND) { return flag.load() != 0 ? 1 : 0; });
    script.join();
    EXPECT_EQ(got, 0);
}

TEST_F(WorkerDialog, AWorkerThatCannotStartEndsTheDialogWithMinusOne) {
    for (const bool hatched : {true, false}) {
        recording_sink sink;
        bool body_ran = false;
        fail_next_worker_start_for_tests();
        const int got =
            run_worker_dialog(self(), nullptr, setup(hatched ? "KR2" : "NP1", hatched), [&](HWND) {
                body_ran = true;
                return 1;
            });
        EXPECT_EQ(got, -1);
        EXPECT_FALSE(body_ran);
        EXPECT_EQ(flag.load(), 0);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_EQ(sink.seen[0].caption, "worker test caption");
        EXPECT_EQ(sink.seen[0].text, "the worker could not start");
    }
    // The seam fails one start only.
    EXPECT_EQ(run_worker_dialog(self(), nullptr, setup(), [](HWND) { return 1; }), 1);
}

TEST_F(WorkerDialog, OnlyTheHatchedLookPaintsItsOwnBackground) {
    for (const bool hatched : {true, false}) {
        LOGBRUSH brush{};
        int got_brush = 0;
        std::atomic<bool> asked{false};
        dialog_script script([&](DWORD ui) {
            if (HWND d = wait_for_dialog(ui, "worker test caption")) {
                HDC dc = GetDC(d);
                const LRESULT answer = SendMessageA(d, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc),
                                                    reinterpret_cast<LPARAM>(d));
                ReleaseDC(d, dc);
                // Looked at while the dialog is open: its brush goes with it.
                got_brush = GetObjectA(reinterpret_cast<HBRUSH>(answer), sizeof brush, &brush);
            }
            asked = true;
        });
        run_worker_dialog(self(), nullptr, setup(hatched ? "KR2" : "NP1", hatched), [&](HWND) {
            wait_until([&] { return asked.load(); });
            return 1;
        });
        script.join();
        // KR2 answers with the program's hatched brush; NP1 leaves the
        // system's plain dialog colour.
        ASSERT_NE(got_brush, 0);
        EXPECT_EQ(brush.lbStyle, static_cast<UINT>(hatched ? BS_HATCHED : BS_SOLID)) << hatched;
    }
}

}  // namespace
}  // namespace kiroda
