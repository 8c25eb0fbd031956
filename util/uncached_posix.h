// Reads that bypass the system's cache, on Linux: the one way both the
// restore's read-back of its target (disk/physical_disk_posix.cpp) and the
// backup's read-back of its set (util/file_io_posix.cpp) see what the
// medium holds rather than what was handed to it.
#pragma once

namespace kiroda {

// Opens `path` with `flags` (read only) and O_DIRECT, so reads come from the
// device. A file system that takes no direct I/O (EINVAL: tmpfs) gets the
// plain open instead, with the file's cached pages dropped (its data must
// be committed: only clean pages are dropped). The descriptor, or -1 with
// errno set.
int open_uncached(const char* path, int flags);

// After a direct read failed with EINVAL (a device whose sectors are larger
// than the transfer's alignment): the descriptor reads through the cache
// from now on, emptied of the file first. True when it was direct, so the
// read may be tried again.
bool drop_direct_io(int fd);

}  // namespace kiroda
