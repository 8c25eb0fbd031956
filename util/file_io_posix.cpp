#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "util/file_io.h"
#include "util/free_space.h"
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

namespace {

int open_for_reading(const char* path) {
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
    unique_fd fd(open_uncached(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        note_system_error(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) return (errno = EINVAL, -1);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return -1;
    return fd.release();
}

std::int64_t read_back(int fd, void* buffer, std::size_t size) {
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
    return static_cast<std::int64_t>(done);
}

void forget_cached_pages(const char* path) {
    const unique_fd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.valid()) ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
}

int open_for_writing(const char* path) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) note_system_error(errno);
    return fd;
}

int open_to_continue(const char* path, std::int64_t keep_bytes) {
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
    return fd.release();
}

std::int64_t read_full(int fd, void* buffer, std::size_t size) {
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
    const auto* p = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            note_system_error(errno);
            break;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

bool commit_file(int fd) {
    if (::fsync(fd) == 0) return true;
    note_system_error(errno);
    return false;
}

bool skip_forward(int fd, std::int64_t bytes) {
    return ::lseek(fd, static_cast<off_t>(bytes), SEEK_CUR) >= 0;
}

std::int64_t file_position(int fd) {
    return ::lseek(fd, 0, SEEK_CUR);
}

end_of_file at_end_of_file(int fd) {
    struct stat st {};
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    if (position < 0 || ::fstat(fd, &st) != 0) return end_of_file::unknown;
    return position >= st.st_size ? end_of_file::at_end : end_of_file::before;
}

bool rename_replacing(const char* from, const char* to) {
    return std::rename(from, to) == 0;
}

// The rename itself must reach the volume before the caller goes on: a map
// of lost sectors must be there before the block it describes. File systems
// that cannot sync a folder (EINVAL) keep renames in order.
bool sync_folder_of(const char* path) {
    char folder[kPathCapacity];
    if (!directory_of_path(path, folder, sizeof folder)) return false;
    unique_fd dir(::open(folder[0] != '\0' ? folder : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) return false;
    return ::fsync(dir.get()) == 0 || errno == EINVAL;
}

removal remove_file(const char* path) {
    if (std::remove(path) == 0) return removal::removed;
    return errno == ENOENT ? removal::absent : removal::failed;
}

constexpr file_ops kPosixFiles{
    open_for_reading, open_for_reading_back, read_back,    forget_cached_pages,
    open_for_writing, open_to_continue,      read_full,    write_full,
    commit_file,      at_end_of_file,        skip_forward, file_position,
    rename_replacing, sync_folder_of,        remove_file,  platform_folder_free_bytes,
};

}  // namespace

const file_ops& platform_file_ops() {
    return kPosixFiles;
}

}  // namespace kiroda
