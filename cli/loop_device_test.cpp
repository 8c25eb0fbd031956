// Real loop devices, where this machine lets a test make them (root and
// losetup): a disk of 4,096-byte sectors, and an image at an offset whose
// mounted file system holds the set. Every device and mount is removed
// again on every path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/capture_test_support.h"
#include "cli/command.h"
#include "cli/disks_command.h"
#include "cli/set_commands.h"
#include "cli/set_view.h"
#include "engine/progress.h"
#include "engine/set_image.h"
#include "format/source_disk.h"
#include "disk/disk_image_test_support.h"
#include "engine/engine_test_support.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::test_support::temp_folder;
using test_support::captured_stream;

// The first line a shell command prints, or "" when it fails.
std::string output_of(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>/dev/null").c_str(), "r"),
                                               ::pclose);
    if (!pipe) return "";
    char line[512] = "";
    if (std::fgets(line, sizeof line, pipe.get()) == nullptr) return "";
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

class loop_device {
  public:
    explicit loop_device(const std::string& options) {
        if (::geteuid() == 0) path_ = output_of("losetup --find --show " + options);
    }
    ~loop_device() {
        if (!path_.empty()) std::system(("losetup -d " + path_ + " 2>/dev/null").c_str());
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

class mount_point {
  public:
    mount_point(const std::string& device, const std::string& folder) : folder_(folder) {
        fs::create_directories(folder);
        mounted_ = std::system(("mkfs.ext4 -q -F " + device + " >/dev/null 2>&1 && mount " +
                                device + " " + folder + " 2>/dev/null")
                                   .c_str()) == 0;
    }
    ~mount_point() {
        if (mounted_) std::system(("umount " + folder_ + " 2>/dev/null").c_str());
    }
    bool mounted() const { return mounted_; }

  private:
    std::string folder_;
    bool mounted_ = false;
};

struct run_result {
    int status;
    std::string out, err;
};

run_result run(command_function f, const std::vector<std::string>& args) {
    captured_stream out, err;
    const int status = f(args, out.get(), err.get());
    return {status, out.text(), err.text()};
}

// A disk of 4,096-byte logical sectors: backed up, its sector size
// recorded, restored exactly onto its like and refused before any write
// onto a disk of 512-byte sectors (a set of those refused onto it alike);
// its partitions served by mount.
TEST(LoopDevices, FourKiBSectorsGoOntoTheirLikeOnly) {
    temp_folder dir;
    const std::string image = dir.file("4k.img"), copy = dir.file("4k-copy.img");
    for (const std::string& path : {image, copy}) {
        kiroda::test_support::write_file(path, {});
        fs::resize_file(path, 64 << 20);
    }
    loop_device loop("--sector-size 4096 " + image);
    loop_device target("--sector-size 4096 " + copy);
    if (loop.path().empty() || target.path().empty())
        GTEST_SKIP() << "no loop device here (needs root and losetup)";
    const run_result empty = run(run_disks_command, {loop.path()});
    EXPECT_NE(empty.out.find("(16,384 セクタ)"), std::string::npos) << empty.out;
    ASSERT_EQ(std::system(("printf 'label: gpt\n,8MiB,L\n,8MiB,L\n' | sfdisk -q " + loop.path() +
                           " >/dev/null 2>&1")
                              .c_str()),
              0);
    const std::string set = dir.file("set");
    const run_result backup = run(run_backup_command, {loop.path(), set});
    ASSERT_EQ(backup.status, kExitDone) << backup.err;
    source_disk recorded;
    ASSERT_EQ(read_source_disk(set.c_str(), &recorded), source_disk_read::read);
    EXPECT_EQ(recorded.sector_size, 4096u);
    EXPECT_EQ(recorded.table, "gpt valid");

    const std::string small = dir.file("512.img");
    kiroda::test_support::write_file(small, std::vector<unsigned char>(64 << 20, 0));
    for (const std::string& name : {small, dir.file("new.img")}) {
        const run_result refused = run(run_restore_command, {set, name});
        EXPECT_EQ(refused.status, kExitFailed) << name;
        EXPECT_NE(refused.err.find("4096 バイトセクタ"), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("512 バイト"), std::string::npos) << refused.err;
    }
    EXPECT_FALSE(fs::exists(dir.file("new.img")));
    EXPECT_EQ(kiroda::test_support::read_file(small), std::vector<unsigned char>(64 << 20, 0));
    EXPECT_EQ(run(run_verify_command, {"--against", small, set}).status, kExitFailed);

    ASSERT_EQ(run(run_restore_command, {set, target.path()}).status, kExitDone);
    EXPECT_EQ(kiroda::test_support::read_file(copy), kiroda::test_support::read_file(image));
    EXPECT_EQ(run(run_verify_command, {"--against", target.path(), set}).status, kExitDone);
    set_image view(set, 64 << 20);
    silent_progress quiet;
    ASSERT_TRUE(view.open(quiet));
    captured_stream err;
    const std::vector<view_file> files = view_files(view, err.get(), 4096);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[1].offset, 256u * 4096);
    EXPECT_EQ(files[2].size, 8u << 20);

    // Onto a larger disk of its like: the GPT's backup moved to its end.
    const std::string larger = dir.file("4k-larger.img");
    kiroda::test_support::write_file(larger, {});
    fs::resize_file(larger, 96 << 20);
    loop_device wide("--sector-size 4096 " + larger);
    ASSERT_FALSE(wide.path().empty());
    ASSERT_EQ(run(run_restore_command, {set, wide.path()}).status, kExitDone);
    EXPECT_EQ(output_of("sgdisk -v " + wide.path() + " | grep -c 'No problems found'"), "1");
    EXPECT_EQ(run(run_verify_command, {"--against", wide.path(), set}).status, kExitDone);

    // A set of 512-byte sectors goes onto no such disk.
    const std::string source = dir.file("small.img");
    kiroda::test_support::make_disk_image(source, 2000,
                                          kiroda::test_support::make_mbr_one_partition(63, 1900));
    ASSERT_EQ(run(run_backup_command, {source, dir.file("set512")}).status, kExitDone);
    const run_result restore =
        run(run_restore_command, {"--force", dir.file("set512"), loop.path()});
    EXPECT_EQ(restore.status, kExitFailed);
    EXPECT_NE(restore.err.find("論理セクタサイズは 4096 バイト"), std::string::npos) << restore.err;
}

TEST(LoopDevices, AnImageWhoseFileSystemHoldsTheSetIsNoTarget) {
    temp_folder dir;
    const std::string image = dir.file("mid.img");
    kiroda::test_support::write_file(image, {});
    fs::resize_file(image, 80 << 20);
    // The file system starts 1 MiB into the image, as a partition would.
    loop_device loop("--offset 1048576 " + image);
    if (loop.path().empty()) GTEST_SKIP() << "no loop device here (needs root and losetup)";
    const std::string mounted_at = dir.file("mnt");
    mount_point mount(loop.path(), mounted_at);
    if (!mount.mounted()) GTEST_SKIP() << "cannot make and mount a file system here";

    const std::string set = mounted_at + "/set";
    const std::string source = dir.file("small.img");
    kiroda::test_support::make_disk_image(source, 2000,
                                          kiroda::test_support::make_mbr_one_partition(63, 1900));
    ASSERT_EQ(run(run_backup_command, {source, set}).status, kExitDone);
    const auto before = kiroda::test_support::read_file(set + "/KRD00001.BIN");
    // The image under every name it has: itself, and a second loop device.
    loop_device second(image);
    ASSERT_FALSE(second.path().empty());
    for (const std::string& target : {image, second.path()}) {
        for (const bool force : {false, true}) {
            std::vector<std::string> args = {set, target};
            if (force) args.push_back("--force");
            const run_result r = run(run_restore_command, args);
            EXPECT_EQ(r.status, kExitFailed) << target << r.err;
            EXPECT_NE(r.err.find("バックアップデータが復旧先の上にあります"), std::string::npos)
                << target << r.err;
        }
    }
    EXPECT_EQ(kiroda::test_support::read_file(set + "/KRD00001.BIN"), before);
    // Nor may the image, under either name, be backed up into a folder that
    // lives on it; and its file system, mounted for writing, is named.
    for (const std::string& name : {image, second.path()}) {
        const run_result backup = run(run_backup_command, {"--force", name, mounted_at + "/set2"});
        EXPECT_EQ(backup.status, kExitFailed) << name;
        EXPECT_NE(backup.err.find("元ディスクの上にあります"), std::string::npos) << backup.err;
        EXPECT_NE(backup.err.find("書き込みできる状態でマウント"), std::string::npos) << backup.err;
    }
}

}  // namespace
}  // namespace kiroda::cli
