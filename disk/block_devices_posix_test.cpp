#include "disk/block_devices_posix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::temp_folder;

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

// Identity from a fake sysfs: the disks where the kernel puts them, with
// the fields each kind has; a missing field stays empty, never invented.
TEST(BlockDevices, IdentityIsReadAsSysfsGivesIt) {
    temp_folder sys;
    const auto disk = [&](const std::string& where, const std::string& name) {
        return sys.path() / where / "block" / name;
    };
    const auto sata = disk("pci0000:00/ata1/host0/target0:0:0/0:0:0:0", "sda");
    put(sata / "device" / "vendor", "ATA     \n");
    put(sata / "device" / "model", "Samsung SSD 870  \n");
    put(sata / "removable", "0\n");
    put(sata / "queue" / "rotational", "0\n");
    put(sata / "sda1" / "partition", "1\n");
    put(sys.path() / "udev-sda", "E:ID_SERIAL_SHORT=S5SUNG0N123\nE:ID_BUS=ata\n");
    const auto nvme = disk("pci0000:00/0000:00:1d.0/nvme/nvme0", "nvme0n1");
    put(nvme / "device" / "model", "WD Blue SN570\n");
    put(nvme / "device" / "serial", "  21234X800123\n");
    const auto usb = disk("pci0000:00/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0", "sdb");
    put(usb / "device" / "vendor", "SanDisk \n");
    put(usb / "device" / "model", "Ultra\n");
    put(usb / "removable", "1\n");
    const auto virtio = disk("pci0000:00/0000:00:02.0/virtio1", "vda");
    put(virtio / "device" / "vendor", "0x1af4\n");
    const struct {
        const char* what;
        std::filesystem::path dir;
        std::string udev;
        disk_identity expected;
    } cases[] = {
        {"a partition of a SATA disk, serial from udev",
         sata / "sda1",
         sys.file("udev-sda"),
         {"ATA", "Samsung SSD 870", "S5SUNG0N123", "sata", 0, 0}},
        {"NVMe", nvme, "", {"", "WD Blue SN570", "21234X800123", "nvme", -1, -1}},
        {"a USB stick with no serial anywhere",
         usb,
         sys.file("none"),
         {"SanDisk", "Ultra", "", "usb", 1, -1}},
        {"virtio, whose vendor is a number", virtio, "", {"", "", "", "virtio", -1, -1}},
    };
    for (const auto& c : cases) {
        const disk_identity id = read_disk_identity(c.dir.string(), c.udev);
        EXPECT_EQ(id.vendor, c.expected.vendor) << c.what;
        EXPECT_EQ(id.model, c.expected.model) << c.what;
        EXPECT_EQ(id.serial, c.expected.serial) << c.what;
        EXPECT_EQ(id.transport, c.expected.transport) << c.what;
        EXPECT_EQ(id.removable, c.expected.removable) << c.what;
        EXPECT_EQ(id.rotational, c.expected.rotational) << c.what;
    }
}

}  // namespace
}  // namespace kiroda
