// Which storage a folder or a device lives on (Linux): a set must never be
// written onto the disk being backed up, nor restored over the disk or image
// that holds it. One storage has many names: a disk and its partitions, an
// image file and every loop device over it (at any offset), device mapper
// (LVM, dm-crypt) and md devices over their slaves. So the question "is this
// the same storage" is answered by what lies at the bottom, never by name.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kiroda::cli {

// Bytes [begin, end) of what lies at the bottom of a stack: a block device
// that rests on nothing further, or a regular file (an image behind a loop
// device, a target image, the set's folder), by device and inode. A file's
// bytes lie somewhere on the storage of the file system that holds it, its
// `holder`; two files on one file system are still apart.
struct storage_range {
    bool is_file = false;
    dev_t dev = 0;
    ino_t ino = 0;  // files only
    std::uint64_t begin = 0;
    std::uint64_t end = UINT64_MAX;
    std::vector<storage_range> holder;  // files only
};
using storage = std::vector<storage_range>;

// What block device `dev` rests on, followed through partitions (to their
// byte range on the disk), loop devices (to their image's range, from the
// offset and size limit), mapped and RAID devices (to the whole of each
// slave: their tables are not in sysfs). A device sysfs does not know
// (tmpfs, say) is its own bottom.
storage storage_under(dev_t dev, const std::string& sys_root = "/sys");

// What the thing `path_stat` describes is: a block device's storage, or the
// file (or folder) itself on its file system.
storage storage_of(const struct stat& path_stat, const std::string& sys_root = "/sys");

// True when some of `inner` lies within `outer`: writing `outer` may change
// it. A file lies within another file whose range it shares (or within which
// its holder lies), within a device its holder shares bytes with; a device
// never lies within a file (loop devices are already followed to theirs).
bool lies_within(const storage& inner, const storage& outer);

// True when `folder` lies within the storage `path` names (a block device,
// or an image file): the one must not be written while the other is read or
// written over.
bool folder_depends_on(const std::string& folder, const std::string& path,
                       const std::string& sys_root = "/sys");

}  // namespace kiroda::cli
