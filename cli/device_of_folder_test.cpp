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

// A sysfs of its own, over real image files (a loop device is followed to
// its image by device and inode): loop devices over one image at different
// stretches, one over another image, a partition of a loop device under
// device mapper (as dm-crypt or LVM would stack), and a partitioned disk.
// Device numbers are of the range kept for local use, so that none is the
// real device of the test's own folder.
class FakeSysfs : public ::testing::Test {
  protected:
    void SetUp() override {
        kiroda::test_support::write_file(image, {});
        kiroda::test_support::write_file(other, {});
        const fs::path block = root / "devices" / "virtual" / "block";
        loop(block, 0, image, 0, 0);
        put(block / "loop0" / "loop0p1" / "dev", "241:1");
        put(block / "loop0" / "loop0p1" / "partition", "1");
        put(block / "loop0" / "loop0p1" / "start", "2048");  // 1 MiB into the image
        put(block / "loop0" / "loop0p1" / "size", "1000");
        loop(block, 2, image, 1 << 20, 0);  // a second name for the partition's bytes
        loop(block, 3, image, 0, 1 << 20);  // the first MiB only
        loop(block, 4, other, 0, 0);
        put(block / "dm-0" / "dev", "242:0");
        fs::create_directories(block / "dm-0" / "slaves");
        fs::create_directory_symlink(block / "loop0" / "loop0p1",
                                     block / "dm-0" / "slaves" / "loop0p1");
        link(block / "loop0" / "loop0p1", "241:1");
        link(block / "dm-0", "242:0");
        const fs::path disks = root / "devices" / "pci" / "block";
        put(disks / "sda" / "dev", "240:0");
        link(disks / "sda", "240:0");
        for (const int n : {1, 2}) {
            const fs::path part = disks / "sda" / ("sda" + std::to_string(n));
            put(part / "dev", "240:" + std::to_string(n));
            put(part / "partition", std::to_string(n));
            put(part / "start", std::to_string(2048 * n));
            put(part / "size", "2048");
            link(part, "240:" + std::to_string(n));
        }
        // The images lie on the file system of the test's folder: let it be sda2.
        struct stat st {};
        ASSERT_EQ(::stat(image.c_str(), &st), 0);
        link(disks / "sda" / "sda2",
             std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)));
    }
    void loop(const fs::path& block, int n, const std::string& file, long offset, long limit) {
        const fs::path node = block / ("loop" + std::to_string(n));
        put(node / "dev", "241:" + std::to_string(10 * n));
        put(node / "loop" / "backing_file", file);
        put(node / "loop" / "offset", std::to_string(offset));
        put(node / "loop" / "sizelimit", std::to_string(limit));
        link(node, "241:" + std::to_string(10 * n));
    }
    void link(const fs::path& node, const std::string& number) {
        fs::create_directories(root / "dev" / "block");
        fs::create_directory_symlink(node, root / "dev" / "block" / number);
    }
    storage of_file(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
        return storage_of(st, root.string());
    }
    storage of_device(unsigned maj, unsigned min) {
        return storage_under(makedev(maj, min), root.string());
    }
    kiroda::test_support::temp_folder dir;
    fs::path root = dir.path() / "sys";
    std::string image = dir.file("mid.img");
    std::string other = dir.file("other.img");
};

TEST_F(FakeSysfs, OneStorageIsKnownUnderEveryName) {
    const struct {
        const char* what;
        storage inner, outer;
        bool within;
    } cases[] = {
        {"a second loop device of the image", of_device(241, 20), of_device(241, 0), true},
        {"the image itself", of_device(241, 20), of_file(image), true},
        {"a loop over a stretch the other does not reach", of_device(241, 20), of_device(241, 30),
         false},
        {"device mapper over a partition of a loop", of_device(242, 0), of_device(241, 20), true},
        {"a partition of a loop inside the first MiB only", of_device(241, 1), of_device(241, 30),
         false},
        {"a loop over another image", of_device(241, 40), of_device(241, 0), false},
        {"another file on the same file system", of_file(other), of_file(image), false},
        {"a partition and its disk", of_device(240, 2), of_device(240, 0), true},
        {"two partitions of one disk", of_device(240, 2), of_device(240, 1), false},
        {"a device sysfs does not know (tmpfs)", of_device(0, 42), of_device(240, 0), false},
        {"a device never lies within a file", of_device(240, 1), of_file(image), false},
        {"a loop whose image lies on the disk", of_device(241, 0), of_device(240, 0), true},
        {"nor on the disk's other partition", of_device(241, 0), of_device(240, 1), false},
    };
    for (const auto& c : cases) EXPECT_EQ(lies_within(c.inner, c.outer), c.within) << c.what;
}

}  // namespace
}  // namespace kiroda::cli
