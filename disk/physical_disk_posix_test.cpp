// Linux block devices, through a loop device over an image file. Needs root
// and losetup; skipped (with the reason) otherwise.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "disk/disk_registry.h"
#include "disk/disk_rules.h"
#include "disk/disk_survey.h"
#include "disk/disk_image_test_support.h"
#include "disk/physical_disk.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::make_mbr_one_partition;
using test_support::pattern_sector;
using test_support::temp_folder;
using test_support::write_image;
using bytes = std::vector<unsigned char>;

constexpr std::uint64_t kImageSectors = 2048;

// Runs a shell command; its first output line, or "" when it failed.
std::string run(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return "";
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    const int status = ::pclose(pipe);
    if (!got || status != 0) return "";
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

class LoopDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
        if (run("command -v losetup").empty()) GTEST_SKIP() << "losetup is not installed";
        image_ = dir_.file("loop.img");
        write_image(image_, kImageSectors, make_mbr_one_partition(2048 - 100, 100));
        device_ = run("losetup -f --show '" + image_ + "' 2>/dev/null");
        if (device_.empty()) GTEST_SKIP() << "losetup could not attach an image";
        clear_disk_paths();
        register_disk_path(0, device_);
    }
    void TearDown() override {
        clear_disk_paths();
        if (!device_.empty()) run("losetup -d " + device_ + " && echo ok");
    }

    temp_folder dir_;
    std::string image_;
    std::string device_;
};

TEST_F(LoopDevice, ReportsTheKernelsSizeSectorSizeAndMedia) {
    const disk_handle d = open_physical_disk(0, disk_mode::read);
    ASSERT_TRUE(d.valid()) << device_;
    EXPECT_EQ(get_disk_size_bytes(d), static_cast<std::int64_t>(kImageSectors * 512));
    EXPECT_EQ(get_bytes_per_sector(d), 512);
    EXPECT_EQ(get_media_type(d), kMediaFixed);  // loop devices are not removable
    EXPECT_EQ(get_partition_count(d), 4);
}

TEST_F(LoopDevice, ReadsWritesAndStopsAtTheEnd) {
    const bytes data = pattern_sector(9999);
    {
        const disk_handle w = open_physical_disk(0, disk_mode::write);
        ASSERT_TRUE(w.valid());
        ASSERT_TRUE(seek_sector(w, 100));
        ASSERT_TRUE(write_sectors(w, 1, data.data()));
        ASSERT_TRUE(flush_disk(w));
        ASSERT_TRUE(seek_sector(w, kImageSectors - 1));
        EXPECT_FALSE(write_sectors(w, 2, bytes(1024).data()));
    }
    const disk_handle r = open_physical_disk(0, disk_mode::read);
    bytes buffer(1024);
    ASSERT_TRUE(seek_sector(r, 99));
    ASSERT_TRUE(read_sectors(r, 2, buffer.data()));
    EXPECT_EQ(bytes(buffer.begin(), buffer.begin() + 512), pattern_sector(99));
    EXPECT_EQ(bytes(buffer.begin() + 512, buffer.end()), data);
    ASSERT_TRUE(seek_sector(r, kImageSectors - 1));
    EXPECT_FALSE(read_sectors(r, 2, buffer.data()));
    EXPECT_TRUE(read_sectors(r, 1, buffer.data()));
}

TEST_F(LoopDevice, OnlyOneWriterAtATime) {
    // Writing opens the device exclusively, so a device that is mounted or
    // held by another writer is refused.
    const disk_handle first = open_physical_disk(0, disk_mode::write);
    ASSERT_TRUE(first.valid());
    EXPECT_FALSE(open_physical_disk(0, disk_mode::write).valid());
    EXPECT_TRUE(open_physical_disk(0, disk_mode::read).valid());
}

TEST_F(LoopDevice, IsSurveyedLikeADisk) {
    disk_record r;
    ASSERT_TRUE(survey_disk(0, &r));
    EXPECT_EQ(r.total_sectors, static_cast<std::int64_t>(kImageSectors));
    EXPECT_EQ(r.partition_sectors[0], 100u);
    EXPECT_EQ(source_disk_verdict(r).verdict, kVerdictUsable);
    EXPECT_EQ(target_disk_verdict(r).verdict, kVerdictUnusable);
}

}  // namespace
}  // namespace kiroda
