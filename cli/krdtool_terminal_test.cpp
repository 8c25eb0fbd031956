// krdtool as a user or a script runs it: on terminals of 40, 80 and 200
// columns and piped, in English and Japanese, its questions answered as typed.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/capture_test_support.h"
#include "cli/pty_run_test_support.h"
#include "cli/set_commands.h"
#include "cli/terminal_progress.h"
#include "disk/disk_image_test_support.h"
#include "engine/engine_test_support.h"
#include "testfs/fault_fs_mount.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::test_support::make_disk_image;
using kiroda::test_support::make_mbr_one_partition;
using kiroda::test_support::same_file;
using kiroda::test_support::temp_folder;
using test_support::run_krdtool;
using test_support::terminal_run;

constexpr const char* kEn = "C.UTF-8";
constexpr const char* kJa = "ja_JP.UTF-8";
constexpr std::uint64_t kSectors = 2 * 32768 + 9;

struct row {
    std::vector<std::string> args;  // {set} {disk} {bad} {parted} {fs} {gpt} {new} are paths
    terminal_run how;
    int status;
    std::vector<std::string> says;         // on the screen (standard error)
    std::vector<std::string> never;        // nowhere
    std::vector<std::string> prints = {};  // on standard output
};

class KrdtoolTerminal : public ::testing::Test {
  protected:
    void SetUp() override {
        make_disk_image(disk, kSectors, make_mbr_one_partition(2048, 60000));
        ASSERT_EQ(test_support::run_command(run_backup_command, {disk, set}).status, kExitDone);
    }
    // Fresh targets for each row: one with a partition, one with a file
    // system straight on it.
    void make_targets() {
        make_disk_image(dir.file("parted.img"), kSectors, make_mbr_one_partition(63, 100));
        std::vector<unsigned char> ext(1082, 0);
        ext[1080] = 0x53;
        ext[1081] = 0xEF;
        make_disk_image(dir.file("fs.img"), kSectors, {});
        kiroda::test_support::write_file(dir.file("fs-head"), ext);
        std::FILE* f = std::fopen(dir.file("fs.img").c_str(), "r+b");
        std::fwrite(ext.data(), 1, ext.size(), f);
        std::fclose(f);
        // A protective entry and a GPT header's signature: a table, not a file system.
        make_disk_image(dir.file("gpt.img"), kSectors, make_mbr_one_partition(1, kSectors - 1));
        f = std::fopen(dir.file("gpt.img").c_str(), "r+b");
        std::fseek(f, 446 + 4, SEEK_SET);
        std::fputc(0xEE, f);
        std::fseek(f, 512, SEEK_SET);
        std::fwrite("EFI PART", 1, 8, f);
        std::fclose(f);
    }
    // `text` with each {name} in it replaced by its path.
    std::string path_of(std::string text, const std::string& bad, int n) const {
        const std::pair<const char*, std::string> names[] = {
            {"{set}", set},
            {"{disk}", disk},
            {"{bad}", bad},
            {"{parted}", dir.file("parted.img")},
            {"{fs}", dir.file("fs.img")},
            {"{gpt}", dir.file("gpt.img")},
            {"{new}", dir.file("new" + std::to_string(n))},
            {"{blank}", dir.file("blank.img")}};
        for (const auto& [name, path] : names) {
            for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name))
                text.replace(at, std::strlen(name), path);
        }
        return text;
    }
    void run_rows(const std::vector<row>& rows, const std::string& bad = "") {
        int n = 0;
        for (const row& r : rows) {
            make_targets();
            std::vector<std::string> args;
            ++n;
            for (const std::string& a : r.args) args.push_back(path_of(a, bad, n));
            const auto got = run_krdtool(args, r.how);
            const std::string said = r.args[0] + " " + std::to_string(r.how.columns) + " " +
                                     r.how.language + "\n" + got.screen + "\n--\n" + got.out;
            EXPECT_EQ(got.status, r.status) << said;
            for (const std::string& s : r.says)
                EXPECT_NE(got.screen.find(path_of(s, bad, n)), std::string::npos) << s << said;
            for (const std::string& s : r.prints)
                EXPECT_NE(got.out.find(s), std::string::npos) << s << said;
            for (const std::string& s : r.never)
                EXPECT_EQ((got.screen + got.out).find(s), std::string::npos) << s << said;
        }
    }
    temp_folder dir;
    std::string disk = dir.file("disk.img");
    std::string set = dir.file("set");
};

// An unreadable sector: asked [y/N] on a terminal (Enter is no); without
// one the backup stops and names the command that goes on past it.
TEST_F(KrdtoolTerminal, AnUnreadableSectorIsAskedOrStopsWithWhatToRunNext) {
    kiroda::test_support::fault_fs_mount mount(disk, dir.file("mnt"), {"--eio", "40000"});
    if (!mount.mounted()) GTEST_SKIP() << mount.why();
    run_rows(
        {
            {{"backup", "{bad}", "{new}"}, {80, kEn, "\n"}, 1, {"[y/N]"}, {"OK", "Cancel"}},
            {{"backup", "{bad}", "{new}"}, {40, kJa, "y\n"}, 0, {"[y/N]"}, {"キャンセル"}},
            {{"backup", "{bad}", "{new}"},
             {0, kEn},
             1,
             {"krdtool backup --resume --rescue {bad} {new}"},
             {"[y/N]", "Cancel"}},
            {{"backup", "{bad}", "{new}"}, {0, kJa}, 1, {"krdtool backup --resume --rescue"}, {}},
        },
        mount.image());
}

// A target that holds anything: refused with what it holds and the
// options; --force asks for the device's name on a terminal, and needs
// --yes without one.
TEST_F(KrdtoolTerminal, AUsedTargetIsWrittenOnlyOnPurpose) {
    run_rows({
        {{"restore", "{set}", "{parted}"}, {0, kEn}, 1, {"1 partition", "--force", "--yes"}, {}},
        {{"restore", "{set}", "{fs}"}, {0, kJa}, 1, {"ext2/ext3/ext4", "--force"}, {}},
        {{"restore", "{set}", "{gpt}"}, {0, kEn}, 1, {"a GPT partition table"}, {"file system"}},
        {{"restore", "--force", "{set}", "{parted}"}, {0, kEn}, 1, {"--yes"}, {}},
        {{"restore", "--dry-run", "-f", "{set}", "{parted}"}, {0, kEn}, 1, {"--yes"}, {}},
        {{"restore", "-f", "-y", "{set}", "{fs}"}, {0, kEn}, 0, {"ext2/ext3/ext4"}, {}},
        {{"restore", "--force", "{set}", "{parted}"},
         {80, kEn, "sdz\n"},
         1,
         {"Size: 33,559,040 bytes", "{parted}"},
         {"Restore done"}},
        {{"restore", "--force", "{set}", "{parted}"},
         {200, kJa, "parted.img\n"},
         0,
         {"装置名"},
         {},
         {"復旧完了"}},
    });
    EXPECT_TRUE(same_file(disk, dir.file("parted.img")));
}

// krdtool's own words: what is wrong, where, and what to do next; usage
// errors that name what is missing.
TEST_F(KrdtoolTerminal, MessagesSayWhatWhereAndWhatNext) {
    make_disk_image(dir.file("blank.img"), 100, {});
    const std::string gone = dir.file("gone");
    ASSERT_EQ(test_support::run_command(run_backup_command, {disk, gone}).status, kExitDone);
    fs::remove(gone + "/KRD00001.BIN");
    // A byte of the first block's code changed: its checksum fails.
    const std::string damaged = dir.file("damaged");
    fs::copy(set, damaged);
    std::vector<unsigned char> first = kiroda::test_support::read_file(damaged + "/KRD00001.BIN");
    first[40] ^= 0x5A;
    kiroda::test_support::write_file(damaged + "/KRD00001.BIN", first);
    run_rows({
        {{"verify", damaged},
         {0, kEn},
         1,
         {"KRD00001.BIN, block 1 (from sector 0), fails its checks"},
         {}},
        {{"restore", damaged, "{new}"},
         {0, kJa},
         1,
         {"KRD00001.BIN の 1 番目のブロック (セクタ 0 から) は検査に通りません"},
         {}},
        {{"backup", "{blank}", "{new}"},
         {0, kEn},
         1,
         {"no MBR signature (0x55AA) in sector 0"},
         {}},
        {{"backup", "{blank}", "{new}"},
         {0, kJa},
         1,
         {"セクタ 0 に MBR の署名 (0x55AA) がありません"},
         {"AA55 "}},
        {{"verify", gone},
         {0, kEn},
         1,
         {"KRD00001.BIN is missing: the set needs it"},
         {"Please change"}},
        {{"verify", "--json", gone},
         {0, kJa},
         1,
         {"KRD00001.BIN がありません"},
         {},
         {"{\"result\":\"failed\",\"exit_status\":1}"}},
        {{"x"}, {0, kEn}, 2, {"unknown command 'x' (try 'krdtool --help')"}, {"Usage"}},
        {{"restore", "{set}"}, {0, kJa}, 2, {"TARGET がありません", "使い方: krdtool restore"}, {}},
        {{"help", "backup"}, {0, kEn}, 0, {}, {}, {"Usage: krdtool backup", "-q, --quiet"}},
    });
    // Help fits 80 columns when it goes to no terminal.
    const auto help = run_krdtool({"help", "restore"}, {0, kJa});
    for (std::size_t at = 0, end; (end = help.out.find('\n', at)) != std::string::npos;
         at = end + 1)
        EXPECT_LT(display_width(help.out.substr(at, end - at)), 80)
            << help.out.substr(at, end - at);
}

// Progress at every width: each redraw fits the terminal whole; piped, a
// line every 10% and the summary after the 100%; -q and --progress=json.
TEST_F(KrdtoolTerminal, ProgressFitsEveryWidthAndPipesEveryTenPercent) {
    const std::string big = dir.file("big.img");
    make_disk_image(big, 400000, make_mbr_one_partition(2048, 390000));
    int n = 0;
    for (const terminal_run how : {terminal_run{40, kEn}, terminal_run{80, kJa},
                                   terminal_run{200, kEn}, terminal_run{0, kJa}}) {
        const std::string to = dir.file("p" + std::to_string(++n));
        const auto r = run_krdtool({"backup", big, to}, how);
        ASSERT_EQ(r.status, 0) << r.screen;
        for (std::size_t at = 0, end; at < r.screen.size(); at = end + 1) {
            end = std::min(r.screen.find_first_of("\r\n", at), r.screen.size());
            std::string line = r.screen.substr(at, end - at);
            if (line.rfind("\x1b[K", 0) == 0) line.erase(0, 3);
            if (how.columns > 0 && line.find("MB/s") != std::string::npos)
                EXPECT_LT(display_width(line), how.columns) << line;
        }
        if (how.columns == 0) {
            // One line for each 10% step the run crossed, and the 100%.
            int lines = 0;
            for (std::size_t at = r.screen.find(" MB/s"); at != std::string::npos;
                 at = r.screen.find(" MB/s", at + 1))
                ++lines;
            EXPECT_EQ(lines, 10) << r.screen;
            EXPECT_NE(r.screen.find("100%"), std::string::npos) << r.screen;
            EXPECT_EQ(r.screen.find("バックアップ完了"), std::string::npos) << r.screen;
        }
    }
    const auto quiet = run_krdtool({"backup", "-q", big, dir.file("q")}, {0, kEn});
    EXPECT_EQ(quiet.screen.find("MB/s"), std::string::npos) << quiet.screen;
    EXPECT_NE(quiet.out.find("Backup done"), std::string::npos) << quiet.out;
    const auto json = run_krdtool({"verify", "--progress=json", "--json", dir.file("q")}, {0, kEn});
    EXPECT_NE(json.screen.find("\"percent\":100,\"done_bytes\":204800000"), std::string::npos)
        << json.screen;
    EXPECT_EQ(json.out.rfind("{\"result\":\"done\",\"bytes\":204800000", 0), 0u) << json.out;
}

}  // namespace
}  // namespace kiroda::cli
