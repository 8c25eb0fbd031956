#include "disk/block_devices_posix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "util/test_support.h"

namespace kiroda {
namespace {

using testing::temp_folder;

void put(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

TEST(BlockDevices, ListsDevicesWithSectorsSortedByName) {
    temp_folder sys;
    put(sys.path() / "vda" / "size", "1048576\n");
    put(sys.path() / "loop0" / "size", "0\n");
    put(sys.path() / "loop3" / "size", "2048\n");
    put(sys.path() / "ram0" / "size", "0\n");
    put(sys.path() / "sr0" / "removable", "1\n");  // no size file: left out
    put(sys.path() / "nvme0n1" / "size", "500\n");
    EXPECT_EQ(list_block_devices(sys.text(), "/dev"),
              (std::vector<std::string>{"/dev/loop3", "/dev/nvme0n1", "/dev/vda"}));
}

TEST(BlockDevices, AMissingSysfsListsNothing) {
    temp_folder sys;
    EXPECT_TRUE(list_block_devices(sys.file("absent"), "/dev").empty());
}

TEST(BlockDevices, RemovableFlagOfADiskOrOfThePartitionsDisk) {
    temp_folder sys;
    put(sys.path() / "sdb" / "removable", "1\n");
    put(sys.path() / "sdb" / "sdb1" / "partition", "1\n");
    put(sys.path() / "sda" / "removable", "0\n");
    std::filesystem::create_directories(sys.path() / "nothing");
    EXPECT_EQ(read_removable_flag(sys.file("sdb")), 1);
    EXPECT_EQ(read_removable_flag((sys.path() / "sdb" / "sdb1").string()), 1);
    EXPECT_EQ(read_removable_flag(sys.file("sda")), 0);
    EXPECT_EQ(read_removable_flag(sys.file("nothing")), -1);
}

TEST(BlockDevices, SysfsFolderOfADeviceNumber) {
    EXPECT_EQ(sysfs_device_dir(8, 16), "/sys/dev/block/8:16");
    EXPECT_EQ(sysfs_device_dir(259, 0), "/sys/dev/block/259:0");
}

}  // namespace
}  // namespace kiroda
