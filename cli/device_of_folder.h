// Which devices a folder lives on (Linux): a set must never be written onto
// the disk being backed up, nor restored over the disk or image that holds
// it. A folder's file system may be stacked: on a partition, a loop device
// backed by an image file (at any offset), device mapper (LVM, dm-crypt) or
// md, each resting on further devices; the kernel lists them in sysfs.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <set>
#include <string>

namespace kiroda::cli {

// Every block device under the file system of device `dev` (itself, the
// whole disk of a partition, the slaves of a mapped or RAID device, all the
// way down), and the image files behind loop devices among them.
struct device_stack {
    std::set<dev_t> devices;
    std::set<std::string> loop_files;
};
device_stack stack_under(dev_t dev, const std::string& sys_root = "/sys");

// True when the stack rests on the file `path` names (`path_stat`): a block
// device in it (a partition's disk is in it too), or an image file of one
// of its loop devices, by device and inode.
bool stack_rests_on(const device_stack& stack, const struct stat& path_stat);

// True when the file system that holds `folder` rests on `path`: a block
// device (or a partition of it) anywhere in its stack, or an image file
// behind a loop device in it.
bool folder_depends_on(const std::string& folder, const std::string& path,
                       const std::string& sys_root = "/sys");

}  // namespace kiroda::cli
