// What Linux tells about block devices through sysfs.
#pragma once

#include <string>
#include <vector>

namespace kiroda {

// The removable flag in the sysfs folder of a device ("<dir>/removable"); for
// a partition, whose folder has none, the flag of the disk that holds it
// ("<dir>/../removable"). 1 removable, 0 fixed, -1 unknown.
int read_removable_flag(const std::string& device_dir);

// What tells one disk from another that looks like it: the fields sysfs
// (or, for a serial number it lacks, udev's record of the device) gives.
// Empty or -1 where nothing says; never guessed.
struct disk_identity {
    std::string vendor, model, serial;
    std::string transport;  // "sata", "nvme", "usb", "mmc", "virtio", "scsi" …
    int removable = -1;     // 1, 0, or -1 unknown
    int rotational = -1;
};

// The identity of the disk whose sysfs folder is `device_dir` (for a
// partition, of its disk); `udev_data` is udev's file for its number
// ("/run/udev/data/b<major>:<minor>"), read for ID_SERIAL_SHORT.
disk_identity read_disk_identity(const std::string& device_dir, const std::string& udev_data);

// "/sys/dev/block/<major>:<minor>", the sysfs folder of a device number.
std::string sysfs_device_dir(unsigned major, unsigned minor);

// The device paths (`dev_root`/<name>) of the block devices listed in
// `sys_block_root` (normally /sys/block), sorted by name. Devices of size 0
// (unused loop and ram devices, empty card readers) are left out.
std::vector<std::string> list_block_devices(const std::string& sys_block_root,
                                            const std::string& dev_root);

}  // namespace kiroda
