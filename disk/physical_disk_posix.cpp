// Path-backed disks on Linux: block devices (sizes from the kernel) and
// regular image files (512-byte sectors, fixed media). They are the
// platform's own disk table there.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

#include "disk/block_devices_posix.h"
#include "disk/path_disk.h"
#include "disk/physical_disk.h"
#include "util/system_error.h"
#include "util/uncached_posix.h"

namespace kiroda::path_file {

namespace {

int open_device(const char* path, bool writable, bool uncached) {
    struct stat st {};
    // A block device opened for writing is opened exclusively: Linux then
    // refuses a device that is mounted or held by another program, so a
    // restore never writes under a live file system.
    const bool exclusive = writable && ::stat(path, &st) == 0 && S_ISBLK(st.st_mode);
    // Non-blocking: a FIFO given as a disk would otherwise wait in open for
    // a writer or reader that never comes; it is refused just after.
    const int flags =
        (writable ? O_WRONLY : O_RDONLY) | O_CLOEXEC | O_NONBLOCK | (exclusive ? O_EXCL : 0);
    if (uncached && !writable) return open_uncached(path, flags);
    int fd = -1;
    do {
        fd = ::open(path, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void block_device_facts(int fd, const struct stat& st, facts* f) {
    std::uint64_t size = 0;
    f->size_known = ::ioctl(fd, BLKGETSIZE64, &size) == 0;
    f->size_bytes = f->size_known ? size : 0;
    int sector = 0;
    f->bytes_per_sector =
        ::ioctl(fd, BLKSSZGET, &sector) == 0 && sector > 0 ? static_cast<std::uint32_t>(sector) : 0;
    const int removable =
        read_removable_flag(sysfs_device_dir(major(st.st_rdev), minor(st.st_rdev)));
    f->media_type = removable == 1 ? kMediaRemovable : kMediaFixed;
}

}  // namespace

handle open(const std::string& path, bool writable, facts* f, bool uncached) {
    const int fd = open_device(path.c_str(), writable, uncached);
    if (fd < 0) {
        note_system_error(errno);
        return kNone;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        note_system_error(errno = error);
        return kNone;
    }
    *f = facts{};
    if (S_ISBLK(st.st_mode)) {
        block_device_facts(fd, st, f);
    } else if (S_ISREG(st.st_mode)) {
        f->size_known = true;
        f->size_bytes = static_cast<std::uint64_t>(st.st_size);
        f->bytes_per_sector = kSectorBytes;
        f->media_type = kMediaFixed;
    } else {
        // A folder, a pipe or a character device holds no sectors.
        ::close(fd);
        note_system_error(errno = ENOTBLK);
        return kNone;
    }
    return fd;
}

void close(handle file) {
    if (file != kNone) ::close(static_cast<int>(file));
}

bool read_at(handle file, std::uint64_t offset, void* buffer, std::size_t bytes) {
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(static_cast<int>(file), p + done, bytes - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        // A direct read the device refuses for its alignment (a sector
        // size larger than ours) is retried through the emptied cache.
        if (n < 0 && errno == EINVAL && drop_direct_io(static_cast<int>(file))) continue;
        if (n < 0) note_system_error(errno);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool write_at(handle file, std::uint64_t offset, const void* buffer, std::size_t bytes) {
    const auto* p = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::pwrite(static_cast<int>(file), p + done, bytes - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) note_system_error(errno);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool flush(handle file) {
    if (::fsync(static_cast<int>(file)) == 0) return true;
    note_system_error(errno);
    return false;
}

}  // namespace kiroda::path_file

namespace kiroda {

const disk_ops& platform_disk_ops() {
    return path_disk::ops();
}

}  // namespace kiroda
