// krdtool ls, get and the files a rescue lost, on one generated disk: an
// MBR with a FAT32 primary (1), an NTFS primary (2) and an ext4 logical
// partition (5), each holding the same folders, a 20 MB file and Japanese
// names, and a deleted file of a known pattern. Skips (saying why) where a
// tool that makes them is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "cli/capture_test_support.h"
#include "cli/json_reader_test_support.h"
#include "cli/set_commands.h"
#include "engine/set_image.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::test_support::read_file;
using kiroda::test_support::temp_folder;
using test_support::json_value;
using test_support::run_command;

int shell(const std::string& command) {
    return std::system(("{ set -e; " + command + "\n} >/dev/null 2>&1").c_str());
}

// Partition starts (sectors); NTFS's files go in through ntfs-3g.
constexpr std::uint64_t kStart[] = {2048, 75776, 139264};
const char* const kMakeDisk = R"(
mkdir -p files/sub files/日本語フォルダ && echo hello >files/a.txt
head -c 20000000 /dev/urandom >files/sub/big.bin && echo こんにちは >files/日本語フォルダ/写真.txt
touch -d '2024-05-06 07:08:10' files/a.txt files/sub/big.bin
yes DELETEDPATTERN | head -c 1000000 >files/pat.bin
truncate -s $((204800 * 512)) disk.img
printf 'label: dos\nstart=2048, size=73728, type=c\nstart=75776, size=61440, type=7\nstart=137216, size=67584, type=5\nstart=139264, size=61440, type=83\n' | sfdisk -q disk.img
mkfs.vfat -F 32 -n FATVOL -C p1.img 36864 && LANG=C.UTF-8 mcopy -m -s -i p1.img files/* ::/ && mdel -i p1.img ::/pat.bin
truncate -s $((61440 * 512)) p2.img && LANG=C.UTF-8 mkntfs -q -F -Q -L ボリューム p2.img && mkdir m
ntfs-3g p2.img m && cp -a files/. m/ && rm m/pat.bin && umount m
mkfs.ext4 -q -F -g 1024 -L EXTVOL -d files p5.img 30M && debugfs -w -R 'rm pat.bin' p5.img && rm files/pat.bin
for p in 1:2048 2:75776 5:139264; do dd if=p${p%:*}.img of=disk.img bs=512 seek=${p#*:} conv=notrunc status=none; done
)";

class FileCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"sfdisk", "mkfs.vfat", "mcopy", "mkntfs", "ntfs-3g", "mkfs.ext4",
                                 "debugfs", "fsck.vfat", "e2fsck", "ntfsfix"}) {
            if (shell(std::string("command -v ") + tool) != 0)
                GTEST_SKIP() << tool << " is not installed (tools/setup installs it)";
        }
        if (shell("cd " + dir.text() + " && " + kMakeDisk) != 0)
            GTEST_SKIP() << "the test disk cannot be made here (ntfs-3g needs FUSE)";
        ASSERT_EQ(run_command(run_backup_command, {dir.file("disk.img"), set}).status, kExitDone);
        disk = read_file(dir.file("disk.img"));
        big = read_file(dir.file("files/sub/big.bin"));
    }
    // The disk sector holding byte `offset` of big.bin in partition `index`
    // (0, 1, 2), found by its bytes.
    std::uint64_t big_sector(int index, std::uint64_t offset) const {
        const auto from = disk.begin() + static_cast<long>(kStart[index] * 512);
        const auto at = std::search(from, disk.end(), big.begin() + static_cast<long>(offset),
                                    big.begin() + static_cast<long>(offset + 512));
        return static_cast<std::uint64_t>(at - disk.begin()) / 512;
    }
    void write_map(std::vector<std::uint64_t> lost, const std::string& folder = "") const {
        std::sort(lost.begin(), lost.end());
        std::ofstream map((folder.empty() ? set : folder) + "/KRDMAP.TXT");
        map << "0x" << std::hex << 204800 * 512 << " + 1\n";
        std::uint64_t at = 0;
        for (const std::uint64_t s : lost) {
            if (s > at) map << "0x" << at * 512 << " 0x" << (s - at) * 512 << " +\n";
            map << "0x" << s * 512 << " 0x200 -\n";
            at = s + 1;
        }
        map << "0x" << at * 512 << " 0x" << (204800 - at) * 512 << " +\n";
    }
    json_value json(const std::vector<std::string>& args) const {
        const auto r = run_command(run_ls_command, args);
        json_value v;
        std::string error;
        EXPECT_TRUE(parse_json(r.out, &v, &error)) << error << r.out << r.err;
        return v;
    }
    temp_folder dir;
    std::string set = dir.file("set");
    std::vector<unsigned char> disk, big;
};

TEST_F(FileCommands, LsListsThePartitionsAndExactlyTheFilesPutIn) {
    const json_value listing = json({"--json", set});
    const json_value& parts = listing["partitions"];
    ASSERT_EQ(parts.items.size(), 3u);
    const char* const types[] = {"fat32", "ntfs", "ext4"};
    const char* const labels[] = {"FATVOL", "ボリューム", "EXTVOL"};
    const std::set<std::string> put_in = {"a.txt", "sub", "sub/big.bin", "日本語フォルダ",
                                          "日本語フォルダ/写真.txt"};
    for (int i = 0; i < 3; ++i) {
        const int number = i == 2 ? 5 : i + 1;
        EXPECT_EQ(parts.items[i]["number"].unsigned_number(), static_cast<unsigned>(number));
        EXPECT_EQ(parts.items[i]["file_system"].text, types[i]);
        EXPECT_EQ(parts.items[i]["label"].text, labels[i]);
        std::set<std::string> listed;
        const json_value files = json({"-R", "--json", set, std::to_string(number)});
        for (const json_value& f : files["files"].items) listed.insert(f["path"].text);
        std::set<std::string> expected = put_in;
        if (number == 5) expected.insert("lost+found");
        EXPECT_EQ(listed, expected) << types[i];
    }
}

TEST_F(FileCommands, GetCopiesFilesAndFoldersWithTheirTimesAndNeverOverwrites) {
    for (const char* part : {"1", "2", "5"}) {
        const std::string out = dir.file(std::string("out") + part);
        ASSERT_EQ(run_command(run_get_command, {set, std::string(part) + ":/", out}).status,
                  kExitDone);
        for (const char* name : {"a.txt", "sub/big.bin", "日本語フォルダ/写真.txt"}) {
            EXPECT_EQ(read_file(out + "/" + name), read_file(dir.file("files/") + name)) << name;
        }
        // FAT keeps times to 2 seconds.
        const auto want = fs::last_write_time(dir.file("files/sub/big.bin"));
        const auto got = fs::last_write_time(out + "/sub/big.bin");
        EXPECT_LE(std::chrono::abs(want - got), std::chrono::seconds(2)) << part;
        const auto again = run_command(run_get_command, {set, std::string(part) + ":a.txt", out});
        EXPECT_EQ(again.status, kExitFailed);
        EXPECT_NE(again.err.find("--force"), std::string::npos);
        EXPECT_EQ(run_command(run_get_command, {"--force", set, std::string(part) + ":a.txt", out})
                      .status,
                  kExitDone);
    }
}

TEST_F(FileCommands, TheLostReportNamesTheFilesTheMetadataAndTheFreeSectors) {
    // In big.bin of each file system, in FAT's table past the clusters in
    // use (it starts after 32 reserved sectors), in unused blocks at the
    // FAT partition's end, and outside.
    const std::uint64_t in_fat = big_sector(0, 1 << 20), in_ntfs = big_sector(1, 2 << 20),
                        in_ext = big_sector(2, 3 << 20);
    write_map({1000, 2048 + 532, in_fat, 2048 + 73000, 2048 + 73001, in_ntfs, in_ext});
    const json_value r = json({"--lost", "--json", set});
    ASSERT_EQ(r["files"].items.size(), 3u);
    const std::uint64_t offsets[] = {1 << 20, 2 << 20, 3 << 20};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(r["files"].items[i]["path"].text, "/sub/big.bin");
        EXPECT_EQ(r["files"].items[i]["bytes_lost"].unsigned_number(), 512u);
        EXPECT_EQ(r["files"].items[i]["ranges"].items[0]["offset"].unsigned_number(), offsets[i]);
    }
    ASSERT_EQ(r["metadata"].items.size(), 1u);
    EXPECT_EQ(r["metadata"].items[0]["partition"].unsigned_number(), 1u);
    EXPECT_EQ(r["free_sectors"].unsigned_number(), 2u);
    EXPECT_EQ(r["outside_sectors"].unsigned_number(), 1u);
    // info says the same, in words and in JSON.
    EXPECT_NE(run_command(run_info_command, {set}).out.find("パーテーション 5: /sub/big.bin"),
              std::string::npos);
    json_value info;
    std::string error;
    ASSERT_TRUE(parse_json(run_command(run_info_command, {"--json", set}).out, &info, &error));
    EXPECT_EQ(info["bad_sectors"]["lost_files"]["files"].items.size(), 3u);

    const auto refused = run_command(run_get_command, {set, "5:sub/big.bin", dir.file("b")});
    EXPECT_EQ(refused.status, kExitFailed);
    const std::string range = std::to_string(3 << 20) + "-" + std::to_string((3 << 20) + 511);
    EXPECT_NE(refused.err.find(range), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(dir.file("b")));
    EXPECT_EQ(run_command(run_get_command, {"--lost-as-zeros", set, "5:sub/big.bin", dir.file("b")})
                  .status,
              kExitDone);
    std::vector<unsigned char> zeroed = big;
    std::fill_n(zeroed.begin() + (3 << 20), 512, 0);
    EXPECT_EQ(read_file(dir.file("b")), zeroed);
}

// A rescue that lost the first sector of a.txt's record in NTFS's file
// table: the library cannot read the record, but the root's index still
// holds the name, and the report names it.
TEST_F(FileCommands, AFileWhoseNtfsRecordWasLostIsNamed) {
    const std::string name = {'a', 0, '.', 0, 't', 0, 'x', 0, 't', 0};
    std::uint64_t record = 0;
    for (std::uint64_t s = kStart[1]; s < kStart[1] + 61440 && record == 0; ++s) {
        const auto at = disk.begin() + static_cast<long>(s * 512);
        if (std::equal(at, at + 4, "FILE") &&
            std::search(at, at + 512, name.begin(), name.end()) != at + 512)
            record = s;
    }
    ASSERT_NE(record, 0u);
    std::vector<unsigned char> zeroed = disk;
    std::fill_n(zeroed.begin() + static_cast<long>(record * 512), 512, 0);
    std::ofstream(dir.file("zeroed.img"), std::ios::binary)
        .write(reinterpret_cast<const char*>(zeroed.data()), static_cast<long>(zeroed.size()));
    const std::string rescued = dir.file("rescued");
    ASSERT_EQ(run_command(run_backup_command, {dir.file("zeroed.img"), rescued}).status, kExitDone);
    write_map({record}, rescued);
    const json_value r = json({"--lost", "--json", rescued});
    ASSERT_EQ(r["files"].items.size(), 1u);
    EXPECT_EQ(r["files"].items[0]["partition"].unsigned_number(), 2u);
    EXPECT_EQ(r["files"].items[0]["path"].text, "/a.txt");
    EXPECT_TRUE(r["files"].items[0]["record_lost"].boolean);
    EXPECT_NE(run_command(run_ls_command, {"--lost", rescued}).out.find("2: /a.txt ("),
              std::string::npos);
}

TEST_F(FileCommands, RefusalsSayWhatIsWrong) {
    const struct {
        command_function run;
        std::vector<std::string> args;
        int status;
        const char* says;
    } rows[] = {
        {run_ls_command, {set, "9"}, kExitFailed, "パーテーション 9 はありません"},
        {run_ls_command, {set, "1:nothing/here"}, kExitFailed, "nothing/here"},
        {run_ls_command, {"-x", set}, kExitUsage, "-x"},
        {run_ls_command, {set, "one"}, kExitUsage, "使い方"},
        {run_get_command, {set}, kExitUsage, "使い方"},
        {run_get_command, {set, "2:nothing", dir.file("x")}, kExitFailed, "nothing"},
        {run_get_command,
         {set, "1:a.txt", dir.file("no/such/folder/a.txt")},
         kExitFailed,
         "no/such"},
        {run_ls_command, {dir.file("files")}, kExitFailed, ""},
        {run_backup_command,
         {"--used-only", "--resume", dir.file("disk.img"), dir.file("x")},
         kExitUsage,
         "--resume"},
    };
    for (const auto& r : rows) {
        const auto got = run_command(r.run, r.args);
        EXPECT_EQ(got.status, r.status) << r.args.back();
        EXPECT_NE(got.err.find(r.says), std::string::npos) << got.err;
    }
    EXPECT_FALSE(fs::exists(dir.file("x")));
}

TEST_F(FileCommands, ALostExtendedBootRecordIsNamedAsThePartitionTable) {
    write_map({137216, 137300});  // the record of partition 5, and space after it
    const json_value r = json({"--lost", "--json", set});
    EXPECT_EQ(r["partition_table_sectors"].unsigned_number(), 2u);
    EXPECT_EQ(r["outside_sectors"].unsigned_number(), 0u);
    write_map({137300});  // the chain reads: nothing lost there
    EXPECT_EQ(json({"--lost", "--json", set})["outside_sectors"].unsigned_number(), 1u);
}

TEST_F(FileCommands, ADamagedBlockUnderAFileFailsNamingItAndWritesNothing) {
    const std::uint64_t sector = big_sector(1, 10 << 20);
    const std::size_t block = sector * 512 / (16 << 20);  // 0-based
    set_image image(set, 204800 * 512);
    silent_progress p;
    ASSERT_TRUE(image.open(p));
    {
        std::fstream data(set + "/KRD00001.BIN", std::ios::in | std::ios::out | std::ios::binary);
        data.seekp(static_cast<long>(image.blocks()[block].offset + 4096));
        data.put('\x55').put('\xAA');
    }
    const auto r = run_command(run_get_command, {set, "2:sub", dir.file("out")});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.err.find(std::to_string(block + 1) + " 番目のブロック"), std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir.file("out/big.bin")));
    EXPECT_TRUE(fs::is_empty(dir.file("out")));  // no temporary file left
}

TEST_F(FileCommands, MountFilesServesTheSameTreesAndFailsReadsOfLostBytes) {
    write_map({big_sector(2, 3 << 20)});
    const std::string mnt = dir.file("mnt");
    fs::create_directories(mnt);
    if (shell(std::string(KRDTOOL_PATH) + " mount --files " + set + " " + mnt) != 0)
        GTEST_SKIP() << "mounting through FUSE is not possible here";
    struct unmount_at_end {
        std::string at;
        ~unmount_at_end() { shell("mountpoint -q " + at + " && fusermount3 -u " + at); }
    } unmount{mnt};
    for (const char* part : {"part1", "part2"})
        EXPECT_EQ(shell("diff -r " + dir.file("files") + " " + mnt + "/" + part), 0) << part;
    EXPECT_EQ(fs::last_write_time(mnt + "/part2/a.txt"),
              fs::last_write_time(dir.file("files/a.txt")));
    // The ext4 copy of big.bin reads up to its lost sector, and fails there.
    std::ifstream lost(mnt + "/part5/sub/big.bin", std::ios::binary);
    std::vector<char> head(3 << 20);
    EXPECT_TRUE(lost.read(head.data(), static_cast<long>(head.size())));
    EXPECT_EQ(std::memcmp(head.data(), big.data(), head.size()), 0);
    EXPECT_FALSE(lost.read(head.data(), 4096));
    lost.close();
    EXPECT_EQ(shell("fusermount3 -u " + mnt), 0);
}

std::uint64_t data_bytes(const std::string& set) {
    std::uint64_t n = 0;
    for (const auto& f : fs::directory_iterator(set))
        if (f.path().filename().string().rfind("KRD0", 0) == 0) n += f.file_size();
    return n;
}

TEST_F(FileCommands, UsedOnlyStoresUnusedBlocksAsZerosAndRestoresTheSameFiles) {
    const std::string used = dir.file("used"), restored = dir.file("restored.img");
    const std::string pattern = "DELETEDPATTERN";
    ASSERT_NE(std::search(disk.begin(), disk.end(), pattern.begin(), pattern.end()), disk.end());
    // The dry run reads the file systems and says what the run will store
    // as zeros, writing nothing.
    const auto plan =
        run_command(run_backup_command, {"--dry-run", "--used-only", dir.file("disk.img"), used});
    ASSERT_EQ(plan.status, kExitDone) << plan.err;
    EXPECT_FALSE(std::filesystem::exists(used));
    const auto run = run_command(run_backup_command, {"--used-only", dir.file("disk.img"), used});
    ASSERT_EQ(run.status, kExitDone);
    const std::string stored = run.out.substr(0, run.out.find('\n', run.out.find("--used-only:")));
    EXPECT_NE(plan.out.find(stored.substr(stored.find("--used-only:"))), std::string::npos)
        << plan.out;
    EXPECT_LT(data_bytes(used) + 1000000, data_bytes(set));
    EXPECT_NE(run_command(run_info_command, {used}).out.find("--used-only"), std::string::npos);
    const auto against = run_command(run_verify_command, {"--against", dir.file("disk.img"), used});
    EXPECT_EQ(against.status, kExitDone) << against.err;
    EXPECT_NE(against.out.find("比べません"), std::string::npos);
    ASSERT_EQ(run_command(run_restore_command, {used, restored}).status, kExitDone);
    const std::vector<unsigned char> back = read_file(restored);
    EXPECT_EQ(std::search(back.begin(), back.end(), pattern.begin(), pattern.end()), back.end());
    const char* const checks[] = {"fsck.vfat -n", "ntfsfix -n", "e2fsck -f -n"};
    const std::uint64_t sizes[] = {73728, 61440, 61440};
    for (int i = 0; i < 3; ++i) {
        const std::string part = dir.file("r" + std::to_string(i) + ".img");
        ASSERT_EQ(shell("dd if=" + restored + " of=" + part + " bs=512 skip=" +
                        std::to_string(kStart[i]) + " count=" + std::to_string(sizes[i])),
                  0);
        EXPECT_EQ(shell(std::string(checks[i]) + " " + part), 0) << checks[i];
        if (i == 2) {
            // ext4's copies of its superblock, in groups whose bitmap was
            // never initialised (-g 1024 leaves some so) are kept too.
            EXPECT_EQ(shell("cd " + dir.text() +
                            " && for b in $(dumpe2fs p5.img | sed -n 's/.*Backup "
                            "superblock at \\([0-9]*\\).*/\\1/p'); do dd if=p5.img of=a bs=1024 "
                            "skip=$b count=3; dd if=" +
                            part +
                            " of=b bs=1024 skip=$b count=3; "
                            "cmp a b; done"),
                      0);
        }
        const std::string out = dir.file("got" + std::to_string(i));
        const std::string number = std::to_string(i == 2 ? 5 : i + 1);
        ASSERT_EQ(run_command(run_get_command, {used, number + ":", out}).status, kExitDone);
        EXPECT_EQ(shell("diff -r -x lost+found " + dir.file("files") + " " + out), 0) << number;
    }
}

}  // namespace
}  // namespace kiroda::cli
