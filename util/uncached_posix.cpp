#include "util/uncached_posix.h"

#include <fcntl.h>

#include <cerrno>

namespace kiroda {

int open_uncached(const char* path, int flags) {
    int fd = -1;
    do {
        fd = ::open(path, flags | O_DIRECT);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 || errno != EINVAL) return fd;
    do {
        fd = ::open(path, flags);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    return fd;
}

bool drop_direct_io(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_DIRECT) == 0) return false;
    if (::fcntl(fd, F_SETFL, flags & ~O_DIRECT) != 0) return false;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    return true;
}

}  // namespace kiroda
