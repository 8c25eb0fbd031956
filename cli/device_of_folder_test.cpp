#include "cli/device_of_folder.h"

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;

void put(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

// A sysfs of its own: a loop device over an image, with a partition, under
// device mapper (as dm-crypt or LVM would stack), and a plain disk beside.
class FakeSysfs : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path block = root / "devices" / "virtual" / "block";
        put(block / "loop0" / "dev", "7:0");
        put(block / "loop0" / "loop" / "backing_file", "/images/mid.img");
        put(block / "loop0" / "loop0p1" / "dev", "7:1");
        put(block / "loop0" / "loop0p1" / "partition", "1");
        put(block / "dm-0" / "dev", "253:0");
        fs::create_directories(block / "dm-0" / "slaves");
        fs::create_directory_symlink(block / "loop0" / "loop0p1",
                                     block / "dm-0" / "slaves" / "loop0p1");
        const fs::path disks = root / "devices" / "pci" / "block";
        put(disks / "sda" / "dev", "8:0");
        put(disks / "sda" / "sda2" / "dev", "8:2");
        put(disks / "sda" / "sda2" / "partition", "2");
        fs::create_directories(root / "dev" / "block");
        fs::create_directory_symlink(block / "loop0", root / "dev" / "block" / "7:0");
        fs::create_directory_symlink(block / "loop0" / "loop0p1", root / "dev" / "block" / "7:1");
        fs::create_directory_symlink(block / "dm-0", root / "dev" / "block" / "253:0");
        fs::create_directory_symlink(disks / "sda" / "sda2", root / "dev" / "block" / "8:2");
    }
    kiroda::testing::temp_folder dir;
    fs::path root = dir.path() / "sys";
};

TEST_F(FakeSysfs, AStackIsFollowedToTheImageBelowIt) {
    const struct {
        const char* what;
        dev_t top;
        std::set<dev_t> devices;
        std::set<std::string> files;
    } cases[] = {
        {"device mapper over a partition of a loop device",
         makedev(253, 0),
         {makedev(253, 0), makedev(7, 1), makedev(7, 0)},
         {"/images/mid.img"}},
        {"a partition of a disk", makedev(8, 2), {makedev(8, 2), makedev(8, 0)}, {}},
        {"a device sysfs does not know (tmpfs)", makedev(0, 42), {makedev(0, 42)}, {}},
    };
    for (const auto& c : cases) {
        const device_stack stack = stack_under(c.top, root.string());
        EXPECT_EQ(stack.devices, c.devices) << c.what;
        EXPECT_EQ(stack.loop_files, c.files) << c.what;
    }
}

}  // namespace
}  // namespace kiroda::cli
