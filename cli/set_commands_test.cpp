#include "cli/set_commands.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_test_capture.h"
#include "cli/command.h"
#include "cli/terminal_progress.h"
#include "disk/disk_test_image.h"
#include "engine/engine_test_support.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::testing::make_blank_target;
using kiroda::testing::make_disk_image;
using kiroda::testing::make_mbr_one_partition;
using kiroda::testing::read_file;
using kiroda::testing::same_file;
using kiroda::testing::temp_folder;
using kiroda::testing::write_file;
using testing::captured_stream;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct run_result {
    int status;
    std::string out;
    std::string err;
};

run_result run(command_function f, const std::vector<std::string>& args) {
    captured_stream out, err;
    const int status = f(args, out.get(), err.get());
    return {status, out.text(), err.text()};
}

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
    const run_result backup = run(run_backup_command, {disk, set});
    ASSERT_EQ(backup.status, kExitDone) << backup.err;
    EXPECT_TRUE(contains(backup.out, "バックアップ完了"));
    EXPECT_TRUE(fs::exists(set + "/KRD00000.BIN"));

    const run_result verify = run(run_verify_command, {set});
    EXPECT_EQ(verify.status, kExitDone) << verify.err;
    EXPECT_TRUE(contains(verify.out, "テスト完了"));

    const run_result info = run(run_info_command, {set});
    EXPECT_EQ(info.status, kExitDone) << info.err;
    EXPECT_TRUE(contains(info.out, "33,559,040 バイト"));  // (2 x 32,768 + 9) sectors
    EXPECT_TRUE(contains(info.out, "KRD00001.BIN: ブロック 3 個"));
    EXPECT_TRUE(contains(info.out, "1.14"));

    // The target image does not exist: it is made at the set's size.
    const run_result restore = run(run_restore_command, {set, restored});
    ASSERT_EQ(restore.status, kExitDone) << restore.err;
    EXPECT_TRUE(same_file(disk, restored));
}

TEST_F(SetCommands, UsageErrors) {
    const struct {
        command_function f;
        std::vector<std::string> args;
    } cases[] = {
        {run_backup_command, {}},
        {run_backup_command, {disk}},
        {run_verify_command, {}},
        {run_restore_command, {set}},
        {run_info_command, {set, set}},
    };
    for (const auto& c : cases) {
        const run_result r = run(c.f, c.args);
        EXPECT_EQ(r.status, kExitUsage);
        EXPECT_TRUE(contains(r.err, "使い方"));
    }
}

TEST_F(SetCommands, BackupRefusesAFolderThatHoldsASetOrAProgramCopy) {
    for (const char* name : {"KRD00003.BIN", "KIRODA.EXE"}) {
        temp_folder used;
        write_file(used.file(name), {1});
        const run_result r = run(run_backup_command, {disk, used.text()});
        EXPECT_EQ(r.status, kExitFailed) << name;
        EXPECT_TRUE(contains(r.err, name)) << r.err;
        EXPECT_FALSE(fs::exists(used.file("KRD00000.BIN"))) << name;
    }
}

TEST_F(SetCommands, BackupRefusesWhatIsNoDisk) {
    const run_result missing = run(run_backup_command, {dir.file("absent.img"), set});
    EXPECT_EQ(missing.status, kExitFailed);
    write_file(dir.file("tiny.img"), std::vector<unsigned char>(100, 1));
    const run_result tiny = run(run_backup_command, {dir.file("tiny.img"), set});
    EXPECT_EQ(tiny.status, kExitFailed);
    EXPECT_FALSE(fs::exists(set + "/KRD00000.BIN"));
}

TEST_F(SetCommands, RestoreRefusesATargetThatIsNotEmptyOrTooSmall) {
    ASSERT_EQ(run(run_backup_command, {disk, set}).status, kExitDone);
    // The source itself has a partition; a blank image one sector short is too small.
    make_blank_target(restored, 2 * 32768 + 8);
    const std::vector<unsigned char> before = read_file(restored);
    for (const std::string& target : {disk, restored}) {
        const run_result r = run(run_restore_command, {set, target});
        EXPECT_EQ(r.status, kExitFailed) << target;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(read_file(restored), before);
}

TEST_F(SetCommands, DamagedSetsFail) {
    ASSERT_EQ(run(run_backup_command, {disk, set}).status, kExitDone);
    std::vector<unsigned char> data = read_file(set + "/KRD00001.BIN");
    data[40] ^= 0xFF;
    write_file(set + "/KRD00001.BIN", data);
    const run_result verify = run(run_verify_command, {set});
    EXPECT_EQ(verify.status, kExitFailed);
    EXPECT_TRUE(contains(verify.err, "MeltReadSize = -"));
    const run_result info = run(run_info_command, {set});
    EXPECT_EQ(info.status, kExitFailed);
    // Restore stops on the damaged block: the new image's sector 0 stays blank.
    const run_result restore = run(run_restore_command, {set, restored});
    EXPECT_EQ(restore.status, kExitFailed);
    EXPECT_EQ(kiroda::testing::first_sector(restored), std::vector<unsigned char>(512, 0));

    write_file(set + "/KRD00000.BIN", {1, 2, 3});
    EXPECT_EQ(run(run_verify_command, {set}).status, kExitFailed);
}

TEST_F(SetCommands, AMissingDataFileWithoutATerminalIsCancelled) {
    ASSERT_EQ(run(run_backup_command, {disk, set}).status, kExitDone);
    fs::remove(set + "/KRD00001.BIN");
    const run_result r = run(run_verify_command, {set});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_TRUE(contains(r.err, "KRD00001.BIN"));
    EXPECT_TRUE(contains(r.err, "キャンセル"));
}

TEST(TerminalProgress, InterruptRequestsAStop) {
    captured_stream err;
    terminal_progress p(err.get(), 1000, false);
    EXPECT_TRUE(p.running());
    std::raise(SIGINT);
    EXPECT_FALSE(p.running());
    EXPECT_TRUE(p.stopped_by_user());
}

TEST(TerminalProgress, BarShowsDoneAndLeft) {
    captured_stream err;
    {
        terminal_progress p(err.get(), 3000000000ULL, true);
        p.set_status("ディスク復旧中");
        p.set_bytes_left(1000000000ULL);
    }
    const std::string text = err.text();
    EXPECT_TRUE(contains(text, "2,000 MB 済 / 残り 1,000 MB")) << text;
    EXPECT_TRUE(contains(text, "ディスク復旧中"));
    EXPECT_EQ(text.back(), '\n');
}

}  // namespace
}  // namespace kiroda::cli
