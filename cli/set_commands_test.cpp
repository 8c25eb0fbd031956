#include "cli/set_commands.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cli/capture_test_support.h"
#include "cli/command.h"
#include "disk/physical_disk.h"
#include "disk/disk_registry.h"
#include "cli/terminal_messages.h"
#include "cli/disks_command.h"
#include "cli/json_reader_test_support.h"
#include "format/digest.h"
#include "format/packed_block.h"
#include "disk/disk_image_test_support.h"
#include "engine/engine_test_support.h"
#include "testfs/fault_fs_mount.h"
#include "util/file_io.h"
#include "util/number_format.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::test_support::make_blank_target;
using kiroda::test_support::make_disk_image;
using kiroda::test_support::make_mbr_one_partition;
using kiroda::test_support::read_file;
using kiroda::test_support::same_file;
using kiroda::test_support::temp_folder;
using kiroda::test_support::write_file;
using test_support::captured_stream;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

using run_result = test_support::command_result;

std::string grouped(std::uint64_t n) {
    char text[kGroupedTextSize];
    format_uint64_grouped(text, n);
    return text;
}
using test_support::run_command;

class SetCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        make_disk_image(disk, 2 * 32768 + 9, make_mbr_one_partition(2048, 60000));
    }
    temp_folder dir;
    std::string disk = dir.file("disk.img");
    std::string set = dir.file("set");
    std::string restored = dir.file("restored.img");
};

TEST_F(SetCommands, BackupVerifyInfoAndRestoreRoundTrip) {
    const run_result backup = run_command(run_backup_command, {disk, set});
    ASSERT_EQ(backup.status, kExitDone) << backup.err;
    EXPECT_TRUE(contains(backup.out, "バックアップ完了"));
    EXPECT_TRUE(fs::exists(set + "/KRD00000.BIN"));

    const run_result verify = run_command(run_verify_command, {set});
    EXPECT_EQ(verify.status, kExitDone) << verify.err;
    EXPECT_TRUE(contains(verify.out, "テスト完了"));

    const run_result info = run_command(run_info_command, {set});
    EXPECT_EQ(info.status, kExitDone) << info.err;
    EXPECT_TRUE(contains(info.out, "33,559,040 バイト"));  // (2 x 32,768 + 9) sectors
    // Each file's own size, then the disk's bytes it holds; the set's space
    // and ratio; no Windows disk number for a set made here.
    const std::string file_line = "KRD00001.BIN: " + grouped(fs::file_size(set + "/KRD00001.BIN")) +
                                  " バイト、ブロック 3 個 (ディスクの 33,559,040 バイト)";
    EXPECT_TRUE(contains(info.out, file_line)) << info.out;
    EXPECT_TRUE(contains(info.out, "バックアップデータの大きさ: ")) << info.out;
    EXPECT_FALSE(contains(info.out, "Windows のディスク")) << info.out;
    EXPECT_TRUE(contains(info.out, "1.14"));
    // The source is recorded by its path; an image file has no identity.
    const std::string source_line = "元ディスクの記録: " + fs::absolute(disk).string() + ", 33 MB";
    EXPECT_TRUE(contains(info.out, source_line)) << info.out;
    const run_result json = run_command(run_info_command, {"--json", set});
    EXPECT_TRUE(contains(json.out,
                         "\"source\":{\"file\":\"read\",\"path\":\"" + fs::absolute(disk).string() +
                             "\",\"bytes\":33559040,\"sector_size\":512,"
                             "\"table\":\"mbr\",\"partitions\":1,\"digest\":\"matches\"}"))
        << json.out;

    // The target image does not exist: it is made at the set's size.
    const run_result restore = run_command(run_restore_command, {set, restored});
    ASSERT_EQ(restore.status, kExitDone) << restore.err;
    EXPECT_TRUE(contains(restore.err, "バックアップ元: " + fs::absolute(disk).string()))
        << restore.err;
    EXPECT_TRUE(same_file(disk, restored));
}

// A usage error names the operand that is missing or too many, then the usage.
TEST_F(SetCommands, UsageErrors) {
    const struct {
        command_function f;
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {run_backup_command, {}, "SOURCE がありません"},
        {run_backup_command, {disk}, "SETDIR がありません"},
        {run_verify_command, {}, "SETDIR がありません"},
        {run_restore_command, {set}, "TARGET がありません"},
        {run_info_command, {set, "x"}, "余分な引数です: x"},
        {run_restore_command, {"-q", "-z", set}, "不明なオプションです: -z"},
        {run_verify_command, {"--fit", set}, "--fit は --against と一緒に使います"},
    };
    for (const auto& c : cases) {
        const run_result r = run_command(c.f, c.args);
        EXPECT_EQ(r.status, kExitUsage);
        EXPECT_TRUE(contains(r.err, c.says)) << r.err;
        EXPECT_TRUE(contains(r.err, "使い方")) << r.err;
    }
}

TEST_F(SetCommands, BackupRefusesAFolderThatHoldsASetOrAProgramCopy) {
    for (const char* name :
         {"KRD00003.BIN", "KIRODA.EXE", "KRDHASH.TXT", "KRDMAP.TXT", "KRDMAP.TMP"}) {
        temp_folder used;
        write_file(used.file(name), {1});
        const run_result r = run_command(run_backup_command, {disk, used.text()});
        EXPECT_EQ(r.status, kExitFailed) << name;
        EXPECT_TRUE(contains(r.err, name)) << r.err;
        EXPECT_FALSE(fs::exists(used.file("KRD00000.BIN"))) << name;
    }
}

// Past 2,034 bytes the lookup of a set's data files in the folder sees
// none of them: such a folder is refused, never written over.
TEST_F(SetCommands, BackupRefusesAFolderTooLongForTheSetsNames) {
    std::string longest = dir.text();
    while (longest.size() < 2034) {
        longest += "/" + std::string(std::min<std::size_t>(200, 2034 - longest.size() - 1), 'a');
    }
    // At the limit the set there is seen; past it the folder is too long.
    const struct {
        std::string folder;
        const char* refusal;
        bool refused_with_force;
    } cases[] = {{longest, "既にバックアップデータ", false},
                 {longest + "b", "長すぎます", true},
                 {longest + "bbbbbbbbbbbbbbbb", "長すぎます", true}};
    for (const auto& c : cases) {
        fs::create_directories(c.folder);
        write_file(c.folder + "/KRD00001.BIN", {3});
        const run_result r = run_command(run_backup_command, {disk, c.folder});
        EXPECT_EQ(r.status, kExitFailed) << c.folder.size() << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, c.refusal)) << c.folder.size() << "\n" << r.err;
        EXPECT_EQ(read_file(c.folder + "/KRD00001.BIN"), std::vector<unsigned char>{3});
        if (!c.refused_with_force) continue;
        // --force clears nothing for a run it then refuses.
        EXPECT_EQ(run_command(run_backup_command, {"--force", disk, c.folder}).status, kExitFailed);
        EXPECT_EQ(read_file(c.folder + "/KRD00001.BIN"), std::vector<unsigned char>{3});
    }
}

// The closing line counts the set's data files only, not a file of the
// user's whose name merely begins like theirs.
TEST_F(SetCommands, TheBackupSummaryCountsOnlyTheSetsDataFiles) {
    fs::create_directories(set);
    write_file(set + "/KRDNOTES.TXT", std::vector<unsigned char>(5000, 1));
    const run_result r = run_command(run_backup_command, {disk, set});
    ASSERT_EQ(r.status, kExitDone) << r.err;
    EXPECT_TRUE(contains(r.out, "データファイル 1 個")) << r.out;
}

TEST_F(SetCommands, BackupRefusesWhatIsNoDisk) {
    const run_result missing = run_command(run_backup_command, {dir.file("absent.img"), set});
    EXPECT_EQ(missing.status, kExitFailed);
    write_file(dir.file("tiny.img"), std::vector<unsigned char>(100, 1));
    const run_result tiny = run_command(run_backup_command, {dir.file("tiny.img"), set});
    EXPECT_EQ(tiny.status, kExitFailed);
    EXPECT_FALSE(fs::exists(set + "/KRD00000.BIN"));
}

TEST_F(SetCommands, RestoreRefusesATargetThatIsNotEmptyOrTooSmall) {
    ASSERT_EQ(run_command(run_backup_command, {disk, set}).status, kExitDone);
    // The source itself has a partition; a blank image one sector short is too small.
    make_blank_target(restored, 2 * 32768 + 8);
    const std::vector<unsigned char> before = read_file(restored);
    for (const std::string& target : {disk, restored}) {
        const run_result r = run_command(run_restore_command, {set, target});
        EXPECT_EQ(r.status, kExitFailed) << target;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(read_file(restored), before);
}

// Every file under `root` with its bytes: what a dry run must leave as it was.
std::map<std::string, std::vector<unsigned char>> snapshot(const std::string& root) {
    std::map<std::string, std::vector<unsigned char>> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        files[entry.path().string()] = entry.is_regular_file() ? read_file(entry.path().string())
                                                               : std::vector<unsigned char>{};
    }
    return files;
}

TEST_F(SetCommands, ADryRunEndsAsTheRunsCheckAndWritesNothing) {
    const std::string odd = dir.file("odd.img");
    std::vector<unsigned char> bytes = read_file(disk);
    bytes.push_back(0x77);
    write_file(odd, bytes);
    const auto backed_up = [&] { run_command(run_backup_command, {disk, set}); };
    const struct {
        const char* what;
        command_function command;
        std::function<void()> prepare;
        std::vector<std::string> args;
        int status;
        const char* said;  // in the dry run's output or messages
    } cases[] = {
        {"backup into a new folder",
         run_backup_command,
         [] {},
         {disk, set},
         kExitDone,
         "フォルダを作ります"},
        {"a source of part sectors",
         run_backup_command,
         [] {},
         {odd, set},
         kExitDone,
         "最後の 1 バイトはバックアップされません"},
        {"a folder holding a set",
         run_backup_command,
         [&] { fs::create_directories(set), write_file(set + "/KRD00000.BIN", {1}); },
         {disk, set},
         kExitFailed,
         "既にバックアップデータがあります"},
        {"a source that is no disk",
         run_backup_command,
         [] {},
         {dir.text(), set},
         kExitFailed,
         "元ディスク"},
        {"--force and an unfinished set",
         run_backup_command,
         [&] { fs::create_directories(set), write_file(set + "/KRD00001.BIN", {1}); },
         {"--force", disk, set},
         kExitDone,
         "ファイル KRD00001.BIN を削除します"},
        {"restore into a new image",
         run_restore_command,
         backed_up,
         {set, restored},
         kExitDone,
         "イメージファイルを作ります"},
        {"an image holding data",
         run_restore_command,
         [&] {
             std::vector<unsigned char> full((2 * 32768 + 9) * 512);
             full[4096] = 1;
             backed_up(), write_file(restored, full);
         },
         {set, restored},
         kExitFailed,
         "0 でないデータ があります"},
        {"a target too small",
         run_restore_command,
         [&] {
             backed_up(), write_file(restored, std::vector<unsigned char>((2 * 32768 + 8) * 512));
         },
         {set, restored},
         kExitFailed,
         "小さすぎます"},
    };
    for (const auto& c : cases) {
        fs::remove_all(set);
        fs::remove(restored);
        c.prepare();
        const auto before = snapshot(dir.text());
        std::vector<std::string> dry = c.args;
        dry.insert(dry.begin(), "--dry-run");
        const run_result planned = run_command(c.command, dry);
        EXPECT_EQ(planned.status, c.status) << c.what << "\n" << planned.err;
        EXPECT_TRUE(contains(planned.out + planned.err, c.said)) << c.what << "\n" << planned.err;
        EXPECT_TRUE(snapshot(dir.text()) == before) << c.what;
        EXPECT_EQ(run_command(c.command, c.args).status, planned.status) << c.what;
    }
}

TEST_F(SetCommands, DamagedSetsFail) {
    ASSERT_EQ(run_command(run_backup_command, {disk, set}).status, kExitDone);
    std::vector<unsigned char> data = read_file(set + "/KRD00001.BIN");
    data[40] ^= 0xFF;
    write_file(set + "/KRD00001.BIN", data);
    const run_result verify = run_command(run_verify_command, {set});
    EXPECT_EQ(verify.status, kExitFailed);
    EXPECT_FALSE(contains(verify.err, "MeltReadSize")) << verify.err;
    const run_result info = run_command(run_info_command, {set});
    EXPECT_EQ(info.status, kExitFailed);
    // Restore stops on the damaged block: the new image's sector 0 stays blank.
    const run_result restore = run_command(run_restore_command, {set, restored});
    EXPECT_EQ(restore.status, kExitFailed);
    EXPECT_EQ(kiroda::test_support::first_sector(restored), std::vector<unsigned char>(512, 0));
    // The image this restore made is not left behind without a word.
    EXPECT_TRUE(contains(restore.err, "作りかけの復旧先イメージファイルが残っています"))
        << restore.err;
    // One that was there before is not this restore's to speak of.
    const run_result again = run_command(run_restore_command, {"--force", set, restored});
    EXPECT_EQ(again.status, kExitFailed);
    EXPECT_FALSE(contains(again.err, "作りかけ")) << again.err;

    write_file(set + "/KRD00000.BIN", {1, 2, 3});
    EXPECT_EQ(run_command(run_verify_command, {set}).status, kExitFailed);
}

// Damage the block checksums and the old checks cannot see: each now fails
// verify, info and restore, and the restore leaves sector 0 blank.
TEST_F(SetCommands, DamageOnlyTheStructureOrTheDigestsSee) {
    const std::string random_disk = dir.file("random.img");
    kiroda::test_support::make_random_image(random_disk, 2 * 32768 + 5, 7);
    const std::string pristine = dir.file("pristine");
    // Random bytes have no MBR: backed up whole with --force.
    ASSERT_EQ(run_command(run_backup_command, {"--force", random_disk, pristine}).status,
              kExitDone);
    const std::string small_set = dir.file("small");
    make_disk_image(dir.file("small.img"), 100, make_mbr_one_partition(2048, 60000));
    ASSERT_EQ(run_command(run_backup_command, {dir.file("small.img"), small_set}).status,
              kExitDone);
    const std::string data1 = "/KRD00001.BIN";
    // The same bit in two words: the block's checksums cancel out.
    const auto flip_two_words = [&](const std::string& s) {
        std::vector<unsigned char> data = read_file(s + data1);
        data[32 + 1000] ^= 0x04;
        data[32 + 1004] ^= 0x04;
        write_file(s + data1, data);
    };

    const struct {
        const char* what;
        std::function<void(const std::string&)> damage;
        const char* expected;
    } cases[] = {
        {"the header of a smaller set",
         [&](const std::string& s) {
             fs::copy_file(small_set + "/KRD00000.BIN", s + "/KRD00000.BIN",
                           fs::copy_options::overwrite_existing);
         },
         "KRDHASH.TXT"},
        {"the header of a smaller set, no digest file",
         [&](const std::string& s) {
             fs::copy_file(small_set + "/KRD00000.BIN", s + "/KRD00000.BIN",
                           fs::copy_options::overwrite_existing);
             fs::remove(s + "/KRDHASH.TXT");
         },
         "超えています"},
        {"40 bytes after the last block",
         [&](const std::string& s) {
             std::vector<unsigned char> data = read_file(s + data1);
             data.insert(data.end(), 40, 0);
             write_file(s + data1, data);
         },
         "余分なデータ"},
        {"the same bit flipped in two words", flip_two_words,
         "1 番目のブロックがダイジェストファイルの記録と一致しません"},
        // A digest file that does not read proves nothing: with the flips
        // above the set would restore the wrong disk with success.
        {"a digest file cut in half, and two flips",
         [&](const std::string& s) {
             std::vector<unsigned char> hashes = read_file(s + "/KRDHASH.TXT");
             hashes.resize(hashes.size() / 2);
             write_file(s + "/KRDHASH.TXT", hashes);
             flip_two_words(s);
         },
         "確かめられません"},
        {"a digest file of binary bytes",
         [&](const std::string& s) {
             write_file(s + "/KRDHASH.TXT", std::vector<unsigned char>(300, 0xC3));
         },
         "確かめられません"},
        {"two words swapped",
         [&](const std::string& s) {
             std::vector<unsigned char> data = read_file(s + data1);
             for (int i = 0; i < 4; ++i) std::swap(data[32 + 800 + i], data[32 + 2000 + i]);
             write_file(s + data1, data);
         },
         "1 番目のブロックがダイジェストファイルの記録と一致しません"},
    };
    for (const auto& c : cases) {
        const std::string s = dir.file("damaged");
        fs::remove_all(s);
        fs::copy(pristine, s);
        c.damage(s);
        const run_result verify = run_command(run_verify_command, {s});
        EXPECT_EQ(verify.status, kExitFailed) << c.what;
        EXPECT_TRUE(contains(verify.err, c.expected)) << c.what << "\n" << verify.err;
        EXPECT_EQ(run_command(run_info_command, {s}).status, kExitFailed) << c.what;
        fs::remove(restored);
        const run_result restore = run_command(run_restore_command, {s, restored});
        EXPECT_EQ(restore.status, kExitFailed) << c.what;
        EXPECT_EQ(kiroda::test_support::first_sector(restored), std::vector<unsigned char>(512, 0))
            << c.what;
    }
}

// KRDDISK.TXT changed after the backup: the digest file no longer proves it.
// A backup cut during its read-back: every block there, no digest file.
TEST_F(SetCommands, ASetCutBeforeItsDigestFileSaysItIsUnfinished) {
    ASSERT_EQ(run_command(run_backup_command, {disk, set}).status, kExitDone);
    fs::remove(set + "/KRDHASH.TXT");
    write_file(set + "/KRDOPEN.TXT", {});
    const run_result info = run_command(run_info_command, {set});
    EXPECT_EQ(info.status, kExitFailed);
    EXPECT_TRUE(contains(info.out, "未完成")) << info.out;
    EXPECT_EQ(run_command(run_verify_command, {set}).status, kExitFailed);
    const run_result resume = run_command(run_backup_command, {"--resume", disk, set});
    EXPECT_EQ(resume.status, kExitDone) << resume.err;
    EXPECT_TRUE(fs::exists(set + "/KRDHASH.TXT") && !fs::exists(set + "/KRDOPEN.TXT"));
    EXPECT_EQ(run_command(run_verify_command, {set}).status, kExitDone);
}

TEST_F(SetCommands, AnEditedSourceRecordIsNotProven) {
    ASSERT_EQ(run_command(run_backup_command, {disk, set}).status, kExitDone);
    std::vector<unsigned char> record = read_file(set + "/KRDDISK.TXT");
    const std::string text(record.begin(), record.end());
    // A path that would clear the screen and forge a line, and a byte no
    // UTF-8 text holds.
    const std::string edited = text.substr(0, text.find("path /")) +
                               "path X\x1b[2J\x1b[HTarget checked: OK\xFF" +
                               text.substr(text.find("path /") + 6);
    write_file(set + "/KRDDISK.TXT", std::vector<unsigned char>(edited.begin(), edited.end()));
    const run_result verify = run_command(run_verify_command, {set});
    EXPECT_EQ(verify.status, kExitFailed);
    EXPECT_TRUE(contains(verify.err, "KRDDISK.TXT がダイジェストファイルの記録と一致しないか"))
        << verify.err;
    const run_result info = run_command(run_info_command, {set});
    EXPECT_EQ(info.status, kExitFailed);
    EXPECT_TRUE(contains(info.out, "確かめられない記録です:\n    X")) << info.out;
    const run_result json = run_command(run_info_command, {"--json", set});
    EXPECT_TRUE(contains(json.out, "\"digest\":\"differs\"")) << json.out;
    const run_result restore = run_command(run_restore_command, {set, restored});
    EXPECT_EQ(restore.status, kExitDone) << restore.err;
    EXPECT_TRUE(contains(restore.err, "確かめられない記録です): X")) << restore.err;
    const std::string shown = "X\xEF\xBF\xBD[2J\xEF\xBF\xBD[HTarget checked: OK\xEF\xBF\xBD";
    for (const std::string& out : {info.out, json.out, restore.err}) {
        EXPECT_TRUE(contains(out, shown)) << out;
        EXPECT_FALSE(contains(out, "\x1b") || contains(out, "\xFF")) << out;
    }
}

// The map's '/' in the layout's own words: non-scraped, as the rescue
// tools' viewers say.
TEST_F(SetCommands, InfoNamesTheMapsStatesAsTheLayoutDoes) {
    ASSERT_EQ(run_command(run_backup_command, {disk, set}).status, kExitDone);
    const std::string map =
        "# current_pos  current_status  current_pass\n0x00000000     +               1\n"
        "0x00000000  0x00000A00  +\n0x00000A00  0x00000400  /\n0x00000E00  0x00000200  -\n"
        "0x00001000  0x01FFF200  +\n";
    write_file(set + "/KRDMAP.TXT", std::vector<unsigned char>(map.begin(), map.end()));
    const run_result text = run_command(run_info_command, {set});
    EXPECT_TRUE(contains(text.out, "一つずつ読み直さなかったセクタ: 2 個")) << text.out;
    EXPECT_TRUE(contains(text.out, "セクタ 5 から 6 まで (一つずつ読み直さなかった)")) << text.out;
    const run_result json = run_command(run_info_command, {"--json", set});
    EXPECT_TRUE(contains(json.out, "\"non_scraped\":2")) << json.out;
    EXPECT_TRUE(contains(json.out, "\"state\":\"non_scraped\"")) << json.out;
}

// After a backup the set is the disk; after a restore the disk is the set.
TEST_F(SetCommands, VerifyAgainstADisk) {
    ASSERT_EQ(run_command(run_backup_command, {disk, set}).status, kExitDone);
    const run_result same = run_command(run_verify_command, {"--against", disk, set});
    EXPECT_EQ(same.status, kExitDone) << same.err;
    EXPECT_TRUE(contains(same.out, "比較完了"));
    std::vector<unsigned char> other = read_file(disk);
    other[5 * 512 + 3] ^= 1;
    write_file(restored, other);
    const run_result differs = run_command(run_verify_command, {set, "--against", restored});
    EXPECT_EQ(differs.status, kExitFailed);
    EXPECT_TRUE(contains(differs.err, "セクタ 5 から 5 まで")) << differs.err;
    EXPECT_EQ(run_command(run_verify_command, {set, "--against"}).status, kExitUsage);
    EXPECT_EQ(run_command(run_verify_command, {set, "--nonsense"}).status, kExitUsage);
}

// A real file behind FUSE that stores one write altered while reporting
// success: the read-back finds it and sector 0 is never written.
TEST_F(SetCommands, ATargetThatAltersAWriteKeepsItsSectorZero) {
    ASSERT_EQ(run_command(run_backup_command, {disk, set}).status, kExitDone);
    const std::string backing = dir.file("backing.img");
    write_file(backing, std::vector<unsigned char>(std::size_t{2 * 32768 + 9} * 512, 0));
    for (const bool read_back : {true, false}) {
        kiroda::test_support::fault_fs_mount mount(backing, dir.file("mnt"),
                                                   {"--alter-write", "40000"});
        if (!mount.mounted()) GTEST_SKIP() << mount.why();
        std::vector<std::string> args = {set, mount.image()};
        // The second run finds the first one's data on the target: --force
        // (and --yes: no terminal to confirm it on).
        if (!read_back) args.insert(args.begin(), {"--no-readback", "--force", "--yes"});
        const run_result r = run_command(run_restore_command, args);
        if (read_back) {
            EXPECT_EQ(r.status, kExitFailed) << r.err;
            EXPECT_TRUE(contains(r.err, "読み戻すと異なっています")) << r.err;
            EXPECT_TRUE(contains(r.err, "セクタ 32,768 から 65,535 まで")) << r.err;
            EXPECT_EQ(kiroda::test_support::first_sector(backing),
                      std::vector<unsigned char>(512, 0));
        } else {
            // Without the check the lie goes unseen: the reason it is the default.
            EXPECT_EQ(r.status, kExitDone) << r.err;
            EXPECT_NE(read_file(backing), read_file(disk));
        }
    }
}

// The wizard's source rules, in krdtool too: what the format cannot hold is
// refused; a partition layout the rules do not know goes with --force.
TEST_F(SetCommands, BackupAppliesTheSourceRules) {
    std::vector<unsigned char> gpt = make_mbr_one_partition(1, 60000);
    gpt[446 + 4] = 0xEE;  // the protective entry of a GPT disk
    make_disk_image(dir.file("gpt.img"), 4000, gpt);
    write_file(dir.file("blank.img"), std::vector<unsigned char>(4000 * 512, 0));
    const struct {
        const char* what;
        std::string source;
        const char* refusal;
    } cases[] = {
        // A protective entry, but no GPT header behind it.
        {"GPT", dir.file("gpt.img"), "GPT の主ヘッダも予備ヘッダも壊れています"},
        {"no MBR signature", dir.file("blank.img"), "(0x55AA)"},
    };
    for (const auto& c : cases) {
        const std::string s = dir.file(std::string("set-") + c.what);
        const run_result refused = run_command(run_backup_command, {c.source, s});
        EXPECT_EQ(refused.status, kExitFailed) << c.what;
        EXPECT_TRUE(contains(refused.err, c.refusal)) << refused.err;
        EXPECT_TRUE(contains(refused.err, "--force")) << refused.err;
        EXPECT_FALSE(fs::exists(s + "/KRD00000.BIN")) << c.what;
        const run_result forced = run_command(run_backup_command, {c.source, s, "--force"});
        EXPECT_EQ(forced.status, kExitDone) << c.what << "\n" << forced.err;
        EXPECT_EQ(run_command(run_verify_command, {s}).status, kExitDone) << c.what;
    }
    // A FIFO is no disk, and asking it must not hang.
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    const run_result fifo =
        run_command(run_backup_command, {dir.file("pipe"), dir.file("set-fifo"), "--force"});
    EXPECT_EQ(fifo.status, kExitFailed);
    EXPECT_TRUE(contains(fifo.err, "ブロックデバイスでもイメージファイルでもありません"))
        << fifo.err;
}

TEST_F(SetCommands, ASourceOfPartSectorsNamesTheBytesLeftOut) {
    std::vector<unsigned char> bytes = read_file(disk);
    bytes.resize(bytes.size() + 1, 0x77);
    write_file(dir.file("odd.img"), bytes);
    const run_result r = run_command(run_backup_command, {dir.file("odd.img"), set});
    EXPECT_EQ(r.status, kExitDone) << r.err;
    EXPECT_TRUE(contains(r.err, "最後の 1 バイトはバックアップされません")) << r.err;
}

// A folder with an unfinished set: refused with a way out, which --force
// takes; the retry gives a complete set.
TEST_F(SetCommands, AnUnfinishedSetIsClearedOnlyWithForce) {
    fs::create_directories(set);
    write_file(set + "/KRD00000.BIN", {1, 2});
    write_file(set + "/KRD00001.BIN", {3});
    const run_result refused = run_command(run_backup_command, {disk, set});
    EXPECT_EQ(refused.status, kExitFailed);
    EXPECT_TRUE(contains(refused.err, "--force")) << refused.err;
    const run_result forced = run_command(run_backup_command, {"--force", disk, set});
    EXPECT_EQ(forced.status, kExitDone) << forced.err;
    EXPECT_EQ(run_command(run_verify_command, {set}).status, kExitDone);
    // A finished set is somebody's backup: --force deletes none of it, with
    // its digest file or (an older program's set) without.
    for (const bool with_digests : {true, false}) {
        if (!with_digests) fs::remove(set + "/KRDHASH.TXT");
        const auto before = read_file(set + "/KRD00001.BIN");
        const run_result again = run_command(run_backup_command, {"--force", disk, set});
        EXPECT_EQ(again.status, kExitFailed) << with_digests;
        EXPECT_TRUE(contains(again.err, "完成したバックアップデータ")) << again.err;
        EXPECT_EQ(read_file(set + "/KRD00001.BIN"), before);
    }
}

// A new image keeps the set's zero chunks as holes.
TEST_F(SetCommands, ARestoreIntoANewImageIsSparse) {
    // Eight chunks: an MBR, zeros, and one byte in the last sector.
    const std::string big = dir.file("big.img");
    {
        const std::vector<unsigned char> mbr = make_mbr_one_partition(2048, 60000);
        std::ofstream image(big, std::ios::binary);
        image.write(reinterpret_cast<const char*>(mbr.data()), 512);
        image.seekp(std::streamoff{8} * 32768 * 512 - 1);
        image.put('\x5A');
    }
    ASSERT_EQ(run_command(run_backup_command, {big, set}).status, kExitDone);
    // A new image, and one made beforehand (truncate -s) that holds only zeros.
    for (const bool made_before : {false, true}) {
        fs::remove(restored);
        if (made_before)
            std::ofstream(restored).close(), fs::resize_file(restored, fs::file_size(big));
        const run_result r = run_command(run_restore_command, {set, restored});
        ASSERT_EQ(r.status, kExitDone) << r.err;
        EXPECT_TRUE(same_file(big, restored));
        struct stat st {};
        ASSERT_EQ(::stat(restored.c_str(), &st), 0);
        // Six of the eight chunks are zeros: they stay holes.
        EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512,
                  std::uint64_t{8} * 32768 * 512 / 2)
            << made_before;
    }
}

// Every failed system call in a message carries the system's reason: a
// missing set, a folder that cannot be made, a missing disk to compare, and
// behind FUSE a disk whose sector 0 fails with EIO (as a source, and as a
// target image, which is then no "data").
TEST_F(SetCommands, FailuresSayTheSystemsReason) {
    ASSERT_EQ(run_command(run_backup_command, {disk, set}).status, kExitDone);
    write_file(dir.file("plain.txt"), {1});
    kiroda::test_support::fault_fs_mount mount(disk, dir.file("mnt"), {"--eio", "0"});
    const struct {
        command_function command;
        std::vector<std::string> args;
        const char* said;
        int reason;
    } cases[] = {
        {run_verify_command, {dir.file("nothere")}, "KRD00000.BIN", ENOENT},
        {run_backup_command, {disk, dir.file("plain.txt/set")}, "フォルダを作れません", ENOTDIR},
        {run_verify_command, {"--against", dir.file("nodisk.img"), set}, "開けません", ENOENT},
        {run_backup_command, {mount.image(), dir.file("s2")}, "先頭セクタ (MBR) を読めません", EIO},
        {run_restore_command, {set, mount.image()}, "イメージファイルを読めません", EIO},
    };
    for (const auto& c : cases) {
        if (c.args.front() == mount.image() || c.args.back() == mount.image()) {
            if (!mount.mounted()) continue;  // no FUSE here: the other cases still count
        }
        const run_result r = run_command(c.command, c.args);
        EXPECT_EQ(r.status, kExitFailed) << c.said;
        EXPECT_TRUE(contains(r.err, c.said)) << r.err;
        EXPECT_TRUE(contains(r.err, std::strerror(c.reason))) << c.said << "\n" << r.err;
    }
}

// A real I/O error under krdtool: an image behind FUSE whose chosen sectors
// fail with EIO. --rescue gets past them; the map lists exactly them, and the
// restored image is the source with exactly them zeroed.
TEST_F(SetCommands, RescueGetsPastRealReadErrors) {
    const std::vector<std::string> bad = {"5", "32768", "32769", "65544"};
    kiroda::test_support::fault_fs_mount mount(
        disk, dir.file("mnt"),
        {"--eio", bad[0], "--eio", bad[1], "--eio", bad[2], "--eio", bad[3]});
    if (!mount.mounted()) GTEST_SKIP() << mount.why();
    // Without --rescue and without a terminal: no question, a stop, and the
    // command that goes on from there, which then does.
    const run_result plain = run_command(run_backup_command, {mount.image(), dir.file("plain")});
    EXPECT_EQ(plain.status, kExitFailed);
    const std::string next =
        "krdtool backup --resume --rescue " + mount.image() + " " + dir.file("plain");
    EXPECT_TRUE(contains(plain.err, next)) << plain.err;
    EXPECT_FALSE(contains(plain.err, "キャンセル")) << plain.err;
    EXPECT_TRUE(contains(plain.err, std::strerror(EIO))) << plain.err;
    const run_result next_run =
        run_command(run_backup_command, {"--resume", "--rescue", mount.image(), dir.file("plain")});
    EXPECT_EQ(next_run.status, kExitDone) << next_run.err;
    // --yes answers questions, but never trades sectors for zeros: that
    // takes --rescue.
    const run_result yes =
        run_command(run_backup_command, {"--yes", mount.image(), dir.file("yes")});
    EXPECT_EQ(yes.status, kExitFailed);
    EXPECT_FALSE(contains(yes.err, "(--yes: はい)")) << yes.err;
    EXPECT_TRUE(contains(yes.err, "元ディスクを読めません")) << yes.err;
    EXPECT_FALSE(contains(yes.err, "DiskRead")) << yes.err;

    const run_result r = run_command(run_backup_command, {"--rescue", mount.image(), set});
    ASSERT_EQ(r.status, kExitDone) << r.err;
    EXPECT_TRUE(contains(r.out, "読めないセクタ 4 個 (KRDMAP.TXT)")) << r.out;
    EXPECT_TRUE(contains(r.out, "セクタ 32,768 から 32,769 まで (読めない): 第1パーテーション"))
        << r.out;
    const std::vector<unsigned char> map_bytes = read_file(set + "/KRDMAP.TXT");
    const std::string map(map_bytes.begin(), map_bytes.end());
    for (const char* line :
         {"0x00000A00  0x00000200  -", "0x01000000  0x00000400  -", "0x02001000  0x00000200  -"}) {
        EXPECT_TRUE(contains(map, line)) << line << "\n" << map;
    }
    EXPECT_EQ(run_command(run_verify_command, {set}).status, kExitDone);
    const run_result restore = run_command(run_restore_command, {set, restored});
    ASSERT_EQ(restore.status, kExitDone) << restore.err;
    std::vector<unsigned char> expected = read_file(disk);
    for (const std::string& s : bad) std::fill_n(expected.begin() + std::stoll(s) * 512, 512, 0);
    EXPECT_TRUE(read_file(restored) == expected);
}

// A disk whose sector 0 does not read: refused, but rescued with --force
// (sector 0 zeros in the map).
TEST_F(SetCommands, ARescueTakesADiskWhoseSectorZeroIsLost) {
    kiroda::test_support::fault_fs_mount mount(disk, dir.file("mnt"), {"--eio", "0"});
    if (!mount.mounted()) GTEST_SKIP() << mount.why();
    const struct {
        std::vector<std::string> options;
        int status;
        const char* said;
    } cases[] = {
        {{"--rescue"}, kExitFailed, "元ディスクの先頭セクタ (MBR) を読めません"},
        {{"--force"}, kExitFailed, "元ディスクの先頭セクタ (MBR) を読めません"},
        {{"--rescue", "--force"}, kExitDone, "直すまでパーテーションテーブルがありません"},
    };
    for (const auto& c : cases) {
        fs::remove_all(set);
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {mount.image(), set});
        const run_result r = run_command(run_backup_command, args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(contains(r.err, c.said)) << r.err;
    }
    const std::vector<unsigned char> map = read_file(set + "/KRDMAP.TXT");
    EXPECT_TRUE(contains(std::string(map.begin(), map.end()), "0x00000000  0x00000200  -"));
}

TEST_F(SetCommands, AMissingDataFileWithoutATerminalIsCancelled) {
    ASSERT_EQ(run_command(run_backup_command, {disk, set}).status, kExitDone);
    fs::remove(set + "/KRD00001.BIN");
    const run_result r = run_command(run_verify_command, {set});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_TRUE(contains(r.err, "KRD00001.BIN"));
    EXPECT_TRUE(contains(r.err, "端末がないため「いいえ」"));
}

TEST_F(SetCommands, InfoJsonDescribesTheSet) {
    ASSERT_EQ(run_command(run_backup_command, {disk, set}).status, kExitDone);
    const std::vector<unsigned char> image = read_file(disk);
    char stream[kDigestHexLength + 1];
    format_digest(stream, digest_bytes(image.data(), image.size()));

    const run_result good = run_command(run_info_command, {"--json", set});
    EXPECT_EQ(good.status, kExitDone) << good.err;
    test_support::json_value v;
    std::string error;
    ASSERT_TRUE(test_support::parse_json(good.out, &v, &error)) << error << "\n" << good.out;
    EXPECT_EQ(v["set"].text, set);
    EXPECT_EQ(v["header"]["backup_bytes"].unsigned_number(), image.size());
    EXPECT_EQ(v["header"]["sectors"].unsigned_number(), image.size() / 512);
    EXPECT_EQ(v["header"]["version"].text, "1.14");
    ASSERT_EQ(v["data_files"].items.size(), 1u);
    EXPECT_EQ(v["data_files"].items[0]["name"].text, "KRD00001.BIN");
    EXPECT_EQ(v["data_files"].items[0]["blocks"].unsigned_number(),
              3u);  // two whole chunks and 9 sectors
    EXPECT_EQ(v["data_files"].items[0]["bytes"].unsigned_number(), image.size());
    EXPECT_EQ(v["data_bytes"].unsigned_number(), image.size());
    EXPECT_TRUE(v["complete"].boolean);
    EXPECT_EQ(v["digests"]["file"].text, "read");
    EXPECT_EQ(v["digests"]["blocks"].unsigned_number(), 3u);
    EXPECT_EQ(v["digests"]["stream"].text, stream);
    EXPECT_TRUE(v["digests"]["header_matches"].boolean);
    EXPECT_EQ(v["bad_sectors"]["map"].text, "absent");
    EXPECT_TRUE(v["ok"].boolean);

    // A set that lost its only data file: still one JSON document, saying so.
    fs::remove(set + "/KRD00001.BIN");
    const run_result bad = run_command(run_info_command, {set, "--json"});
    EXPECT_EQ(bad.status, kExitFailed);
    ASSERT_TRUE(test_support::parse_json(bad.out, &v, &error)) << error << "\n" << bad.out;
    EXPECT_TRUE(v["data_files"].items.empty());
    EXPECT_EQ(v["data_bytes"].unsigned_number(), 0u);
    EXPECT_FALSE(v["complete"].boolean);
    EXPECT_FALSE(v["ok"].boolean);
}

TEST_F(SetCommands, ASecondWriterOfASetIsRefused) {
    fs::create_directories(set);
    // What the other krdtool has written so far: --force must not clear it.
    write_file(set + "/KRD00000.BIN", std::vector<unsigned char>(100, 1));
    {
        // Another krdtool's backup into the folder, still going.
        unique_fd other(::open(set.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{disk, set}, std::vector<std::string>{"--resume", disk, set},
              std::vector<std::string>{"--force", disk, set}}) {
            const run_result r = run_command(run_backup_command, args);
            EXPECT_EQ(r.status, kExitFailed);
            EXPECT_TRUE(contains(r.err, "別の krdtool が使っています")) << r.err;
            EXPECT_EQ(read_file(set + "/KRD00000.BIN"), std::vector<unsigned char>(100, 1))
                << args[0];
        }
    }
    EXPECT_EQ(run_command(run_backup_command, {"--resume", disk, set}).status, kExitDone);
}

// A resume names the set it goes on with by the moment it was begun, and
// ends with the set one run would have written.
TEST_F(SetCommands, AResumeNamesTheSetItGoesOnWith) {
    ASSERT_EQ(run_command(run_backup_command, {disk, set}).status, kExitDone);
    const std::vector<unsigned char> whole = read_file(set + "/KRD00001.BIN");
    fs::remove(set + "/KRDHASH.TXT");
    {
        unique_fd fd(open_for_reading((set + "/KRD00001.BIN").c_str()));
        ASSERT_GT(skip_packed_block(fd.get()), 0);
        const off_t first_block = ::lseek(fd.get(), 0, SEEK_CUR);
        fs::resize_file(set + "/KRD00001.BIN", static_cast<std::uintmax_t>(first_block) + 10);
    }
    const run_result r = run_command(run_backup_command, {"--resume", disk, set});
    EXPECT_EQ(r.status, kExitDone) << r.err;
    EXPECT_TRUE(contains(r.err, "に始めたバックアップを続けます")) << r.err;
    EXPECT_EQ(read_file(set + "/KRD00001.BIN"), whole);
}

// Under /dev a missing name is an unplugged disk and is never made a file;
// a memory file system mounted there (/dev/shm) takes an image as any does.
TEST_F(SetCommands, ImagesAreMadeUnderDevOnlyOnAFileSystemOfTheirOwn) {
    ASSERT_EQ(run_command(run_backup_command, {disk, set}).status, kExitDone);
    const std::string unplugged = "/dev/kiroda-test-unplugged-" + std::to_string(::getpid());
    const run_result refused = run_command(run_restore_command, {set, unplugged});
    EXPECT_EQ(refused.status, kExitFailed);
    EXPECT_TRUE(contains(refused.err, "復旧先のデバイスがありません")) << refused.err;
    EXPECT_FALSE(fs::exists(unplugged));

    struct stat shm {
    }, devices{};
    if (::stat("/dev/shm", &shm) != 0 || ::stat("/dev", &devices) != 0 ||
        shm.st_dev == devices.st_dev)
        GTEST_SKIP() << "no file system of its own on /dev/shm here";
    const std::string image = "/dev/shm/kiroda-test-" + std::to_string(::getpid()) + ".img";
    const run_result made = run_command(run_restore_command, {set, image});
    EXPECT_EQ(made.status, kExitDone) << made.err;
    EXPECT_TRUE(same_file(disk, image));
    fs::remove(image);
}

TEST_F(SetCommands, YesAnswersAQuestionOnceButNeverForever) {
    ASSERT_EQ(run_command(run_backup_command, {disk, set}).status, kExitDone);
    fs::remove(set + "/KRD00001.BIN");
    // Yes to "insert the medium with KRD00001.BIN" tries again; the same
    // question once more is cancelled, as nobody can swap a medium.
    const run_result r = run_command(run_verify_command, {"--yes", set});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_TRUE(contains(r.err, "(--yes: はい)")) << r.err;
    EXPECT_TRUE(contains(r.err, "同じ質問が続くため")) << r.err;
}

}  // namespace
}  // namespace kiroda::cli
