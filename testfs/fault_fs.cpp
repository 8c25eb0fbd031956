// A tiny FUSE file system for tests, misbehaving as a failing or lying
// medium does.
//
//   kiroda_fault_fs BACKING MOUNTPOINT [OPTION]...
//
// BACKING a file: served as MOUNTPOINT/disk.img, a disk. Every read and
// write goes straight to the backing file (direct_io), so the kernel's
// cache never hides what the "disk" holds.
// BACKING a folder: served as MOUNTPOINT itself, with its files and folders:
// a medium a backup set is written to. The kernel keeps the files' pages in
// its cache as it does a USB stick's (kernel_cache), so only a read that
// bypasses the cache (O_DIRECT, or after the pages are dropped) sees what
// the medium holds.
//
// --eio SECTOR          a read that touches the sector fails with EIO
// --alter-write SECTOR  a write that covers the sector reports success but
//                       stores it with one byte changed
// (of disk.img, or of every file of a folder, or of --file's)
// --file NAME           a folder: the faults are those of files named NAME
// --eio-after-write     a folder: a read of a file written since the mount
//                       fails with EIO (a medium that takes writes and then
//                       cannot read them)
// --capacity BYTES      a folder: a fake-capacity medium. The files' data
//                       lie on a medium of BYTES, in 4 KiB clusters handed
//                       out in the order they are written; a write past it
//                       is lost, and a read past it returns the data kept at
//                       its offset modulo BYTES
// --wrap                with --capacity: a write past it lands at its offset
//                       modulo BYTES, over what is there (a card whose
//                       address lines wrap around)
// It runs in the foreground until unmounted (fusermount3 -u MOUNTPOINT).
#define FUSE_USE_VERSION 35
#include <fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr const char* kName = "/disk.img";
constexpr off_t kSector = 512;
constexpr off_t kCluster = 4096;

struct settings {
    std::string backing;
    bool folder = false;
    std::set<long long> eio_sectors;
    long long alter_write_sector = -1;
    std::string file;  // empty: every file
    bool eio_after_write = false;
    long long capacity = 0;  // 0: the medium keeps everything
    bool wrap = false;
};

// What the medium holds of one file (folder mode).
struct file_state {
    bool written = false;
    std::vector<long long> clusters;  // the medium's cluster of each of the file's
};

settings g;  // read-only once fuse_main runs
// One thread (-s): no lock.
std::map<std::string, file_state> g_files;
long long g_next_cluster = 0;
std::vector<unsigned char> g_medium;

bool touches(long long sector, off_t offset, size_t size) {
    return sector >= 0 && sector * kSector < offset + static_cast<off_t>(size) &&
           (sector + 1) * kSector > offset;
}

std::string backing_of(const char* path) {
    return g.folder ? g.backing + path : g.backing;
}

// Whether the faults are the file's at `path`.
bool faulty(const char* path) {
    if (!g.folder) return true;
    const char* name = std::strrchr(path, '/');
    return g.file.empty() || g.file == (name != nullptr ? name + 1 : path);
}

bool served(const char* path) {
    return g.folder || std::strcmp(path, kName) == 0;
}

int fs_getattr(const char* path, struct stat* st, fuse_file_info*) {
    std::memset(st, 0, sizeof *st);
    if (!g.folder && std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    if (!served(path)) return -ENOENT;
    struct stat backing {};
    if (::lstat(backing_of(path).c_str(), &backing) != 0) return -errno;
    if (g.folder) {
        *st = backing;
        return 0;
    }
    st->st_mode = S_IFREG | 0644;
    st->st_nlink = 1;
    st->st_size = backing.st_size;
    return 0;
}

int fs_readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*,
               fuse_readdir_flags) {
    if (!g.folder) {
        if (std::strcmp(path, "/") != 0) return -ENOENT;
        fill(buf, ".", nullptr, 0, fuse_fill_dir_flags{});
        fill(buf, "..", nullptr, 0, fuse_fill_dir_flags{});
        fill(buf, kName + 1, nullptr, 0, fuse_fill_dir_flags{});
        return 0;
    }
    DIR* dir = ::opendir(backing_of(path).c_str());
    if (dir == nullptr) return -errno;
    while (const dirent* entry = ::readdir(dir)) {
        fill(buf, entry->d_name, nullptr, 0, fuse_fill_dir_flags{});
    }
    ::closedir(dir);
    return 0;
}

// The file's clusters cut to `size` bytes.
void cut_clusters(const char* path, off_t size) {
    auto& clusters = g_files[path].clusters;
    const auto keep = static_cast<std::size_t>((size + kCluster - 1) / kCluster);
    if (clusters.size() > keep) clusters.resize(keep);
}

int open_backing(const char* path, int flags, mode_t mode, fuse_file_info* fi) {
    const int fd = ::open(backing_of(path).c_str(), flags, mode);
    if (fd < 0) return -errno;
    fi->fh = static_cast<uint64_t>(fd);
    // A disk is served straight; a folder's files through the kernel's cache.
    fi->direct_io = g.folder ? 0 : 1;
    fi->keep_cache = g.folder ? 1 : 0;
    return 0;
}

int fs_open(const char* path, fuse_file_info* fi) {
    if (!served(path)) return -ENOENT;
    const bool read_only = (fi->flags & O_ACCMODE) == O_RDONLY;
    const int result =
        open_backing(path, (read_only ? O_RDONLY : O_RDWR) | (fi->flags & O_TRUNC), 0, fi);
    if (result == 0 && g.folder && (fi->flags & O_TRUNC) != 0) cut_clusters(path, 0);
    return result;
}

int fs_create(const char* path, mode_t mode, fuse_file_info* fi) {
    if (!g.folder) return -EACCES;
    const int result =
        open_backing(path, O_RDWR | O_CREAT | (fi->flags & (O_TRUNC | O_EXCL)), mode, fi);
    if (result == 0) cut_clusters(path, 0);
    return result;
}

// The medium's byte for byte `at` of the file, or -1 for a hole.
long long medium_address(const file_state& f, off_t at) {
    const auto cluster = static_cast<std::size_t>(at / kCluster);
    if (cluster >= f.clusters.size() || f.clusters[cluster] < 0) return -1;
    return (f.clusters[cluster] * kCluster + at % kCluster) % g.capacity;
}

int fs_read(const char* path, char* buf, size_t size, off_t offset, fuse_file_info* fi) {
    if (faulty(path)) {
        for (long long s : g.eio_sectors) {
            if (touches(s, offset, size)) return -EIO;
        }
        if (g.eio_after_write && g_files[path].written) return -EIO;
    }
    const ssize_t n = ::pread(static_cast<int>(fi->fh), buf, size, offset);
    if (n < 0) return -errno;
    if (g.folder && g.capacity > 0) {
        const file_state& f = g_files[path];
        for (ssize_t i = 0; i < n; ++i) {
            const long long at = medium_address(f, offset + i);
            buf[i] = at < 0 ? 0 : static_cast<char>(g_medium[static_cast<std::size_t>(at)]);
        }
    }
    return static_cast<int>(n);
}

// Where the file's bytes go on a fake-capacity medium.
void store_on_medium(const char* path, const char* data, size_t size, off_t offset) {
    file_state& f = g_files[path];
    for (size_t i = 0; i < size; ++i) {
        const off_t at = offset + static_cast<off_t>(i);
        const auto cluster = static_cast<std::size_t>(at / kCluster);
        if (f.clusters.size() <= cluster) f.clusters.resize(cluster + 1, -1);
        if (f.clusters[cluster] < 0) f.clusters[cluster] = g_next_cluster++;
        const long long address = f.clusters[cluster] * kCluster + at % kCluster;
        if (address < g.capacity || g.wrap) {
            g_medium[static_cast<std::size_t>(address % g.capacity)] =
                static_cast<unsigned char>(data[i]);
        }
    }
}

int fs_write(const char* path, const char* buf, size_t size, off_t offset, fuse_file_info* fi) {
    std::vector<char> copy(buf, buf + size);
    if (faulty(path) && touches(g.alter_write_sector, offset, size)) {
        copy[static_cast<size_t>(g.alter_write_sector * kSector - offset) + 11] ^= 0x40;
    }
    const ssize_t n = ::pwrite(static_cast<int>(fi->fh), copy.data(), size, offset);
    if (n < 0) return -errno;
    if (g.folder) {
        g_files[path].written = true;
        if (g.capacity > 0) store_on_medium(path, copy.data(), static_cast<size_t>(n), offset);
    }
    return static_cast<int>(n);
}

int fs_fsync(const char*, int, fuse_file_info* fi) {
    return ::fsync(static_cast<int>(fi->fh)) == 0 ? 0 : -errno;
}

int fs_fsyncdir(const char*, int, fuse_file_info*) {
    return 0;
}

int fs_release(const char*, fuse_file_info* fi) {
    ::close(static_cast<int>(fi->fh));
    return 0;
}

int fs_truncate(const char* path, off_t size, fuse_file_info* fi) {
    const int result = fi != nullptr ? ::ftruncate(static_cast<int>(fi->fh), size)
                                     : ::truncate(backing_of(path).c_str(), size);
    if (result != 0) return -errno;
    if (g.folder) cut_clusters(path, size);
    return 0;
}

int fs_mkdir(const char* path, mode_t mode) {
    return ::mkdir(backing_of(path).c_str(), mode) == 0 ? 0 : -errno;
}

int fs_rmdir(const char* path) {
    return ::rmdir(backing_of(path).c_str()) == 0 ? 0 : -errno;
}

int fs_unlink(const char* path) {
    if (::unlink(backing_of(path).c_str()) != 0) return -errno;
    g_files.erase(path);
    return 0;
}

int fs_rename(const char* from, const char* to, unsigned int flags) {
    if (flags != 0) return -EINVAL;
    if (::rename(backing_of(from).c_str(), backing_of(to).c_str()) != 0) return -errno;
    const auto found = g_files.find(from);
    g_files.erase(to);
    if (found != g_files.end()) {
        g_files[to] = found->second;
        g_files.erase(found);
    }
    return 0;
}

int fs_utimens(const char* path, const struct timespec times[2], fuse_file_info*) {
    return ::utimensat(AT_FDCWD, backing_of(path).c_str(), times, 0) == 0 ? 0 : -errno;
}

int fs_statfs(const char*, struct statvfs* st) {
    return ::statvfs(g.backing.c_str(), st) == 0 ? 0 : -errno;
}

void* fs_init(fuse_conn_info* conn, fuse_config* config) {
    if (g.folder) {
        // The pages written stay in the cache as the pages of a real disk do,
        // over a close and an open, and nothing the file system does drops them.
        config->kernel_cache = 1;
        config->auto_cache = 0;
        conn->want &= ~static_cast<unsigned>(FUSE_CAP_AUTO_INVAL_DATA);
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s BACKING MOUNTPOINT [--eio SECTOR]... [--alter-write SECTOR]\n"
                     "       [--file NAME] [--eio-after-write] [--capacity BYTES [--wrap]]\n",
                     argv[0]);
        return 2;
    }
    g.backing = argv[1];
    struct stat backing {};
    g.folder = ::stat(argv[1], &backing) == 0 && S_ISDIR(backing.st_mode);
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        const bool flag = option == "--eio-after-write" || option == "--wrap";
        if (!flag && i + 1 >= argc) {
            std::fprintf(stderr, "%s needs a value\n", argv[i]);
            return 2;
        }
        if (option == "--eio") {
            g.eio_sectors.insert(std::atoll(argv[++i]));
        } else if (option == "--alter-write") {
            g.alter_write_sector = std::atoll(argv[++i]);
        } else if (option == "--file") {
            g.file = argv[++i];
        } else if (option == "--capacity") {
            g.capacity = std::atoll(argv[++i]);
        } else if (option == "--eio-after-write") {
            g.eio_after_write = true;
        } else if (option == "--wrap") {
            g.wrap = true;
        } else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (g.capacity < 0 || (!g.folder && (g.capacity > 0 || g.eio_after_write || !g.file.empty()))) {
        std::fprintf(stderr, "--file, --eio-after-write and --capacity serve a folder\n");
        return 2;
    }
    g_medium.assign(static_cast<std::size_t>(g.capacity), 0);
    fuse_operations ops{};
    ops.init = fs_init;
    ops.getattr = fs_getattr;
    ops.readdir = fs_readdir;
    ops.open = fs_open;
    ops.read = fs_read;
    ops.write = fs_write;
    ops.fsync = fs_fsync;
    ops.release = fs_release;
    ops.truncate = fs_truncate;
    if (g.folder) {
        ops.create = fs_create;
        ops.mkdir = fs_mkdir;
        ops.rmdir = fs_rmdir;
        ops.unlink = fs_unlink;
        ops.rename = fs_rename;
        ops.utimens = fs_utimens;
        ops.statfs = fs_statfs;
        ops.fsyncdir = fs_fsyncdir;
    }
    // Foreground, one thread, the mount point only.
    char* fuse_argv[] = {argv[0], argv[2], const_cast<char*>("-f"), const_cast<char*>("-s"),
                         nullptr};
    return fuse_main(4, fuse_argv, &ops, nullptr);
}
