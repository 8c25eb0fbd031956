#include "app/command_steps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "ui/program.h"
#include "ui/recording_sink_test_support.h"
#include "disk/faulty_disk_test_support.h"
#include "disk/disk_image_test_support.h"
#include "disk/physical_disk.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "engine/restore_engine.h"
#include "engine/verify_engine.h"
#include "engine/header_file.h"
#include "format/set_digests.h"
#include "util/number_format.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

namespace fs = std::filesystem;
using test_support::make_blank_target;
using test_support::make_disk_image;
using test_support::make_mbr_one_partition;
using test_support::read_file;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::same_file;
using test_support::temp_folder;
using test_support::write_file;

constexpr std::uint64_t kSectors = 32768 + 100;
#ifdef _WIN32
constexpr const char* kSeparator = "\\";
#else
constexpr const char* kSeparator = "/";
#endif
constexpr int kSource = 0;
constexpr int kTarget = 1;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string grouped(std::int64_t value) {
    char text[kGroupedTextSize];
    return format_int64_grouped(text, value);
}

// Answers the dialogs from lists (an empty list cancels) and runs the real
// engines behind recording progress.
class scripted_ui : public wizard_ui {
  public:
    window_handle owner() const override { return nullptr; }
    int choose_disk(disk_role role, const disk_table& table, int* disk) override {
        calls.push_back(role == disk_role::source ? "source disk" : "target disk");
        tables.push_back(table);
        if (disks.empty()) return 0;
        const int d = disks.front();
        disks.pop_front();
        *disk = d;
        return 1;
    }
    int choose_backup_folder(char* folder) override { return choose("backup folder", folder); }
    int choose_header_file(char* folder) override { return choose("header file", folder); }
    bool full_path(const char* path, char* output, std::size_t capacity) override {
        if (full_path_fails) return false;
        const std::string full = fs::absolute(path).string();
        if (full.size() + 1 > capacity) return false;
        std::strcpy(output, full.c_str());
        return true;
    }
    // The portable flow, with a program copy that always works.
    outcome run_backup(const backup_request& r) override {
        calls.push_back("backup");
        requests.push_back(r);
        backup_flow_steps steps;
        steps.program_path = "KIRODA.EXE";
        steps.copy_program = [](const char*, const char*) { return true; };
        steps.run_backup = [&r](const char* folder, std::uint64_t size, bool resume) {
            recording_progress p;
            return backup_disk(p, r.source_disk, folder, size, backup_options{false, resume});
        };
        return run_backup_flow(nullptr, r, steps);
    }
    outcome run_verify(const char* folder, std::uint64_t bytes) override {
        calls.push_back(std::string("verify ") + folder);
        recording_progress p;
        return verify_backup_set(p, folder, bytes);
    }
    outcome run_restore(int disk, const char* folder, std::uint64_t bytes) override {
        calls.push_back(std::string("restore ") + folder);
        shutdown_when_restoring = g_shutdown_at_end;
        if (before_restore) before_restore();
        recording_progress p;
        return restore_disk(p, disk, folder, bytes);
    }

    std::deque<int> disks;
    std::deque<std::string> folders;
    bool full_path_fails = false;
    std::function<void()> before_restore;  // the target changes after the checks
    std::vector<std::string> calls;
    std::vector<disk_table> tables;
    std::vector<backup_request> requests;
    int shutdown_when_restoring = -1;

  private:
    int choose(const char* what, char* folder) {
        calls.push_back(what);
        if (folders.empty()) return 0;
        std::strcpy(folder, folders.front().c_str());
        folders.pop_front();
        return 1;
    }
};

class CommandSteps : public ::testing::Test {
  protected:
    void SetUp() override {
        g_shutdown_at_end = 0;
        make_disk_image(images.file("source.img"), kSectors, make_mbr_one_partition(63, 20000));
        register_disk_path(kSource, images.file("source.img"));
        make_blank_target(images.file("target.img"), kSectors);
        register_disk_path(kTarget, images.file("target.img"));
    }
    void TearDown() override {
        clear_disk_paths();
        g_shutdown_at_end = 0;
    }

    // A set of the source disk in `set`, made by the backup engine.
    void make_set() {
        recording_progress p;
        ASSERT_EQ(backup_disk(p, kSource, set.text().c_str(), kSectors * 512), kEngineDone);
    }
    // A header file with a valid CRC and the given fields.
    void write_header(const std::string& folder, double version, std::uint64_t bytes) {
        backup_header h{};
        h.version = version;
        h.created = {2017, 6, 2, 10, 9, 30, 15, 0};
        h.source_disk = 3;
        h.backup_bytes = bytes;
        h.reserved = 1;
        std::vector<unsigned char> record(kHeaderFileSize);
        encode_header_record(h, record.data());
        write_file(folder + "/" + kHeaderFileName, record);
    }

    temp_folder images;
    temp_folder set;
    temp_folder other;
    scripted_ui ui;
    wizard_state state;
};

TEST_F(CommandSteps, BackupEndsWithZeroWhenAStepIsCancelled) {
    {
        recording_sink sink;
        EXPECT_EQ(run_backup_path(ui, state), 0);  // the source disk dialog
        EXPECT_EQ(ui.calls, std::vector<std::string>{"source disk"});
    }
    ui.calls.clear();
    ui.disks = {kSource};
    {
        recording_sink sink;
        EXPECT_EQ(run_backup_path(ui, state), 0);  // the folder dialog
        EXPECT_EQ(ui.calls, (std::vector<std::string>{"source disk", "backup folder"}));
        EXPECT_TRUE(sink.seen.empty());
    }
    ui.calls.clear();
    ui.disks = {kSource};
    ui.folders = {set.text()};
    {
        recording_sink sink({kIdCancel});
        EXPECT_EQ(run_backup_path(ui, state), 0);  // the confirmation
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_EQ(sink.seen[0].type, kMbOkCancel);
        EXPECT_TRUE(ui.requests.empty());
    }
    // The disk dialog saw the table as surveyed just before it.
    ASSERT_FALSE(ui.tables.empty());
    EXPECT_EQ(ui.tables.back()[0].number, kSource);
    EXPECT_EQ(ui.tables.back()[1].number, kTarget);
    EXPECT_EQ(ui.tables.back()[2].number, kNoDisk);
}

TEST_F(CommandSteps, AFolderOnTheSourceDiskIsAskedForAgainUntilItIsElsewhere) {
    register_drive_extents('E', {2, kSource});  // a volume spanning disks 2 and 0
    ui.disks = {kSource};
    ui.folders = {"E:\\BK", "E:\\", set.text()};
    recording_sink sink({kIdOk, kIdOk, kIdOk});
    EXPECT_EQ(run_backup_path(ui, state), 1);
    ASSERT_EQ(sink.seen.size(), 4u);  // C1 twice, the confirmation, the flow's last question
    EXPECT_EQ(sink.seen[0].type, kMbOk);
    EXPECT_TRUE(contains(sink.seen[0].text, "E:\\BK"));
    EXPECT_TRUE(contains(sink.seen[1].text, "E:\\"));
    EXPECT_EQ(sink.seen[2].type, kMbOkCancel);
    EXPECT_TRUE(contains(sink.seen[2].text, "ディスク全面"));
    EXPECT_TRUE(contains(sink.seen[2].text, "実施しない"));
    EXPECT_TRUE(contains(sink.seen[2].text, set.text()));
    EXPECT_EQ(ui.calls, (std::vector<std::string>{"source disk", "backup folder", "backup folder",
                                                  "backup folder", "backup"}));
    ASSERT_EQ(ui.requests.size(), 1u);
    EXPECT_EQ(ui.requests[0].scope, kScopeWholeDisk);
    EXPECT_EQ(ui.requests[0].zero_fill, 0);
    EXPECT_EQ(ui.requests[0].source_disk, kSource);
    EXPECT_STREQ(ui.requests[0].folder, set.text().c_str());
}

TEST_F(CommandSteps, TheBackupConfirmationStopsOnlyOnCancel) {
    for (const int answer : {kIdOk, kNoAnswer}) {
        temp_folder fresh;
        ui.disks = {kSource};
        ui.folders = {fresh.text()};
        ui.requests.clear();
        recording_sink sink({answer});
        EXPECT_EQ(run_backup_path(ui, state), 1) << answer;
        EXPECT_EQ(ui.requests.size(), 1u) << answer;
    }
}

TEST_F(CommandSteps, VerifyEndsAsTheHeaderFileSays) {
    write_file(other.file(kHeaderFileName), std::vector<unsigned char>(100, 1));
    temp_folder damaged, implausible, empty;
    make_set();
    std::vector<unsigned char> record = read_file(set.file(kHeaderFileName));
    record[700] ^= 0x01;
    write_file(damaged.file(kHeaderFileName), record);
    write_header(implausible.text(), kProgramVersion, 0);  // a valid CRC over 0 bytes
    const struct {
        const char* what;
        std::string folder;
        std::optional<int> result;
    } cases[] = {
        {"no header file", empty.text(), -1},
        {"a short header file", other.text(), -1},
        {"a flipped byte", damaged.text(), std::nullopt},
        {"no bytes backed up", implausible.text(), std::nullopt},
    };
    for (const auto& c : cases) {
        ui.folders = {c.folder};
        ui.calls.clear();
        recording_sink sink;
        EXPECT_EQ(run_verify_path(ui, state), c.result) << c.what;
        EXPECT_EQ(sink.seen.size(), 1u) << c.what;  // read_header_file's own message
        EXPECT_EQ(ui.calls, std::vector<std::string>{"header file"}) << c.what;
    }
    recording_sink sink;
    EXPECT_EQ(run_verify_path(ui, state), 0);  // the header file dialog cancelled
    EXPECT_TRUE(sink.seen.empty());
}

TEST_F(CommandSteps, VerifyOfASetOfThisVersionGoesStraightToTheConfirmation) {
    make_set();
    ui.folders = {set.text() + kSeparator};
    recording_sink sink({kIdOk});
    EXPECT_EQ(run_verify_path(ui, state), 1);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].type, kMbOkCancel);
    char bytes[kGroupedTextSize];
    format_uint64_grouped(bytes, kSectors * 512);
    EXPECT_TRUE(contains(sink.seen[0].text, bytes));
    EXPECT_TRUE(contains(sink.seen[0].text, "V1.14"));
    // The engine gets the folder without its trailing separator.
    EXPECT_EQ(ui.calls.back(), "verify " + set.text());
    EXPECT_EQ(std::string(state.set_folder), set.text());
}

TEST_F(CommandSteps, VerifyOfAnotherVersionAsksFirst) {
    make_set();
    std::vector<unsigned char> record = read_file(set.file(kHeaderFileName));
    backup_header h{};
    ASSERT_TRUE(decode_header_record(record.data(), &h));
    h.version = 1.13;
    encode_header_record(h, record.data());
    write_file(set.file(kHeaderFileName), record);
    // An older program's set: it has no digest file to name its header.
    std::filesystem::remove(set.file(kDigestFileName));
    const struct {
        std::vector<int> answers;
        int result;
        std::size_t messages;
    } cases[] = {
        {{kIdCancel}, 0, 1},
        {{kNoAnswer}, 0, 1},
        {{kIdOk, kIdCancel}, 0, 2},
        {{kIdOk, kIdOk}, 1, 2},
    };
    for (const auto& c : cases) {
        ui.folders = {set.text()};
        recording_sink sink(c.answers);
        EXPECT_EQ(run_verify_path(ui, state), c.result);
        EXPECT_EQ(sink.seen.size(), c.messages);
        EXPECT_TRUE(contains(sink.seen[0].text, "1.13"));
    }
}

TEST_F(CommandSteps, ARestoreConfirmedWritesTheSetAndForcesTheShutdown) {
    make_set();
    ui.folders = {set.text()};
    ui.disks = {kTarget};
    recording_sink sink({kIdOk});
    EXPECT_EQ(run_restore_path(ui, state), 1);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].type, kMbOkCancel);
    char size[kGroupedTextSize];
    format_uint64_grouped(size, kSectors * 512);
    EXPECT_TRUE(contains(sink.seen[0].text, size));
    EXPECT_EQ(ui.shutdown_when_restoring, 1);
    EXPECT_EQ(g_shutdown_at_end, 1);
    EXPECT_TRUE(same_file(images.file("source.img"), images.file("target.img")));
    EXPECT_EQ(ui.calls,
              (std::vector<std::string>{"header file", "target disk", "restore " + set.text()}));
}

TEST_F(CommandSteps, ARestoreNotConfirmedWritesNothing) {
    make_set();
    const auto before = read_file(images.file("target.img"));
    for (const int answer : {kIdCancel, kNoAnswer}) {
        ui.folders = {set.text()};
        ui.disks = {kTarget};
        recording_sink sink({answer});
        EXPECT_EQ(run_restore_path(ui, state), 0);
        EXPECT_EQ(g_shutdown_at_end, 0);
    }
    EXPECT_EQ(read_file(images.file("target.img")), before);
}

// A target that holds a file system without a partition table passes the
// rules, but the confirmation says what will be lost.
TEST_F(CommandSteps, TheRestoreConfirmationNamesAFileSystemOnTheTarget) {
    make_set();
    std::vector<unsigned char> target = read_file(images.file("target.img"));
    target[1080] = 0x53;
    target[1081] = 0xEF;
    write_file(images.file("target.img"), target);
    ui.folders = {set.text()};
    ui.disks = {kTarget};
    recording_sink sink({kIdCancel});
    EXPECT_EQ(run_restore_path(ui, state), 0);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_TRUE(contains(sink.seen[0].text, "先頭に ext2/ext3/ext4 があります"))
        << sink.seen[0].text;
    EXPECT_EQ(read_file(images.file("target.img")), target);
}

TEST_F(CommandSteps, EveryRestoreRefusalEndsWithMinusOneAndWritesNothing) {
    make_set();
    const std::uint64_t bytes = kSectors * 512;
    const auto partitioned = make_mbr_one_partition(2048, 4096);
    const struct {
        const char* what;
        std::function<void()> arrange;
        std::string text;  // the whole message, or a part of it when `exact` is false
        bool exact;
    } cases[] = {
        {"the target does not open", [] { clear_disk_paths(); }, "(ディスク 1)", false},
        {"4096-byte sectors",
         [] {
             disk_faults f;
             f.bytes_per_sector = 4096;
             set_disk_faults(kTarget, f);
         },
         "復旧ディスクのセクタサイズが異常です。\n本プログラムは、５１２Ｂのみに対応です。\n　(4096)",
         true},
        {"neither fixed nor removable",
         [] {
             disk_faults f;
             f.media_type = kMediaUnknown;
             set_disk_faults(kTarget, f);
         },
         std::string(
             "復旧ディスクのメディアタイプが異常です。\n本プログラムは、固定ディスクとリムーバブルディスク\n"
             "のみに対応しています。\n　(") +
             media_type_name(kMediaUnknown) + ")",
         true},
        {"one sector too small",
         [this] { make_blank_target(images.file("target.img"), kSectors - 1); },
         grouped(static_cast<std::int64_t>((kSectors - 1) * 512)) +
             " バイト\nバックアップ: " + grouped(static_cast<std::int64_t>(bytes)),
         false},
        {"the size query fails",
         [] {
             disk_faults f;
             f.size_query_fails = true;
             set_disk_faults(kTarget, f);
         },
         "復旧先ディスク: -2 バイト", false},
        {"sector 0 cannot be read",
         [] {
             disk_faults f;
             f.fail_read_at = 0;
             set_disk_faults(kTarget, f);
         },
         "先頭セクタ", false},
        {"a partition",
         [this, &partitioned] {
             std::vector<unsigned char> disk(kSectors * 512, 0);
             std::copy(partitioned.begin(), partitioned.end(), disk.begin());
             write_file(images.file("target.img"), disk);
         },
         "2,097,152", false},
    };
    for (const auto& c : cases) {
        SetUp();
        c.arrange();
        const auto before = read_file(images.file("target.img"));
        ui.folders = {set.text()};
        ui.disks = {kTarget};
        recording_sink sink;
        EXPECT_EQ(run_restore_path(ui, state), -1) << c.what;
        ASSERT_EQ(sink.seen.size(), 1u) << c.what;
        EXPECT_EQ(sink.seen[0].type, kMbOk) << c.what;
        EXPECT_EQ(sink.seen[0].caption, program_caption()) << c.what;
        if (c.exact) {
            EXPECT_EQ(sink.seen[0].text, c.text) << c.what;
        } else {
            EXPECT_TRUE(contains(sink.seen[0].text, c.text)) << c.what << ": " << sink.seen[0].text;
        }
        EXPECT_EQ(read_file(images.file("target.img")), before) << c.what;
        EXPECT_EQ(g_shutdown_at_end, 0) << c.what;
    }
}

TEST_F(CommandSteps, ATargetOfExactlyTheSetsSizeIsTaken) {
    make_set();
    make_blank_target(images.file("target.img"), kSectors);
    ui.folders = {set.text()};
    ui.disks = {kTarget};
    recording_sink sink({kIdOk});
    EXPECT_EQ(run_restore_path(ui, state), 1);
}

TEST_F(CommandSteps, RestoreStopsBeforeTheTargetIsTouchedWhenTheSetCannotBePlaced) {
    make_set();
    // The set folder cannot be made a full path.
    ui.folders = {set.text()};
    ui.disks = {kTarget};
    ui.full_path_fails = true;
    {
        recording_sink sink;
        EXPECT_EQ(run_restore_path(ui, state), -1);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_TRUE(contains(sink.seen[0].text, set.text()));
    }
    ui.full_path_fails = false;
    // The set lies on a volume with an extent on the target disk.
    register_drive_extents(fs::absolute(set.path()).string()[0], {4, kTarget});
    ui.folders = {set.text()};
    ui.disks = {kTarget};
    {
        recording_sink sink;
        EXPECT_EQ(run_restore_path(ui, state), -1);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_TRUE(contains(sink.seen[0].text, "復旧先ディスク"));
    }
    // Cancelled dialogs end with 0.
    recording_sink sink;
    EXPECT_EQ(run_restore_path(ui, state), 0);
    ui.folders = {set.text()};
    EXPECT_EQ(run_restore_path(ui, state), 0);
    EXPECT_TRUE(sink.seen.empty());
    EXPECT_EQ(g_shutdown_at_end, 0);
}

TEST_F(CommandSteps, ADamagedHeaderKeepsTheDialogOpenOnTheRestorePathToo) {
    make_set();
    std::vector<unsigned char> record = read_file(set.file(kHeaderFileName));
    record[8000] ^= 0x80;
    write_file(set.file(kHeaderFileName), record);
    ui.folders = {set.text()};
    ui.disks = {kTarget};
    recording_sink sink;
    EXPECT_EQ(run_restore_path(ui, state), std::nullopt);
    EXPECT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(g_shutdown_at_end, 0);
}

TEST_F(CommandSteps, ATargetThatGainsAPartitionAfterTheChecksIsNotWritten) {
    make_set();
    const std::string target = images.file("target.img");
    const auto partitioned = make_mbr_one_partition(2048, 4096);
    ui.before_restore = [target, partitioned] {
        std::vector<unsigned char> disk = read_file(target);
        std::copy(partitioned.begin(), partitioned.end(), disk.begin());
        write_file(target, disk);
    };
    ui.folders = {set.text()};
    ui.disks = {kTarget};
    recording_sink sink({kIdOk});
    EXPECT_EQ(run_restore_path(ui, state), -1);
    EXPECT_EQ(sink.seen.size(), 2u);  // the confirmation, then the engine's refusal
    std::vector<unsigned char> expected(kSectors * 512, 0xEE);
    std::copy(partitioned.begin(), partitioned.end(), expected.begin());
    EXPECT_EQ(read_file(target), expected);
}

}  // namespace
}  // namespace kiroda
