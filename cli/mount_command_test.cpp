// krdtool mount through the real kernel: a generated disk with an MBR, a
// FAT32 primary and an ext4 logical partition, backed up and mounted with
// the krdtool program itself. Skips (saying why) where /dev/fuse is absent,
// the tools that make the file systems are missing, or mounting fails.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/capture_test_support.h"
#include "cli/command.h"
#include "cli/set_commands.h"
#include "cli/set_view.h"
#include "disk/disk_image_test_support.h"
#include "engine/engine_test_support.h"
#include "format/digest.h"
#include "format/packed_block.h"
#include "format/set_digests.h"
#include "util/file_io.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::test_support::same_file;
using kiroda::test_support::temp_folder;
using test_support::run_command;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int shell(const std::string& command) {
    return std::system(("set -e; " + command + " >/dev/null 2>&1").c_str());
}

// The disk: 200,000 sectors; a FAT32 partition at 2,048 (slot 1), an
// extended one (slot 2) holding an ext4 logical partition (part 5). The
// same files, one of them 3 MB of random bytes, in both.
constexpr std::uint64_t kDiskSectors = 200000;
const char* const kMakeDisk = R"(
mkdir -p files/sub && echo hello >files/a.txt && head -c 3000000 /dev/urandom >files/sub/big.bin
truncate -s $((200000 * 512)) disk.img
printf 'label: dos\nstart=2048, size=73728, type=c\nstart=77824, size=122176, type=5\nstart=79872, size=40960, type=83\n' | sfdisk -q disk.img
mkfs.vfat -F 32 -C p1.img 36864 && mcopy -s -i p1.img files/a.txt files/sub ::/
mkfs.ext4 -q -F -d files p5.img 20M
dd if=p1.img of=disk.img bs=512 seek=2048 conv=notrunc status=none
dd if=p5.img of=disk.img bs=512 seek=79872 conv=notrunc status=none
)";

// `krdtool mount SET MOUNTPOINT`, unmounted again on every path.
class krdtool_mount {
  public:
    krdtool_mount(const std::string& set, const std::string& mount_point) : at_(mount_point) {
        fs::create_directories(mount_point);
        mounted_ = shell(std::string(KRDTOOL_PATH) + " mount " + set + " " + mount_point) == 0 &&
                   shell("mountpoint -q " + mount_point) == 0;
    }
    ~krdtool_mount() {
        if (mounted_) shell("fusermount3 -u " + at_);
    }
    bool mounted() const { return mounted_; }
    std::string file(const std::string& name) const { return at_ + "/" + name; }

  private:
    std::string at_;
    bool mounted_ = false;
};

// Reads 4 KiB at `offset` of a file: the bytes read, or -errno.
long read_4k(const std::string& path, std::uint64_t offset) {
    unique_fd fd(::open(path.c_str(), O_RDONLY));
    char buffer[4096];
    const ssize_t n = ::pread(fd.get(), buffer, sizeof buffer, static_cast<off_t>(offset));
    return n < 0 ? -errno : static_cast<long>(n);
}

class MountCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::access("/dev/fuse", R_OK | W_OK) != 0)
            GTEST_SKIP() << "/dev/fuse is not available here";
        for (const char* tool : {"sfdisk", "mkfs.vfat", "mcopy", "mkfs.ext4", "fsck.vfat", "e2fsck",
                                 "debugfs", "fusermount3"}) {
            if (shell(std::string("command -v ") + tool) != 0)
                GTEST_SKIP() << tool << " is not installed (tools/setup installs it)";
        }
        ASSERT_EQ(shell("cd " + dir.text() + " && " + kMakeDisk), 0);
        ASSERT_EQ(run_command(run_backup_command, {image, set}).status, kExitDone);
    }
    temp_folder dir;
    std::string image = dir.file("disk.img");
    std::string set = dir.file("set");
};

TEST_F(MountCommand, TheDiskAndItsPartitionsAreTheImagesAndHoldTheFiles) {
    krdtool_mount mount(set, dir.file("mnt"));
    if (!mount.mounted()) GTEST_SKIP() << "mounting through FUSE is not possible here";
    // disk.img, part1.img and part5.img (each compared below), no more.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("mnt")), fs::directory_iterator()), 3);
    EXPECT_TRUE(same_file(mount.file("disk.img"), image));
    digest_stream digest;
    ASSERT_EQ(digest_file(mount.file("disk.img").c_str(), kDiskSectors * 512, digest),
              static_cast<std::int64_t>(kDiskSectors * 512));
    set_digests digests;
    int bad_line = 0;
    ASSERT_EQ(read_set_digests(set.c_str(), &digests, &bad_line), digests_read::read);
    EXPECT_TRUE(digest.value() == digests.stream);
    EXPECT_TRUE(same_file(mount.file("part1.img"), dir.file("p1.img")));
    EXPECT_TRUE(same_file(mount.file("part5.img"), dir.file("p5.img")));

    const std::string files = dir.file("files");
    const std::string p1 = mount.file("part1.img"), p5 = mount.file("part5.img");
    EXPECT_EQ(shell("fsck.vfat -n " + p1), 0);
    EXPECT_EQ(shell("e2fsck -f -n " + p5), 0);
    // The files, read by the kernel from the loop-mounted partitions, or
    // where it cannot mount them, by the file systems' own tools.
    const std::string big = files + "/sub/big.bin";
    for (const std::string& part : {p1, p5}) {
        const std::string at = dir.file("loop");
        fs::create_directories(at);
        if (::geteuid() != 0 || shell("mount -o ro,loop " + part + " " + at) != 0) {
            std::printf("note: %s not loop-mounted here, read by its tools\n", part.c_str());
            EXPECT_EQ(shell(part == p1 ? "mcopy -i " + p1 + " ::sub/big.bin - | cmp - " + big
                                       : "debugfs -R 'cat /sub/big.bin' " + p5 + " | cmp - " + big),
                      0);
            continue;
        }
        EXPECT_EQ(shell("diff -r -x lost+found " + files + " " + at), 0) << part;
        shell("umount " + at);
    }
    // Large reads go as few requests: the kernel reads ahead 4 MiB (where
    // it may be set: as root).
    struct stat mounted {};
    ASSERT_EQ(::stat(dir.file("mnt").c_str(), &mounted), 0);
    std::ifstream knob("/sys/class/bdi/" + std::to_string(major(mounted.st_dev)) + ":" +
                       std::to_string(minor(mounted.st_dev)) + "/read_ahead_kb");
    int read_ahead_kib = 0;
    knob >> read_ahead_kib;
    if (::geteuid() == 0) EXPECT_EQ(read_ahead_kib, 4096);
    // Not onto the first: FUSE would stack it there.
    const auto stacked = run_command(run_mount_command, {set, dir.file("mnt")});
    EXPECT_EQ(stacked.status, kExitFailed);
    EXPECT_TRUE(contains(stacked.err, "すでにマウントされています")) << stacked.err;
    EXPECT_TRUE(same_file(mount.file("part5.img"), dir.file("p5.img")));
    // A second mount of the same set beside the first.
    krdtool_mount second(set, dir.file("mnt2"));
    ASSERT_TRUE(second.mounted());
    EXPECT_TRUE(same_file(second.file("part5.img"), dir.file("p5.img")));
}

TEST_F(MountCommand, ADamagedBlockReadsAsEioAndTheRestReads) {
    // Block 6 (80 MiB on) is zeros: a packed block of two code words, the
    // second the count. A count changed makes it unpack to the wrong length.
    std::vector<unsigned char> data = kiroda::test_support::read_file(set + "/KRD00001.BIN");
    unique_fd fd(open_for_reading((set + "/KRD00001.BIN").c_str()));
    for (int block = 0; block < 5; ++block) ASSERT_GT(skip_packed_block(fd.get()), 0);
    const std::int64_t sixth = file_position(fd.get());
    ASSERT_EQ(data[static_cast<std::size_t>(sixth) + 8], kMethodPacked);
    data[static_cast<std::size_t>(sixth) + kBlockHeaderSize + 4] ^= 0x01;
    kiroda::test_support::write_file(set + "/KRD00001.BIN", data);

    krdtool_mount mount(set, dir.file("mnt"));
    if (!mount.mounted()) GTEST_SKIP() << "mounting through FUSE is not possible here";
    const std::uint64_t block = kChunkBytes;
    EXPECT_EQ(read_4k(mount.file("disk.img"), 5 * block + 8192), -EIO);
    EXPECT_EQ(read_4k(mount.file("disk.img"), 5 * block), -EIO);
    // A read that runs into it gets the bytes before it, and no more.
    EXPECT_EQ(read_4k(mount.file("disk.img"), 5 * block - 2048), 2048);
    EXPECT_EQ(read_4k(mount.file("disk.img"), 5 * block - 8192), 4096);
    EXPECT_EQ(read_4k(mount.file("disk.img"), 0), 4096);
    EXPECT_EQ(read_4k(mount.file("part1.img"), 4096), 4096);
    EXPECT_EQ(read_4k(mount.file("disk.img"), 6 * block + 4096), 4096);  // the last block

    // Read through from the start (read ahead): only the MiB of block 6
    // fail, every other MiB is the disk's.
    const std::vector<unsigned char> disk = kiroda::test_support::read_file(image);
    unique_fd served(::open(mount.file("disk.img").c_str(), O_RDONLY));
    std::vector<unsigned char> mib(1 << 20);
    std::string failed;
    for (std::size_t at = 0; at < disk.size(); at += mib.size()) {
        const ssize_t n = ::read(served.get(), mib.data(), mib.size());
        const std::size_t want = std::min(mib.size(), disk.size() - at);
        if (n < 0) {
            failed += std::to_string(at >> 20) + " ";
            ASSERT_EQ(::lseek(served.get(), static_cast<off_t>(at + want), SEEK_SET),
                      static_cast<off_t>(at + want));
        } else {
            ASSERT_EQ(static_cast<std::size_t>(n), want) << at;
            EXPECT_TRUE(std::equal(mib.begin(), mib.begin() + n, disk.begin() + at)) << at;
        }
    }
    EXPECT_EQ(failed, "80 81 82 83 84 85 86 87 88 89 90 91 92 93 94 95 ");
}

TEST(MountWithoutFuse, TheFilesOfTheViewRefusalsAndUsage) {
    temp_folder dir;
    // Partition 2 runs one sector past the end of the 5,000-sector disk.
    using kiroda::test_support::mbr_slot;
    kiroda::test_support::make_disk_image(
        dir.file("disk.img"), 5000,
        kiroda::test_support::make_mbr(
            {mbr_slot{0x07, 63, 1000}, mbr_slot{0x83, 2000, 3001}, {}, mbr_slot{0x0C, 1100, 800}}));
    ASSERT_EQ(run_command(run_backup_command, {dir.file("disk.img"), dir.file("set")}).status,
              kExitDone);
    set_image image(dir.file("set"), 5000 * 512);
    silent_progress p;
    ASSERT_TRUE(image.open(p));
    test_support::captured_stream err;
    std::string listed;
    for (const view_file& f : view_files(image, err.get()))
        listed += f.name + ":" + std::to_string(f.offset) + "+" + std::to_string(f.size) + " ";
    EXPECT_EQ(listed, "disk.img:0+2560000 part1.img:32256+512000 part4.img:563200+409600 ");
    EXPECT_TRUE(contains(err.text(), "パーテーション 2 (セクタ 2,000 から 5,001 の手前まで)"));
    EXPECT_TRUE(contains(err.text(), "part2.img はありません")) << err.text();

    fs::create_directories(dir.file("mnt"));
    fs::rename(dir.file("set/KRD00001.BIN"), dir.file("KRD00001.BIN"));
    const auto refused = run_command(run_mount_command, {dir.file("set"), dir.file("mnt")});
    EXPECT_EQ(refused.status, kExitFailed);
    EXPECT_TRUE(contains(refused.err, dir.file("set/KRD00001.BIN"))) << refused.err;
    const auto no_set = run_command(run_mount_command, {dir.file("mnt"), dir.file("mnt")});
    EXPECT_EQ(no_set.status, kExitFailed);
    const auto no_folder = run_command(run_mount_command, {dir.file("set"), dir.file("none")});
    EXPECT_EQ(no_folder.status, kExitFailed);
    EXPECT_EQ(run_command(run_mount_command, {dir.file("set")}).status, kExitUsage);
    EXPECT_EQ(run_command(run_mount_command, {"--ro", dir.file("set"), dir.file("mnt")}).status,
              kExitUsage);
}

TEST(MountWithoutFuse, ASetWithoutPartitionImagesSaysWhy) {
    using kiroda::test_support::make_mbr;
    using kiroda::test_support::mbr_slot;
    // Disks of 5,000 sectors; sector 2,000 patterned (no boot record there).
    const struct {
        const char* what;
        std::vector<unsigned char> sector0;
        const char* why;
    } cases[] = {
        {"no signature", make_mbr({mbr_slot{0x07, 63, 1000}, {}, {}, {}}, false),
         "MBR の署名 0x55AA がありません"},
        {"every entry empty", make_mbr({}), "MBR のエントリがすべて空です"},
        {"a GPT's protective entry", make_mbr({mbr_slot{0xEE, 1, 4999}, {}, {}, {}}),
         "GPT の保護用エントリだけ"},
        {"a logical chain cut at its first record",
         make_mbr({mbr_slot{0x05, 2000, 3000}, {}, {}, {}}),
         "論理パーテーションの連なりが切れていて"},
        {"past the end", make_mbr({mbr_slot{0x07, 63, 6000}, {}, {}, {}}),
         "どのパーテーションもディスクの終わりを越えています"},
        {"only type 0", make_mbr({mbr_slot{0x00, 63, 1000}, {}, {}, {}}),
         "中身のあるパーテーションがありません"},
        {"a partition", make_mbr({mbr_slot{0x07, 63, 1000}, {}, {}, {}}), nullptr},
    };
    for (const auto& c : cases) {
        temp_folder dir;
        kiroda::test_support::make_disk_image(dir.file("disk.img"), 5000, c.sector0);
        ASSERT_EQ(
            run_command(run_backup_command, {"--force", dir.file("disk.img"), dir.file("set")})
                .status,
            kExitDone)
            << c.what;
        set_image image(dir.file("set"), 5000 * 512);
        silent_progress p;
        ASSERT_TRUE(image.open(p)) << c.what;
        test_support::captured_stream err;
        const std::size_t files = view_files(image, err.get()).size();
        const bool warned =
            contains(err.text(), "パーテーションのイメージ (partN.img) はありません");
        EXPECT_EQ(warned, c.why != nullptr) << c.what << ": " << err.text();
        EXPECT_EQ(files, c.why != nullptr ? 1u : 2u) << c.what;
        if (c.why != nullptr)
            EXPECT_TRUE(contains(err.text(), c.why)) << c.what << ": " << err.text();
    }
}

}  // namespace
}  // namespace kiroda::cli
