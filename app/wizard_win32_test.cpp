// The whole wizard, driven as a user would: KIRODA's start-up runs the
// command dialog, and a script thread answers every page, file dialog and
// message box with posted messages. The disks are image files; the machine
// is never switched off (the power-off is recorded).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/countdown_win32.h"
#include "app/power_off_recording_test_support.h"
#include "ui/program.h"
#include "app/startup.h"
#include "app/startup_win32.h"
#include "ui/status_dialog_win32.h"
#include "app/wizard_script_win32_test_support.h"
#include "ui/worker_dialog_win32.h"
#include "app/disk_dialog_win32.h"
#include "disk/faulty_disk_test_support.h"
#include "disk/disk_image_test_support.h"
#include "disk/physical_disk.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "app/file_dialogs_win32.h"
#include "engine/golden_set_test_support.h"
#include "format/header_file.h"
#include "res/resource_ids.h"
#include "util/number_format.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

namespace fs = std::filesystem;
using namespace test_support;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string closing(closing_action action) {
    return get_stored_text(closing_message(action));
}

std::string this_program() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

// What a disk dialog showed for the disk in its box.
struct disk_page {
    std::string number, size, partition1, mark, verdict;
    bool next_enabled = false;
};

disk_page read_disk_page(HWND d) {
    return {item_text(d, kDiskNumberBox),
            item_text(d, kDiskSizeField),
            item_text(d, kDiskPartitionField1),
            item_text(d, kDiskMarkField),
            item_text(d, kDiskVerdictField),
            IsWindowEnabled(GetDlgItem(d, kDiskNextButton)) != FALSE};
}

class Wizard : public ::testing::Test {
  protected:
    void SetUp() override {
        g_shutdown_at_end = 0;
        clear_power_off_calls();
        set_countdown_tick_ms_for_tests(3600000);  // only posted ticks count
        set_disk_poll_ms_for_tests(3600000);       // and only posted polls
    }
    void TearDown() override {
        set_countdown_tick_ms_for_tests(0);
        set_disk_poll_ms_for_tests(0);
        set_worker_prologue_for_tests({});
        clear_disk_paths();
        g_shutdown_at_end = 0;
        clear_power_off_calls();
    }

    // One run of KIRODA.EXE's start-up with `script` answering its pages.
    void run(const std::function<void()>& script) {
        dialog_script s([&script](DWORD) { script(); });
        EXPECT_EQ(run_program(GetModuleHandleA(nullptr)), 0);  // always 0
    }

    std::string header_in(const temp_folder& folder) const { return folder.file(kHeaderFileName); }

    // Script steps: a backup of disk 0 into `folder_name`, both questions
    // before it answered OK. False when a page did not come.
    static bool begin_backup_of_disk0(const std::string& folder_name) {
        start_command(wait_for_command_dialog(), kCommandBackupRadio);
        HWND d = wait_for_disk_dialog();
        if (d == nullptr || !choose_disk(d, 0, false)) return false;
        answer_file_dialog(kBackupFolderDialogTitle, folder_name.c_str());
        answer_message_box(IDOK);
        answer_message_box(IDOK);
        return true;
    }

    // Registers the golden image as disk `number`.
    void golden_disk(int number) {
        write_golden_source_image(images.file("source.img"));
        register_disk_path(number, images.file("source.img"));
    }
    void blank_disk(int number, std::uint64_t sectors = kGoldenSectors) {
        const std::string path = images.file("target" + std::to_string(number) + ".img");
        make_blank_target(path, sectors);
        register_disk_path(number, path);
    }

    temp_folder images;
    temp_folder set;
    watchdog dog{180s, "wizard test"};
};

TEST_F(Wizard, ABackupADataTestAndARestoreOfAWholeDisk) {
    golden_disk(0);
    blank_disk(1);
    const std::string folder_name = header_in(set);

    // Backup: disk 0 into the set folder.
    disk_page source_page;
    std::string confirm, last_question, done;
    run([&] {
        start_command(wait_for_command_dialog(), kCommandBackupRadio);
        HWND d = wait_for_disk_dialog();
        if (d == nullptr) return;
        source_page = read_disk_page(d);
        if (!choose_disk(d, 0, false)) return;
        answer_file_dialog(kBackupFolderDialogTitle, folder_name.c_str());
        confirm = answer_message_box(IDOK);
        last_question = answer_message_box(IDOK);
        done = answer_message_box(IDOK, 60s);
    });
    EXPECT_EQ(source_page.number, "0");
    EXPECT_EQ(source_page.mark, "○");
    EXPECT_EQ(source_page.size, "1");
    EXPECT_TRUE(source_page.next_enabled);
    EXPECT_TRUE(contains(confirm, "ディスク全面")) << confirm;
    EXPECT_TRUE(contains(confirm, "実施しない")) << confirm;
    EXPECT_TRUE(contains(last_question, "1,048,576")) << last_question;
    EXPECT_TRUE(contains(last_question, set.file("KIRODA.EXE"))) << last_question;
    EXPECT_EQ(done, closing(closing_action::show_completed));
    // The data file is the one the native build writes for this disk.
    EXPECT_EQ(fnv1a64(read_file(set.file("KRD00001.BIN"))), kGoldenDataFileDigest);
    EXPECT_TRUE(same_file(set.file("KIRODA.EXE"), this_program()));

    // Data test of the new set.
    std::string verify_question;
    run([&] {
        start_command(wait_for_command_dialog(), kCommandVerifyRadio);
        answer_file_dialog(kHeaderFileDialogTitle, folder_name.c_str());
        verify_question = answer_message_box(IDOK);
        done = answer_message_box(IDOK, 60s);
    });
    EXPECT_TRUE(contains(verify_question, "V1.14")) << verify_question;
    EXPECT_TRUE(contains(verify_question, set.text())) << verify_question;
    EXPECT_EQ(done, closing(closing_action::show_completed));

    // Restore onto the blank disk 1; a completed restore counts down.
    disk_page target_first, target_chosen;
    std::string restore_question;
    bool counted_down = false;
    run([&] {
        HWND command = wait_for_command_dialog();
        start_command(command, kCommandRestoreRadio);
        answer_file_dialog(kHeaderFileDialogTitle, folder_name.c_str());
        HWND d = wait_for_disk_dialog();
        if (d == nullptr) return;
        target_first = read_disk_page(d);  // disk 0 holds a partition
        SetDlgItemTextA(d, kDiskNumberBox, "1");
        post(d, WM_TIMER, kDiskPollTimer);
        wait_for_item_text(d, kDiskMarkField, "○");
        target_chosen = read_disk_page(d);
        if (!choose_disk(d, 1, false)) return;
        restore_question = answer_message_box(IDOK);
        HWND countdown = wait_for_countdown();
        if (countdown == nullptr) return;
        counted_down = true;
        for (int i = 0; i < 60; ++i) post(countdown, WM_TIMER, 3);
    });
    EXPECT_EQ(target_first.mark, "×");
    EXPECT_FALSE(target_first.next_enabled);
    EXPECT_EQ(target_chosen.mark, "○");
    EXPECT_TRUE(contains(restore_question, "ディスク 1")) << restore_question;
    EXPECT_TRUE(counted_down);
    EXPECT_EQ(power_off_calls(), std::vector<unsigned>{kPowerOffFlags});
    EXPECT_TRUE(same_file(images.file("source.img"), images.file("target1.img")));
}

TEST_F(Wizard, TheCommittedGoldenSetRestoresByteForByte) {
    for (const char* name : {"KRD00000.BIN", "KRD00001.BIN"}) {
        fs::copy_file(fs::path(golden_set_folder()) / name, set.path() / name);
    }
    blank_disk(0);
    const std::string header = header_in(set);
    std::string cancelled;
    run([&] {
        start_command(wait_for_command_dialog(), kCommandRestoreRadio);
        answer_file_dialog(kHeaderFileDialogTitle, header.c_str());
        HWND d = wait_for_disk_dialog();
        if (d == nullptr || !choose_disk(d, 0, false)) return;
        answer_message_box(IDOK);
        HWND countdown = wait_for_countdown();
        if (countdown == nullptr) return;
        click(countdown, kStatusButtonId);
        cancelled = answer_message_box(IDOK);
    });
    EXPECT_EQ(cancelled, closing(closing_action::show_shutdown_cancelled));
    EXPECT_TRUE(power_off_calls().empty());
    write_golden_source_image(images.file("golden.img"));
    EXPECT_TRUE(same_file(images.file("golden.img"), images.file("target0.img")));
}

TEST_F(Wizard, AGptSourceIsShownRefusedAndCannotBeChosen) {
    write_file(images.file("gpt.img"), std::vector<unsigned char>(2048 * 512, 0));
    {
        std::vector<unsigned char> disk = read_file(images.file("gpt.img"));
        const auto mbr = make_mbr({mbr_slot{0xEE, 1, 2047}, {}, {}, {}});
        std::copy(mbr.begin(), mbr.end(), disk.begin());
        write_file(images.file("gpt.img"), disk);
    }
    register_disk_path(0, images.file("gpt.img"));
    disk_page page;
    bool stayed = false;
    std::string done;
    run([&] {
        start_command(wait_for_command_dialog(), kCommandBackupRadio);
        HWND d = wait_for_disk_dialog();
        if (d == nullptr) return;
        page = read_disk_page(d);
        click(d, kDiskNextButton);  // reaches the dialog, which ignores it
        Sleep(200);
        stayed = IsWindow(d) && wait_for_message_box(0ms) == nullptr;
        click(d, kDiskCancelButton);
        done = answer_message_box(IDOK);
    });
    EXPECT_EQ(page.mark, "×");
    EXPECT_FALSE(page.next_enabled);
    EXPECT_EQ(page.partition1, kHiddenPartitionSize);
    EXPECT_TRUE(contains(page.verdict, "ＧＰＴ")) << page.verdict;
    EXPECT_TRUE(stayed);
    EXPECT_EQ(done, closing(closing_action::show_not_completed));
}

TEST_F(Wizard, RefusedTargets) {
    golden_disk(0);
    temp_folder made;
    {
        // A set of disk 0 to restore.
        recording_progress p;
        ASSERT_EQ(backup_disk(p, 0, made.text().c_str(), kGoldenSectors * 512), kEngineDone);
    }
    const std::string header = header_in(made);

    // Disk 0 holds a partition: shown refused, the run is cancelled.
    disk_page partitioned;
    std::string done;
    run([&] {
        start_command(wait_for_command_dialog(), kCommandRestoreRadio);
        answer_file_dialog(kHeaderFileDialogTitle, header.c_str());
        HWND d = wait_for_disk_dialog();
        if (d == nullptr) return;
        partitioned = read_disk_page(d);
        click(d, kDiskCancelButton);
        done = answer_message_box(IDOK);
    });
    EXPECT_EQ(partitioned.mark, "×");
    EXPECT_FALSE(partitioned.next_enabled);
    EXPECT_TRUE(contains(partitioned.verdict, "パーテーションが利用されています"))
        << partitioned.verdict;
    EXPECT_EQ(done, closing(closing_action::show_not_completed));

    // Empty disks the rules accept, refused by the checks before a restore:
    // one sector too small, and 4,096-byte sectors without a partition table.
    const struct {
        const char* what;
        std::uint64_t sectors;
        int bytes_per_sector;
        std::string message;
    } cases[] = {
        {"too small", kGoldenSectors - 1, 0, ""},
        {"4096-byte sectors", kGoldenSectors, 4096,
         "復旧ディスクのセクタサイズが異常です。\n本プログラムは、５１２Ｂのみに対応です。\n　(4096)"},
    };
    for (const auto& c : cases) {
        blank_disk(1, c.sectors);
        disk_faults f;
        f.bytes_per_sector = c.bytes_per_sector;
        set_disk_faults(1, f);
        const auto before = read_file(images.file("target1.img"));
        std::string refusal;
        run([&] {
            start_command(wait_for_command_dialog(), kCommandRestoreRadio);
            answer_file_dialog(kHeaderFileDialogTitle, header.c_str());
            HWND d = wait_for_disk_dialog();
            if (d == nullptr || !choose_disk(d, 1, true)) return;
            refusal = answer_message_box(IDOK);
            done = answer_message_box(IDOK);
        });
        if (c.message.empty()) {
            char have[kGroupedTextSize];
            format_int64_grouped(have, static_cast<std::int64_t>(c.sectors * 512));
            EXPECT_TRUE(contains(refusal, have)) << c.what << ": " << refusal;
        } else {
            EXPECT_EQ(refusal, c.message) << c.what;
        }
        EXPECT_EQ(done, closing(closing_action::show_failed)) << c.what;
        EXPECT_EQ(read_file(images.file("target1.img")), before) << c.what;
        EXPECT_TRUE(power_off_calls().empty()) << c.what;
    }
}

TEST_F(Wizard, AFolderOnTheSourceDiskIsRefusedAndAskedForAgain) {
    golden_disk(0);
    // The temporary folder's volume spans disk 3 and the source disk 0.
    register_drive_extents(set.text()[0], {3, 0});
    const std::string folder_name = header_in(set);
    std::string refusal, done;
    bool asked_again = false;
    run([&] {
        start_command(wait_for_command_dialog(), kCommandBackupRadio);
        HWND d = wait_for_disk_dialog();
        if (d == nullptr || !choose_disk(d, 0, false)) return;
        answer_file_dialog(kBackupFolderDialogTitle, folder_name.c_str());
        refusal = answer_message_box(IDOK);
        asked_again = answer_file_dialog(kBackupFolderDialogTitle, nullptr);
        done = answer_message_box(IDOK);
    });
    EXPECT_TRUE(contains(refusal, set.text())) << refusal;
    EXPECT_TRUE(asked_again);
    EXPECT_EQ(done, closing(closing_action::show_not_completed));
    EXPECT_TRUE(fs::is_empty(set.path()));
}

// A source with an unreadable sector: the wizard asks, naming the sector.
// Cancel ends the backup with the read error; OK goes on, stores zeros, and
// the closing message names the count and the map.
TEST_F(Wizard, AnUnreadableSectorIsAQuestionBothWays) {
    golden_disk(0);
    for (const bool go_on : {false, true}) {
        disk_faults faults;
        faults.bad_sectors = {700};
        set_disk_faults(0, faults);
        temp_folder folder;
        const std::string folder_name = header_in(folder);
        std::string question, after, done;
        run([&] {
            if (!begin_backup_of_disk0(folder_name)) return;
            question = answer_message_box(go_on ? IDOK : IDCANCEL, 60s);
            after = answer_message_box(IDOK, 60s);
            done = answer_message_box(IDOK, 60s);
        });
        EXPECT_TRUE(contains(question, "セクタ 0 から")) << question;
        if (go_on) {
            EXPECT_TRUE(contains(after, "1 個は 0 で埋めてあります")) << after;
            EXPECT_TRUE(contains(after, "KRDMAP.TXT")) << after;
            EXPECT_EQ(done, closing(closing_action::show_completed));
            EXPECT_TRUE(fs::exists(folder.file("KRDMAP.TXT")));
        } else {
            EXPECT_TRUE(contains(after, "DiskRead")) << after;
            EXPECT_EQ(done, closing(closing_action::show_failed));
            EXPECT_FALSE(fs::exists(folder.file("KRDMAP.TXT")));
        }
    }
}

TEST_F(Wizard, ABackupStoppedFromItsProgressDialogFails) {
    golden_disk(0);
    // The worker waits until the stop has been pressed.
    HANDLE stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    set_worker_prologue_for_tests([stopped] { WaitForSingleObject(stopped, 30000); });
    const std::string folder_name = header_in(set);
    std::string stopping, done;
    run([&] {
        if (!begin_backup_of_disk0(folder_name)) return;
        HWND progress = wait_for_progress_dialog();
        if (progress == nullptr) return;
        click(progress, kStatusButtonId);
        wait_for_item_text(progress, kStatusLineId, kStoppingStatus);
        stopping = item_text(progress, kStatusLineId);
        SetEvent(stopped);
        done = answer_message_box(IDOK, 60s);
    });
    CloseHandle(stopped);
    EXPECT_EQ(stopping, kStoppingStatus);
    EXPECT_EQ(done, closing(closing_action::show_failed));
    EXPECT_FALSE(fs::exists(set.file("KRD00001.BIN")));
}

TEST_F(Wizard, ADamagedSetFailsItsDataTestAndADamagedHeaderLetsTheUserChooseAgain) {
    for (const char* name : {"KRD00000.BIN", "KRD00001.BIN"}) {
        fs::copy_file(fs::path(golden_set_folder()) / name, set.path() / name);
    }
    // A flipped byte in the data file: the engine's message, then the failure.
    std::vector<unsigned char> data = read_file(set.file("KRD00001.BIN"));
    data[data.size() / 2] ^= 0x10;
    write_file(set.file("KRD00001.BIN"), data);
    const std::string header = header_in(set);
    std::string engine_message, done;
    run([&] {
        start_command(wait_for_command_dialog(), kCommandVerifyRadio);
        answer_file_dialog(kHeaderFileDialogTitle, header.c_str());
        answer_message_box(IDOK);
        engine_message = answer_message_box(IDOK, 60s);
        done = answer_message_box(IDOK);
    });
    EXPECT_TRUE(contains(engine_message, "KRD00001.BIN")) << engine_message;
    EXPECT_EQ(done, closing(closing_action::show_failed));

    // A flipped byte in the header: its message, and the command dialog is
    // still there to choose again.
    std::vector<unsigned char> record = read_file(header);
    record[100] ^= 0x01;
    write_file(header, record);
    std::string damaged;
    bool still_open = false;
    run([&] {
        HWND command = wait_for_command_dialog();
        start_command(command, kCommandVerifyRadio);
        answer_file_dialog(kHeaderFileDialogTitle, header.c_str());
        damaged = answer_message_box(IDOK);
        Sleep(100);
        still_open = IsWindow(command) && IsWindowVisible(command);
        click(command, kCommandExitButton);
        done = answer_message_box(IDOK);
    });
    EXPECT_TRUE(contains(damaged, header)) << damaged;
    EXPECT_TRUE(still_open);
    EXPECT_EQ(done, closing(closing_action::show_not_completed));
}

}  // namespace
}  // namespace kiroda
