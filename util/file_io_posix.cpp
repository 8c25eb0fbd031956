#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "util/file_io.h"
#include "util/io_census_test_support.h"
#include "util/path.h"
#include "util/system_error.h"
#include "util/uncached_posix.h"

namespace kiroda {

bool unique_fd::reset(int fd) {
    bool ok = true;
    if (fd_ >= 0) ok = ::close(fd_) == 0;
    fd_ = fd;
    return ok;
}

int open_for_reading(const char* path) {
    if (io_census_fails()) return (errno = EIO, -1);
    // Without blocking: a FIFO put in place of a set's file would otherwise
    // hold open() until a writer comes, forever. Only a regular file is one
    // of ours (a device or a FIFO is refused with EINVAL).
    unique_fd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd.valid()) return -1;
    if (::fstat(fd.get(), &st) != 0) return -1;
    if (!S_ISREG(st.st_mode)) return (errno = EINVAL, -1);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return -1;
    return fd.release();
}

int open_for_reading_back(const char* path) {
    if (io_census_fails()) return (errno = EIO, -1);
    unique_fd fd(open_uncached(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        note_system_error(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) return (errno = EINVAL, -1);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return -1;
    io_census_opened_for_read_back(fd.get(), path);
    return fd.release();
}

std::int64_t read_back(int fd, void* buffer, std::size_t size) {
    if (io_census_fails()) return (errno = EIO, -1);
    const off_t start = ::lseek(fd, 0, SEEK_CUR);
    if (start < 0) return -1;
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        // A direct read the file system refuses for its alignment (a
        // device whose sectors are larger than 4 KiB) goes on through the
        // emptied cache.
        if (n < 0 && errno == EINVAL && drop_direct_io(fd)) continue;
        if (n < 0) {
            note_system_error(errno);
            return -1;
        }
        if (n == 0) break;
        const bool short_read = static_cast<std::size_t>(n) < size - done;
        done += static_cast<std::size_t>(n);
        // Short at the end of the file: a read from there would start off
        // the alignment a direct read needs.
        struct stat st {};
        if (short_read && ::fstat(fd, &st) == 0 && start + static_cast<off_t>(done) >= st.st_size) {
            break;
        }
    }
    const std::int64_t got =
        io_census_read_back(fd, buffer, static_cast<std::int64_t>(done), start);
    if (got < 0) note_system_error(errno);
    return got;
}

void forget_cached_pages(const char* path) {
    const unique_fd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.valid()) ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
}

int open_for_writing(const char* path) {
    if (io_census_fails()) return (errno = EIO, -1);
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) note_system_error(errno);
    if (fd >= 0) io_record_opened(fd, path, -1);
    return fd;
}

int open_to_continue(const char* path, std::int64_t keep_bytes) {
    if (io_census_fails()) return (errno = EIO, -1);
    unique_fd fd(::open(path, O_WRONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        note_system_error(errno);
        return -1;
    }
    // A file shorter than what is to be kept fails no system call.
    if (keep_bytes < 0 || st.st_size < keep_bytes) {
        note_system_error(EINVAL);
        return -1;
    }
    if (::ftruncate(fd.get(), static_cast<off_t>(keep_bytes)) != 0 ||
        ::lseek(fd.get(), static_cast<off_t>(keep_bytes), SEEK_SET) !=
            static_cast<off_t>(keep_bytes)) {
        note_system_error(errno);
        return -1;
    }
    io_record_opened(fd.get(), path, keep_bytes);
    return fd.release();
}

std::int64_t read_full(int fd, void* buffer, std::size_t size) {
    if (io_census_fails()) return (errno = EIO, -1);
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            note_system_error(errno);
            return -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t write_full(int fd, const void* buffer, std::size_t size) {
    if (io_census_fails()) return (errno = EIO, 0);
    const auto* p = static_cast<const unsigned char*>(buffer);
    const std::size_t allowed = io_census_write_allowance(size);
    const std::int64_t start = io_recording() ? ::lseek(fd, 0, SEEK_CUR) : 0;
    std::size_t done = 0;
    while (done < allowed) {
        const ssize_t n = ::write(fd, p + done, allowed - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            note_system_error(errno);
            break;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    io_record_written(fd, start, buffer, done);
    return static_cast<std::int64_t>(done);
}

bool commit_file(int fd) {
    if (io_census_fails()) return false;
    if (::fsync(fd) == 0) {
        io_record_committed(fd);
        return true;
    }
    note_system_error(errno);
    return false;
}

bool skip_forward(int fd, std::int64_t bytes) {
    return ::lseek(fd, static_cast<off_t>(bytes), SEEK_CUR) >= 0;
}

std::int64_t file_position(int fd) {
    return ::lseek(fd, 0, SEEK_CUR);
}

int at_end_of_file(int fd) {
    if (io_census_fails()) return -1;
    struct stat st {};
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    if (position < 0 || ::fstat(fd, &st) != 0) return -1;
    return position >= st.st_size ? 1 : 0;
}

bool replace_file(const char* from, const char* to) {
    if (io_census_fails() || std::rename(from, to) != 0) return false;
    io_record_renamed(from, to);
    // The rename itself must reach the volume before the caller goes on: a
    // map of lost sectors must be there before the block it describes.
    // File systems that cannot sync a folder (EINVAL) keep renames in order.
    char folder[kPathCapacity];
    if (!directory_of_path(to, folder, sizeof folder)) return false;
    unique_fd dir(::open(folder[0] != '\0' ? folder : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) return false;
    if (::fsync(dir.get()) != 0 && errno != EINVAL) return false;
    io_record_folder_synced(folder[0] != '\0' ? folder : ".");
    return true;
}

bool remove_file(const char* path) {
    if (std::remove(path) == 0) {
        io_record_removed(path);
        return true;
    }
    return errno == ENOENT;
}

}  // namespace kiroda
