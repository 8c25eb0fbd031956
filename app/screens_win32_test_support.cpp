// Shows every page of app/screen_pages_test_support.h for tools/screenshots: the whole
// wizard (start-up, command dialog, closing message) runs over image disks
// once per road, a script thread walking its pages and the shooter picturing
// each. Exits with 1 when a row was not pictured or a page did not show what
// its row expects. With --walk it takes no pictures and only checks that
// every page comes and shows what its row expects (a test under Wine).
// Never powers anything off: it links the recording power_off of the test
// programs.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "app/countdown_win32.h"
#include "app/disk_dialog_win32.h"
#include "app/file_dialogs_win32.h"
#include "app/message_pages_test_support.h"
#include "app/sample_message_test_support.h"
#include "app/screen_shooter_win32_test_support.h"
#include "app/startup_win32.h"
#include "app/wizard_script_win32_test_support.h"
#include "disk/disk_image_test_support.h"
#include "disk/faulty_disk_test_support.h"
#include "disk/path_disk.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "format/header_file.h"
#include "format/set_digests.h"
#include "res/resource_ids.h"
#include "ui/dialog_look_win32.h"
#include "ui/dialog_script_win32_test_support.h"
#include "ui/message.h"
#include "ui/program.h"
#include "ui/status_dialog_win32.h"
#include "ui/worker_dialog_win32.h"
#include "util/file_io.h"
#include "util/free_space.h"
#include "util/io_census_test_support.h"
#include "util/test_support.h"
#include "zerofill/zero_fill.h"
#include "zerofill/zero_fill_dialog_win32.h"
#include "zerofill/zero_fill_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace kiroda;
using namespace kiroda::test_support;

// The disks: 0 a 200 MB disk with one partition and 32 MiB that do not
// pack (so the read-back has megabytes to count), 1 blank, 2 GPT, 3 blank
// but for an ext4 superblock.
constexpr std::uint64_t kSourceSectors = 409600;
constexpr std::size_t kRandomBytes = std::size_t{32} << 20;

// Writes `bytes` into the image at `path` from byte `offset` on.
void overwrite(const std::string& path, std::uint64_t offset,
               const std::vector<unsigned char>& bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// The file dialogs open in the working folder: one set for a run, the old
// one back after it (a folder that is one cannot be removed).
class working_folder {
  public:
    explicit working_folder(const std::string& folder) {
        GetCurrentDirectoryA(sizeof old_, old_);
        SetCurrentDirectoryA(folder.c_str());
    }
    ~working_folder() { SetCurrentDirectoryA(old_); }
    working_folder(const working_folder&) = delete;
    working_folder& operator=(const working_folder&) = delete;

  private:
    char old_[MAX_PATH] = "";
};

// A volume that fills slowly, so the NULLPASS dialog shows its progress.
class slow_volume : public capped_volume {
  public:
    using capped_volume::capped_volume;
    std::int64_t free_bytes() override {
        Sleep(20);
        return capped_volume::free_bytes();
    }
};

class screens {
  public:
    explicit screens(bool pictures) : shooter(pictures) {
        make_disk_image(images.file("source.img"), kSourceSectors,
                        make_mbr_one_partition(2048, kSourceSectors - 2048));
        std::vector<unsigned char> noise(kRandomBytes);
        std::mt19937 random(26);
        for (unsigned char& b : noise) b = static_cast<unsigned char>(random());
        overwrite(images.file("source.img"), 4096 * 512, noise);
        make_disk_image(images.file("gpt.img"), kSourceSectors,
                        make_mbr({mbr_slot{0xEE, 1, kSourceSectors - 1}, {}, {}, {}}));
        std::vector<unsigned char> ext(4096, 0xEE);
        ext[1080] = 0x53;
        ext[1081] = 0xEF;
        make_blank_target(images.file("ext.img"), kSourceSectors);
        overwrite(images.file("ext.img"), 0, ext);
        register_disks();
        set_free_space_for_tests([this](const char*) { return free_space; });
    }
    ~screens() {
        set_free_space_for_tests({});
        clear_disk_paths();
    }

    // A set of disk 0 to test and restore, and copies of it with the header
    // of another version and with its data file missing. After a first run:
    // the header records the caption start-up formats.
    void make_sets() {
        recording_progress p;
        backup_disk(p, 0, made.text().c_str(), kSourceSectors * 512);
        backup_header h{};
        // A picture of a header made up of zeros would show a page no set leads to.
        if (!read_header_silently(made.text().c_str(), &h))
            throw std::runtime_error("the set made for the pictures has no header");
        h.version = 1.13;
        std::vector<unsigned char> record(kHeaderFileSize);
        encode_header_record(h, record.data());
        write_file(older.file(kHeaderFileName), record);
        fs::copy_file(made.file(kHeaderFileName), headless.file(kHeaderFileName));
        // And one whose digest file is cut short.
        for (const fs::directory_entry& e : fs::directory_iterator(made.path()))
            fs::copy_file(e.path(), digestless.path() / e.path().filename(),
                          fs::copy_options::overwrite_existing);
        fs::resize_file(digestless.file(kDigestFileName), 40);
    }

    void register_disks() {
        register_disk_path(0, images.file("source.img"));
        make_blank_target(images.file("blank.img"), kSourceSectors);
        register_disk_path(1, images.file("blank.img"));
        register_disk_path(2, images.file("gpt.img"));
        register_disk_path(3, images.file("ext.img"));
    }

    // One run of KIRODA's start-up with `script` walking its pages.
    void run(const std::function<void()>& script) {
        dialog_script s([&script](DWORD) { script(); });
        run_program(GetModuleHandleA(nullptr));
    }

    // The next message box, pictured as `name` (none: not pictured), then
    // answered with `button`.
    void box(const char* name, int button, std::chrono::milliseconds wait = 60s) {
        HWND b = wait_for_message_box(wait);
        if (b == nullptr) {
            std::fprintf(stderr, "screens: no message box for %s\n", name ? name : "an answer");
            return;
        }
        if (name != nullptr) shooter.shoot(name, b);
        answer_message_box(button);
    }
    void file_dialog(const char* name, const char* title, const std::string& path) {
        if (name != nullptr) {
            HWND f = wait_for_process_dialog([title](HWND w) { return window_text(w) == title; });
            if (f != nullptr) shooter.shoot(name, f);
        }
        answer_file_dialog(title, path.c_str());
    }
    // Shows disk `number` in a disk dialog, pictured as `name`.
    void show_disk(HWND d, int number, const char* mark, const char* name) {
        SetDlgItemTextA(d, kDiskNumberBox, std::to_string(number).c_str());
        post(d, WM_TIMER, kDiskPollTimer);
        wait_for_item_text(d, kDiskMarkField, mark);
        if (name != nullptr) shooter.shoot(name, d);
    }
    HWND command(int radio, const char* name = nullptr) {
        HWND c = wait_for_command_dialog();
        // Off the top of the screen: a message box taller than the dialog
        // is centred on it and would lose its caption above the edge.
        if (c != nullptr) SetWindowPos(c, nullptr, 0, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        if (c != nullptr && name != nullptr) shooter.shoot(name, c);
        if (c != nullptr) start_command(c, radio);
        return c;
    }
    // Backup steps up to the last question: disk 0, `folder`, confirmed.
    bool begin_backup(const std::string& folder) {
        command(kCommandBackupRadio);
        HWND d = wait_for_disk_dialog();
        if (d == nullptr || !choose_disk(d, 0, false)) return false;
        file_dialog(nullptr, kBackupFolderDialogTitle, folder);
        box(nullptr, IDOK);
        return true;
    }
    // Restore steps up to the confirmation: `set` onto disk `target`.
    bool begin_restore(const temp_folder& set, int target) {
        command(kCommandRestoreRadio);
        file_dialog(nullptr, kHeaderFileDialogTitle, set.file(kHeaderFileName));
        HWND d = wait_for_disk_dialog();
        return d != nullptr && choose_disk(d, target, false);
    }

    void backup_past_an_unreadable_sector();  // the first run
    void backup_into_a_small_folder();
    void backup_going_on_with_an_unfinished_set();
    void backup_onto_a_medium_that_does_not_keep_it();
    void backup_stopped();
    void data_tests();
    void restores();
    void zero_fill();
    void messages();

    screen_shooter shooter;
    temp_folder images, made, older, headless, digestless;
    double free_space = 5e11;
};

void screens::backup_past_an_unreadable_sector() {
    disk_faults faults;
    faults.bad_sectors = {700};
    set_disk_faults(0, faults);
    temp_folder set;
    const working_folder here(set.text());
    stage_pictures stages(shooter, {{"ヘッダファイル作成中", "backup-header-KR2", false},
                                    {"ディスクバックアップ中", "backup-progress-KR2", true},
                                    {"書き込み確認中", "backup-read-back-KR2", true},
                                    {"バックアップ完了", "backup-done-KR2", false}});
    run([&] {
        command(kCommandBackupRadio, "command-KRBCR");
        HWND d = wait_for_disk_dialog();
        if (d == nullptr) return;
        show_disk(d, 2, "×", "source-disk-refused-KRMOTO");
        show_disk(d, 0, "○", "source-disk-KRMOTO");
        if (!choose_disk(d, 0, false)) return;
        file_dialog("backup-folder", kBackupFolderDialogTitle, set.file(kHeaderFileName));
        box("confirm-backup", IDOK);
        box("backup-last-question", IDOK);
        box("backup-rescue-question", IDOK);
        box("backup-rescue-done", IDOK);
        box("closing-completed", IDOK);
    });
    register_disks();  // forgets the faults
}

void screens::backup_into_a_small_folder() {
    temp_folder set;
    free_space = 1e8;
    run([&] {
        if (!begin_backup(set.file(kHeaderFileName))) return;
        box("backup-space-short", IDCANCEL);
        box("closing-not-completed", IDOK);
    });
    free_space = 5e11;
}

void screens::backup_going_on_with_an_unfinished_set() {
    temp_folder set;
    {
        recording_progress p;
        p.stop_at_detail = 4;
        backup_disk(p, 0, set.text().c_str(), kSourceSectors * 512);
    }
    stage_pictures stages(shooter,
                          {{"バックアップデータ確認中", "backup-resume-check-KR2", false}});
    run([&] {
        if (!begin_backup(set.file(kHeaderFileName))) return;
        box("backup-resume-offer", IDOK);
        box("backup-resume-last-question", IDOK);
        box(nullptr, IDOK);  // done
    });
}

void screens::backup_onto_a_medium_that_does_not_keep_it() {
    temp_folder set;
    set_read_back_fault_for_tests("KRD00001.BIN", 4096, true);
    run([&] {
        if (!begin_backup(set.file(kHeaderFileName))) return;
        box(nullptr, IDOK);  // the last question
        box("backup-not-kept", IDOK);
        box("closing-failed", IDOK);
    });
    set_read_back_fault_for_tests("", 0, false);
}

void screens::backup_stopped() {
    temp_folder set;
    // The worker waits until the stop has been pictured.
    HANDLE pictured = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    set_worker_prologue_for_tests([pictured] { WaitForSingleObject(pictured, 60000); });
    run([&] {
        if (!begin_backup(set.file(kHeaderFileName))) return;
        box(nullptr, IDOK);  // the last question
        HWND progress = wait_for_progress_dialog();
        if (progress == nullptr) return;
        click(progress, kStatusButtonId);
        wait_for_item_text(progress, kStatusLineId, kStoppingStatus);
        wait_for_item_text(progress, kDetailLineId, kStoppingDetail);
        shooter.shoot("backup-stopping-KR2", progress);
        SetEvent(pictured);
        box(nullptr, IDOK);  // failed
    });
    set_worker_prologue_for_tests({});
    CloseHandle(pictured);
}

void screens::data_tests() {
    {
        const working_folder here(made.text());
        stage_pictures stages(shooter, {{"データテスト中", "verify-progress-KR2", true},
                                        // Its last line: the detail line cleared.
                                        {"テスト完了", "verify-done-KR2", true}});
        run([&] {
            command(kCommandVerifyRadio);
            file_dialog("header-file", kHeaderFileDialogTitle, made.file(kHeaderFileName));
            box("confirm-verify", IDOK);
            box(nullptr, IDOK);  // completed
        });
    }
    run([&] {
        command(kCommandVerifyRadio);
        file_dialog(nullptr, kHeaderFileDialogTitle, older.file(kHeaderFileName));
        box("version-differs", IDCANCEL);
        box(nullptr, IDOK);  // not completed
    });
    run([&] {
        command(kCommandVerifyRadio);
        file_dialog(nullptr, kHeaderFileDialogTitle, headless.file(kHeaderFileName));
        box(nullptr, IDOK);  // the confirmation
        box("verify-missing-file", IDCANCEL);
        box(nullptr, IDOK);  // closing
    });
}

void screens::restores() {
    {
        stage_pictures stages(shooter, {{"ディスク復旧中", "restore-progress-KR2", true},
                                        {"書き込み確認中", "restore-read-back-KR2", true},
                                        {"復旧完了", "restore-done-KR2", false}});
        run([&] {
            command(kCommandRestoreRadio);
            file_dialog(nullptr, kHeaderFileDialogTitle, made.file(kHeaderFileName));
            HWND d = wait_for_disk_dialog();
            if (d == nullptr) return;
            show_disk(d, 0, "×", "target-disk-refused-KRRESTDISK");
            show_disk(d, 1, "○", "target-disk-KRRESTDISK");
            if (!choose_disk(d, 1, false)) return;
            box("confirm-restore", IDOK);
            HWND countdown = wait_for_countdown();
            if (countdown == nullptr) return;
            for (int i = 0; i < 17; ++i) post(countdown, WM_TIMER, 3);
            wait_for_item_text(countdown, kDetailLineId, "あと 43 秒");
            shooter.shoot("countdown-KR2", countdown);
            click(countdown, kStatusButtonId);
            box("closing-shutdown-cancelled", IDOK);
        });
    }
    register_disks();  // disk 1 blank again
    run([&] {
        if (!begin_restore(made, 3)) return;
        box("confirm-restore-file-system", IDCANCEL);
        box(nullptr, IDOK);  // not completed
    });
    run([&] {
        if (!begin_restore(headless, 1)) return;
        box(nullptr, IDOK);  // the confirmation
        box("restore-missing-file", IDCANCEL);
        box(nullptr, IDOK);  // closing
        // Declined: the countdown of a completed restore is not coming.
    });
    run([&] {
        if (!begin_restore(digestless, 1)) return;
        box(nullptr, IDOK);  // the confirmation
        box("restore-digests-damaged", IDCANCEL);
        box(nullptr, IDOK);  // closing
    });
}

void screens::zero_fill() {
    temp_folder folder;
    slow_volume volume(folder.path(), std::int64_t{10485760} + 3000 * std::int64_t{4194304},
                       kFileSystemNtfs, "NTFS");
    dialog_script script([this](DWORD ui) {
        HWND d = wait_for_dialog(ui, kNullpassCaption);
        if (d == nullptr) return;
        for (int i = 0; i < 500 && item_text(d, kDetailLineId).rfind("残り", 0) != 0; ++i)
            Sleep(10);
        shooter.shoot("zero-fill-NP1", d);
        click(d, kStatusButtonId);
    });
    const zero_fill_limits limits{4096, 10485760, 2000000000};
    run_zero_fill_dialog_on('E', volume.root(), volume, GetModuleHandleA(nullptr), nullptr, limits);
}

// The message texts no road reaches, each shown on its own as the wizard
// shows it: an OK box under the program's caption (or the zero fill's).
void screens::messages() {
    dialog_script script([this](DWORD) {
        for (const message_page& m : kMessagePages) box(m.row.name, IDOK);
    });
    for (const message_page& m : kMessagePages) {
        const std::string text = sample_message(m.row.name, m.text);
        const bool help = m.caption == message_caption::help;
        const char* caption = help                                     ? kHelpCaption
                              : m.caption == message_caption::nullpass ? kNullpassCaption
                                                                       : program_caption();
        show_message(nullptr, help ? kHelpMessageType : kMbOk, caption, "%s", text.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool pictures = !(argc > 1 && std::strcmp(argv[1], "--walk") == 0);
    // The image files in place of the raw disks, with the test layers the
    // roads use (faults, read-back faults, a free-space answer) around them.
    install_io_census();
    install_disk_faults(path_disk::ops());
    watchdog dog(600s, "screens");
    set_countdown_tick_ms_for_tests(3600000);  // only posted ticks count
    set_disk_poll_ms_for_tests(3600000);       // and only posted polls
    bool all = false;
    {
        screens s(pictures);
        s.backup_past_an_unreadable_sector();
        s.make_sets();
        s.backup_into_a_small_folder();
        s.backup_going_on_with_an_unfinished_set();
        s.backup_onto_a_medium_that_does_not_keep_it();
        s.backup_stopped();
        s.data_tests();
        s.restores();
        s.zero_fill();
        s.messages();
        all = s.shooter.all_taken();
    }
    // Sample values of a page the gallery no longer has.
    for_each_sample_page(
        [](const char* page, void* all_pages) {
            for (const message_page& m : kMessagePages) {
                if (std::strcmp(m.row.name, page) == 0) return;
            }
            std::fprintf(stderr, "screens: sample values for %s, which is no page\n", page);
            *static_cast<bool*>(all_pages) = false;
        },
        &all);
    std::printf("end\n");
    std::fflush(stdout);
    return all ? 0 : 1;
}
