#include "engine/engine_dialogs_win32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ui/dialog_script_win32_test_support.h"
#include "ui/program.h"
#include "ui/recording_sink_test_support.h"
#include "ui/status_dialog_win32.h"
#include "ui/worker_dialog_win32.h"
#include "disk/disk_registry.h"
#include "engine/engine_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using namespace std::chrono_literals;
using test_support::click;
using test_support::dialog_script;
using test_support::item_text;
using test_support::make_blank_target;
using test_support::make_disk_image;
using test_support::recording_sink;
using test_support::same_file;
using test_support::temp_folder;
using test_support::wait_for_dialog;
using test_support::wait_for_item_text;
using test_support::watchdog;

constexpr std::uint64_t kSectors = 3 * 32768 + 5;

class EngineDialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        make_disk_image(images.file("source.img"), kSectors);
        register_disk_path(0, images.file("source.img"));
        make_blank_target(images.file("target.img"), kSectors);
        register_disk_path(1, images.file("target.img"));
    }
    void TearDown() override {
        clear_disk_paths();
        set_worker_prologue_for_tests({});
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    temp_folder images;
    temp_folder set;
    watchdog guard{120s, "engine dialog test"};
};

TEST_F(EngineDialogs, BackupDataTestAndRestoreUnderTheirDialogs) {
    recording_sink sink;
    std::string final_status;
    {
        dialog_script script([&](DWORD ui) {
            HWND d = wait_for_dialog(ui, program_caption());
            ASSERT_NE(d, nullptr);
            EXPECT_TRUE(wait_for_item_text(d, kStatusButtonId, "キャンセル"));
        });
        EXPECT_EQ(
            run_backup_progress_dialog(instance, nullptr, 0, set.text().c_str(), kSectors * 512),
            1);
    }
    EXPECT_EQ(run_verify_dialog(instance, nullptr, set.text().c_str(), kSectors * 512), 1);
    EXPECT_EQ(run_restore_dialog(instance, nullptr, 1, set.text().c_str(), kSectors * 512), 1);
    EXPECT_TRUE(sink.seen.empty());
    EXPECT_TRUE(same_file(images.file("source.img"), images.file("target.img")));
}

TEST_F(EngineDialogs, AStopPressedBeforeTheWorkerRunsIsKept) {
    // The worker waits until the stop has been pressed and shown.
    HANDLE stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    set_worker_prologue_for_tests([stopped] { WaitForSingleObject(stopped, 10000); });
    recording_sink sink;
    dialog_script script([&](DWORD ui) {
        HWND d = wait_for_dialog(ui, program_caption());
        ASSERT_NE(d, nullptr);
        click(d, kStatusButtonId);
        EXPECT_TRUE(wait_for_item_text(d, kStatusLineId, kStoppingStatus));
        EXPECT_EQ(item_text(d, kDetailLineId), kStoppingDetail);
        EXPECT_EQ(item_text(d, kStatusButtonId), "キャンセル");
        SetEvent(stopped);
    });
    EXPECT_EQ(run_backup_progress_dialog(instance, nullptr, 0, set.text().c_str(), kSectors * 512),
              -1);
    script.join();
    CloseHandle(stopped);
    EXPECT_FALSE(std::filesystem::exists(set.file("KRD00001.BIN")));
    EXPECT_TRUE(sink.seen.empty());
}

TEST_F(EngineDialogs, AWorkerThatCannotStartEndsTheDialogWithAMessage) {
    recording_sink sink;
    fail_next_worker_start_for_tests();
    EXPECT_EQ(run_restore_dialog(instance, nullptr, 1, set.text().c_str(), 512), -1);
    EXPECT_EQ(sink.seen.size(), 1u);
}

}  // namespace
}  // namespace kiroda
