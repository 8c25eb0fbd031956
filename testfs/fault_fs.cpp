// A tiny FUSE file system for tests: it serves one image file, "disk.img",
// backed by a real file, and misbehaves as a failing or lying disk does.
//
//   kiroda_fault_fs BACKING MOUNTPOINT [--eio SECTOR]... [--alter-write SECTOR]
//
// --eio SECTOR: every read that touches the sector fails with EIO.
// --alter-write SECTOR: a write that covers the sector reports success but
//   stores it with one byte changed.
// It runs in the foreground until unmounted (fusermount3 -u MOUNTPOINT).
// Every read and write goes straight to the backing file (direct_io), so
// the kernel's cache never hides what the "disk" holds.
#define FUSE_USE_VERSION 35
#include <fuse.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr const char* kName = "/disk.img";
constexpr off_t kSector = 512;

struct settings {
    std::string backing;
    std::set<long long> eio_sectors;
    long long alter_write_sector = -1;
};

settings g;  // read-only once fuse_main runs

bool touches(long long sector, off_t offset, size_t size) {
    return sector >= 0 && sector * kSector < offset + static_cast<off_t>(size) &&
           (sector + 1) * kSector > offset;
}

int fs_getattr(const char* path, struct stat* st, fuse_file_info*) {
    std::memset(st, 0, sizeof *st);
    if (std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    if (std::strcmp(path, kName) != 0) return -ENOENT;
    struct stat backing {};
    if (::stat(g.backing.c_str(), &backing) != 0) return -errno;
    st->st_mode = S_IFREG | 0644;
    st->st_nlink = 1;
    st->st_size = backing.st_size;
    return 0;
}

int fs_readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*,
               fuse_readdir_flags) {
    if (std::strcmp(path, "/") != 0) return -ENOENT;
    fill(buf, ".", nullptr, 0, fuse_fill_dir_flags{});
    fill(buf, "..", nullptr, 0, fuse_fill_dir_flags{});
    fill(buf, kName + 1, nullptr, 0, fuse_fill_dir_flags{});
    return 0;
}

int fs_open(const char* path, fuse_file_info* fi) {
    if (std::strcmp(path, kName) != 0) return -ENOENT;
    const int fd =
        ::open(g.backing.c_str(), (fi->flags & O_ACCMODE) == O_RDONLY ? O_RDONLY : O_RDWR);
    if (fd < 0) return -errno;
    fi->fh = static_cast<uint64_t>(fd);
    fi->direct_io = 1;
    return 0;
}

int fs_read(const char*, char* buf, size_t size, off_t offset, fuse_file_info* fi) {
    for (long long s : g.eio_sectors) {
        if (touches(s, offset, size)) return -EIO;
    }
    const ssize_t n = ::pread(static_cast<int>(fi->fh), buf, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

int fs_write(const char*, const char* buf, size_t size, off_t offset, fuse_file_info* fi) {
    std::vector<char> copy(buf, buf + size);
    if (touches(g.alter_write_sector, offset, size)) {
        copy[static_cast<size_t>(g.alter_write_sector * kSector - offset) + 11] ^= 0x40;
    }
    const ssize_t n = ::pwrite(static_cast<int>(fi->fh), copy.data(), size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

int fs_fsync(const char*, int, fuse_file_info* fi) {
    return ::fsync(static_cast<int>(fi->fh)) == 0 ? 0 : -errno;
}

int fs_release(const char*, fuse_file_info* fi) {
    ::close(static_cast<int>(fi->fh));
    return 0;
}

int fs_truncate(const char*, off_t size, fuse_file_info*) {
    return ::truncate(g.backing.c_str(), size) == 0 ? 0 : -errno;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s BACKING MOUNTPOINT [--eio SECTOR]... [--alter-write SECTOR]\n",
                     argv[0]);
        return 2;
    }
    g.backing = argv[1];
    for (int i = 3; i + 1 < argc; i += 2) {
        const long long sector = std::atoll(argv[i + 1]);
        if (std::strcmp(argv[i], "--eio") == 0) {
            g.eio_sectors.insert(sector);
        } else if (std::strcmp(argv[i], "--alter-write") == 0) {
            g.alter_write_sector = sector;
        } else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    fuse_operations ops{};
    ops.getattr = fs_getattr;
    ops.readdir = fs_readdir;
    ops.open = fs_open;
    ops.read = fs_read;
    ops.write = fs_write;
    ops.fsync = fs_fsync;
    ops.release = fs_release;
    ops.truncate = fs_truncate;
    // Foreground, one thread, the mount point only.
    char* fuse_argv[] = {argv[0], argv[2], const_cast<char*>("-f"), const_cast<char*>("-s"),
                         nullptr};
    return fuse_main(4, fuse_argv, &ops, nullptr);
}
