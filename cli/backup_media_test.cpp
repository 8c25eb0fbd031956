// krdtool backup onto media that lie, served by the fault file system
// (testfs/fault_fs.cpp) with the kernel's page cache in front of them, as a
// USB stick has: only a read-back that bypasses the cache sees what the
// medium holds. Each lie fails the backup, names the file, exits with 1 and
// leaves no digest file; a good medium passes with the check on.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/capture_test_support.h"
#include "cli/set_commands.h"
#include "disk/disk_image_test_support.h"
#include "engine/engine_test_support.h"
#include "testfs/fault_fs_mount.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::test_support::temp_folder;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// 4 MiB of random bytes behind an MBR: one block, which hardly packs.
constexpr std::uint64_t kSectors = 8192;
constexpr long long kCluster = 4096;  // the fault file system's
// Stands for the size of a medium one cluster short of the set's header
// and data file (from the set the good medium got): the data file's last
// cluster lands on the header's first, and nothing else on anything.
constexpr const char* kWrapsOntoHeader = "(wraps onto the header)";

TEST(BackupMedia, AMediumThatDoesNotKeepWhatWasWrittenFailsTheBackup) {
    temp_folder dir;
    const std::string disk = dir.file("disk.img");
    kiroda::test_support::make_random_image(disk, kSectors, 7);
    {
        std::vector<unsigned char> bytes = kiroda::test_support::read_file(disk);
        const std::vector<unsigned char> mbr =
            kiroda::test_support::make_mbr_one_partition(2048, 6000);
        std::copy(mbr.begin(), mbr.end(), bytes.begin());
        kiroda::test_support::write_file(disk, bytes);
    }
    const struct {
        const char* what;
        std::vector<std::string> medium;  // the fault file system's options
        bool read_back;
        const char* named;  // the file named by the failure (nullptr: the backup is done)
    } cases[] = {
        {"a good medium", {}, true, nullptr},
        {"a fake-capacity card that keeps its first 2 MiB",
         {"--capacity", "2097152"},
         true,
         "KRD00001.BIN"},
        {"a card whose addresses wrap onto the header",
         {"--capacity", kWrapsOntoHeader, "--wrap"},
         true,
         "KRD00000.BIN"},
        {"a byte of one write flipped",
         {"--file", "KRD00001.BIN", "--alter-write", "5000"},
         true,
         "KRD00001.BIN"},
        {"reads fail after writing",
         {"--file", "KRD00001.BIN", "--eio-after-write"},
         true,
         "KRD00001.BIN"},
        {"the header's write flipped",
         {"--file", "KRD00000.BIN", "--alter-write", "3"},
         true,
         "KRD00000.BIN"},
        {"the digest file's write flipped",
         {"--file", "KRDHASH.TMP", "--alter-write", "0"},
         true,
         "KRDHASH.TXT"},
        // Without the check the lie goes unseen: the reason it is the default.
        {"--no-readback on a fake-capacity card", {"--capacity", "2097152"}, false, nullptr},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string backing = dir.file("medium" + std::to_string(++n));
        fs::create_directories(backing);
        std::vector<std::string> medium = c.medium;
        for (std::string& option : medium) {
            if (option != kWrapsOntoHeader) continue;
            // The medium's clusters: the header's, then the data file's.
            const auto data =
                static_cast<long long>(fs::file_size(dir.file("medium1/set/KRD00001.BIN")));
            option =
                std::to_string((8192 / kCluster + (data + kCluster - 1) / kCluster - 1) * kCluster);
        }
        kiroda::test_support::fault_fs_mount mount(backing, dir.file("mnt"), medium);
        if (!mount.mounted()) GTEST_SKIP() << mount.why();
        const std::string set = mount.folder() + "/set";
        std::vector<std::string> args = {disk, set};
        if (!c.read_back) args.insert(args.begin(), "--no-readback");
        const test_support::command_result r = test_support::run_command(run_backup_command, args);
        if (c.named == nullptr) {
            EXPECT_EQ(r.status, kExitDone) << r.err;
            EXPECT_TRUE(fs::exists(set + "/KRDHASH.TXT"));
            EXPECT_TRUE(contains(r.out, c.read_back ? "読み戻して確認済み" : "--no-readback"))
                << r.out;
            continue;
        }
        EXPECT_EQ(r.status, kExitFailed) << r.err;
        EXPECT_TRUE(contains(r.err, set + "/" + c.named)) << r.err;
        EXPECT_TRUE(contains(r.err, "このメディアは書き込んだ内容を保てません")) << r.err;
        EXPECT_FALSE(fs::exists(set + "/KRDHASH.TXT"));
        EXPECT_FALSE(fs::exists(set + "/KRDHASH.TMP"));
        // No advice to go on with a set the medium does not keep.
        EXPECT_FALSE(contains(r.err, "--resume")) << r.err;
    }
}

}  // namespace
}  // namespace kiroda::cli
