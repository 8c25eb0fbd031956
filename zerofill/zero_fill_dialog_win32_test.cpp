#include "zerofill/zero_fill_dialog_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "ui/dialog_script_win32_test_support.h"
#include "ui/recording_sink_test_support.h"
#include "ui/status_dialog_win32.h"
#include "ui/stored_text.h"
#include "ui/worker_dialog_win32.h"
#include "util/test_support.h"
#include "zerofill/zero_fill_test_support.h"
#include "zerofill/zero_fill_texts.h"

namespace kiroda {
namespace {

using namespace test_support;

constexpr zero_fill_limits kSmall{4096, 10000, 10000};

HINSTANCE self() {
    return GetModuleHandleA(nullptr);
}

template <typename Done>
bool wait_until(Done done) {
    for (int i = 0; i < 1000 && !done(); ++i) Sleep(10);
    return done();
}

// A volume slow enough that a click lands while it is still filling.
class slow_volume : public capped_volume {
  public:
    using capped_volume::capped_volume;
    std::int64_t free_bytes() override {
        Sleep(2);
        return capped_volume::free_bytes();
    }
};

struct ZeroFillDialog : ::testing::Test {
    void TearDown() override { set_worker_prologue_for_tests(nullptr); }
    watchdog dog{120s, "zero fill dialog test"};
};

TEST_F(ZeroFillDialog, OpensWithItsTextsFillsAndClosesByItself) {
    temp_folder folder;
    capped_volume volume(folder.path(), 10000 + 6 * 4096, kFileSystemFat32, "FAT32");
    std::atomic<bool> looked{false};
    // The worker waits until the script has seen the dialog as it opens.
    set_worker_prologue_for_tests([&] { wait_until([&] { return looked.load(); }); });
    std::string title, status, detail, button;
    dialog_script script([&](DWORD ui) {
        if (HWND d = wait_for_dialog(ui, kNullpassCaption)) {
            title = window_text(d);
            status = item_text(d, kStatusLineId);
            detail = item_text(d, kDetailLineId);
            button = item_text(d, kStatusButtonId);
        }
        looked = true;
    });
    EXPECT_EQ(run_zero_fill_dialog_on('F', volume.root(), volume, self(), nullptr, kSmall),
              kZeroFillFinished);
    script.join();
    EXPECT_EQ(title, "KIRODA(NULLPASS) Jun 10 2017");
    EXPECT_EQ(status, "ゼロクリヤ処理中。");
    EXPECT_EQ(detail, "お待ちください。");
    EXPECT_EQ(button, "キャンセル");
    EXPECT_EQ(volume.chunks.size(), 6u);
    EXPECT_EQ(volume.created.size(), 2u);
    EXPECT_TRUE(entries_in(folder.path()).empty());
}

TEST_F(ZeroFillDialog, AStopWhileFillingRemovesEverything) {
    for (const int kind : {kFileSystemNtfs, kFileSystemFat}) {
        temp_folder folder;
        slow_volume volume(folder.path(), 10000 + 100000 * std::int64_t{4096}, kind, "x");
        // The dialog closes as soon as the worker has cleaned up, so the
        // script only clicks; the stop texts are the shared dialog's (tested there).
        dialog_script script([&](DWORD ui) {
            HWND d = wait_for_dialog(ui, kNullpassCaption);
            if (d == nullptr) return;
            wait_until([&] { return item_text(d, kDetailLineId).rfind("残り", 0) == 0; });
            click(d, kStatusButtonId);
        });
        EXPECT_EQ(run_zero_fill_dialog_on('S', volume.root(), volume, self(), nullptr, kSmall),
                  kZeroFillStopped);
        script.join();
        EXPECT_FALSE(volume.created.empty());
        EXPECT_LT(volume.chunks.size(), 100000u);
        EXPECT_TRUE(entries_in(folder.path()).empty()) << kind;
    }
}

TEST_F(ZeroFillDialog, AStopBeforeTheWorkerRunsCreatesNothing) {
    temp_folder folder;
    capped_volume volume(folder.path(), 10000 + 50 * 4096, kFileSystemFat, "FAT");
    std::atomic<bool> stop_handled{false};
    set_worker_prologue_for_tests([&] { wait_until([&] { return stop_handled.load(); }); });
    dialog_script script([&](DWORD ui) {
        if (HWND d = wait_for_dialog(ui, kNullpassCaption)) {
            click(d, IDCANCEL);
            wait_for_item_text(d, kStatusLineId, kStoppingStatus);
        }
        stop_handled = true;
    });
    EXPECT_EQ(run_zero_fill_dialog_on('S', volume.root(), volume, self(), nullptr, kSmall),
              kZeroFillStopped);
    script.join();
    EXPECT_TRUE(volume.created.empty());
    EXPECT_TRUE(entries_in(folder.path()).empty());
}

TEST_F(ZeroFillDialog, AWorkerThatCannotStartFailsWithItsMessage) {
    temp_folder folder;
    capped_volume volume(folder.path(), 10000 + 50 * 4096);
    recording_sink sink;
    fail_next_worker_start_for_tests();
    EXPECT_EQ(run_zero_fill_dialog_on('T', volume.root(), volume, self(), nullptr, kSmall),
              kZeroFillFailed);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].caption, kNullpassCaption);
    EXPECT_EQ(sink.seen[0].text, std::string(get_stored_text(zero_fill_texts::kCannotStart)));
    EXPECT_TRUE(volume.created.empty());
    EXPECT_EQ(volume.free_queries, 0);
}

TEST_F(ZeroFillDialog, MessagesOfTheFillAreOwnedByItsDialog) {
    temp_folder folder;
    capped_volume volume(folder.path(), 10000 + 50 * 4096, kFileSystemOther, "exFAT");
    window_handle owner = nullptr;
    std::string caption;
    auto previous = set_message_sink([&](const message& m) {
        owner = m.owner;
        caption = m.caption;
        return kIdOk;
    });
    EXPECT_EQ(run_zero_fill_dialog_on('X', volume.root(), volume, self(), nullptr, kSmall),
              kZeroFillFailed);
    set_message_sink(previous);
    EXPECT_NE(owner, nullptr);
    EXPECT_EQ(caption, kNullpassCaption);
}

}  // namespace
}  // namespace kiroda
