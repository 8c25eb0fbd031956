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

TEST(LoopDevices, FourKiBSectorsAreNoTarget) {
    temp_folder dir;
    const std::string image = dir.file("4k.img");
    kiroda::test_support::write_file(image, {});
    fs::resize_file(image, 64 << 20);
    loop_device loop("--sector-size 4096 " + image);
    if (loop.path().empty()) GTEST_SKIP() << "no loop device here (needs root and losetup)";
    const run_result disks = run(run_disks_command, {loop.path()});
    EXPECT_EQ(disks.status, kExitDone) << disks.err;
    EXPECT_NE(disks.out.find("(16,384 セクタ)"), std::string::npos) << disks.out;
    EXPECT_NE(disks.out.find("復旧先ディスク: 使用不可"), std::string::npos) << disks.out;

    const std::string source = dir.file("small.img");
    kiroda::test_support::make_disk_image(source, 2000,
                                          kiroda::test_support::make_mbr_one_partition(63, 1900));
    ASSERT_EQ(run(run_backup_command, {source, dir.file("set")}).status, kExitDone);
    const run_result restore = run(run_restore_command, {dir.file("set"), loop.path()});
    EXPECT_EQ(restore.status, kExitFailed);
    EXPECT_NE(restore.err.find("セクタサイズ"), std::string::npos) << restore.err;
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
