// krdtool mount: a set as a read-only FUSE file system holding disk.img and
// a partN.img for every partition of its MBR (cli/set_view.h). The set is
// checked and indexed before the mount (engine/set_image.h); every block is
// checked again as it is unpacked for a read, and a read that touches a bad
// block fails with EIO.
#define FUSE_USE_VERSION 312
#include <fuse.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "cli/bad_sector_report.h"
#include "cli/command.h"
#include "cli/mount_files.h"
#include "cli/engine_run.h"
#include "cli/mount_point.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/set_commands.h"
#include "cli/set_view.h"
#include "format/source_disk.h"
#include "cli/terminal_messages.h"
#include "engine/header_file.h"
#include "engine/sequential_reads.h"
#include "engine/set_image.h"
#include "format/set_files.h"
#include "ui/translation.h"
#include "util/path.h"

namespace kiroda::cli {

namespace {

namespace fs = std::filesystem;

// Threads FUSE may read on at once: each may be unpacking a block of its
// own (16 MiB) beside the cache.
constexpr unsigned kReadThreads = 4;
// The kernel's read-ahead asked for the mount, in KiB: requests of 1 MiB
// (as large as the kernel makes them), several in flight. FUSE's own limit
// needs nothing set: libfuse 3 takes requests of up to 1 MiB (256 pages,
// the kernel's most) and its max_read is unlimited. Against the default of
// 128 KiB requests a sequential read costs the server an eighth of the
// context switches; its time changed less than this machine's noise.
constexpr unsigned kReadAheadKib = 4096;

struct mounted_set {
    set_image* image;
    std::vector<view_file> files;
    struct timespec time;                // of the header file: every file of the view has it
    files_view* file_systems = nullptr;  // --files: the partN/ folders
};

mounted_set& this_set() {
    return *static_cast<mounted_set*>(fuse_get_context()->private_data);
}

const view_file* file_of(const char* path) {
    if (path[0] != '/') return nullptr;
    return find_view_file(this_set().files, path + 1);
}

int fs_getattr(const char* path, struct stat* st, fuse_file_info*) {
    std::memset(st, 0, sizeof *st);
    const mounted_set& set = this_set();
    st->st_uid = ::getuid();
    st->st_gid = ::getgid();
    st->st_mtim = st->st_ctim = st->st_atim = set.time;
    if (std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0555;
        st->st_nlink = 2;
        return 0;
    }
    if (set.file_systems != nullptr && set.file_systems->owns(path))
        return set.file_systems->getattr(path, st);
    const view_file* f = file_of(path);
    if (f == nullptr) return -ENOENT;
    st->st_mode = S_IFREG | 0444;
    st->st_nlink = 1;
    st->st_size = static_cast<off_t>(f->size);
    st->st_blksize = 4096;
    st->st_blocks = static_cast<blkcnt_t>((f->size + 511) / 512);
    return 0;
}

int fs_readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
               fuse_readdir_flags) {
    files_view* file_systems = this_set().file_systems;
    if (file_systems != nullptr && file_systems->owns(path))
        return file_systems->readdir(path, buffer, fill);
    if (std::strcmp(path, "/") != 0) return -ENOTDIR;
    if (file_systems != nullptr) {
        for (const std::string& folder : file_systems->folders())
            fill(buffer, folder.c_str(), nullptr, 0, fuse_fill_dir_flags{});
    }
    fill(buffer, ".", nullptr, 0, fuse_fill_dir_flags{});
    fill(buffer, "..", nullptr, 0, fuse_fill_dir_flags{});
    for (const view_file& f : this_set().files) {
        fill(buffer, f.name.c_str(), nullptr, 0, fuse_fill_dir_flags{});
    }
    return 0;
}

// One open file of the view: which, and how its reads go on.
struct open_file {
    explicit open_file(const view_file* f) : file(f), reads(set_image::kReadAheadBytes) {}
    const view_file* file;
    sequential_reads reads;
};

int fs_open(const char* path, fuse_file_info* fi) {
    files_view* file_systems = this_set().file_systems;
    // Files of the file systems keep no state of their own (fh stays 0).
    if (file_systems != nullptr && file_systems->owns(path)) return file_systems->open(path, fi);
    const view_file* f = file_of(path);
    if (f == nullptr) return -ENOENT;
    if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
    auto* opened = new (std::nothrow) open_file(f);
    if (opened == nullptr) return -ENOMEM;
    fi->fh = reinterpret_cast<std::uintptr_t>(opened);
    // The bytes never change while mounted: the kernel may keep its cache
    // across opens.
    fi->keep_cache = 1;
    return 0;
}

int fs_release(const char*, fuse_file_info* fi) {
    delete reinterpret_cast<open_file*>(static_cast<std::uintptr_t>(fi->fh));
    return 0;
}

int fs_read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
    files_view* file_systems = this_set().file_systems;
    if (file_systems != nullptr && file_systems->owns(path))
        return file_systems->read(path, buffer, size, offset);
    auto* opened = reinterpret_cast<open_file*>(static_cast<std::uintptr_t>(fi->fh));
    if (opened == nullptr) return -EBADF;
    const view_file* f = opened->file;
    if (offset < 0) return -EINVAL;
    const auto at = static_cast<std::uint64_t>(offset);
    if (at >= f->size) return 0;
    const std::uint64_t length = std::min<std::uint64_t>(size, f->size - at);
    set_image& image = *this_set().image;
    // Asked for before this read is served: the blocks after it unpack
    // while it is.
    const byte_range ahead = opened->reads.after_read(at, length);
    if (ahead.length > 0 && ahead.offset < f->size) {
        image.read_ahead(f->offset + ahead.offset, std::min(ahead.length, f->size - ahead.offset));
    }
    const std::int64_t n = image.read(f->offset + at, length, buffer);
    // Never fewer bytes than asked: the kernel would take the rest for the
    // end of the file.
    if (n != static_cast<std::int64_t>(length)) return -EIO;
    return static_cast<int>(n);
}

int fs_statfs(const char*, struct statvfs* st) {
    std::memset(st, 0, sizeof *st);
    st->f_bsize = st->f_frsize = 512;
    st->f_blocks = this_set().image->size() / 512;
    st->f_namemax = 255;
    return 0;
}

void* fs_init(fuse_conn_info* conn, fuse_config* config) {
    // Sizes and names never change while mounted.
    config->kernel_cache = 1;
    config->entry_timeout = config->attr_timeout = 3600;
    // The kernel takes the smaller of this and its own read-ahead: a wider
    // one set before this answer reaches it must stay.
    conn->max_readahead = kReadAheadKib * 1024;
    return fuse_get_context()->private_data;
}

fuse_operations operations() {
    fuse_operations ops{};
    ops.getattr = fs_getattr;
    ops.readdir = fs_readdir;
    ops.open = fs_open;
    ops.release = fs_release;
    ops.read = fs_read;
    ops.statfs = fs_statfs;
    ops.init = fs_init;
    return ops;
}

// A value of a -o option, with the separators FUSE reads escaped.
std::string option_value(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == ',' || c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

struct fuse_deleter {
    void operator()(fuse* f) const { fuse_destroy(f); }
};

// Serves `set` at `mount_point` until it is unmounted (or a signal ends
// it); returns the exit status.
int serve(mounted_set& set, const std::string& folder, const std::string& mount_point,
          bool foreground, std::FILE* out, std::FILE* err) {
    const std::string options =
        "ro,default_permissions,subtype=krdtool,fsname=" + option_value(folder);
    const char* words[] = {"krdtool", "-o", options.c_str()};
    fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(words));
    const fuse_operations ops = operations();
    std::unique_ptr<fuse, fuse_deleter> f(fuse_new(&args, &ops, sizeof ops, &set));
    if (f == nullptr) {
        print_message(err, "FUSE を使えません (libfuse3)");
        return kExitFailed;
    }
    if (fuse_mount(f.get(), mount_point.c_str()) != 0) {
        print_message(
            err,
            "マウントできません: %s (/dev/fuse と fusermount3 が使えるか、マウント先が空の"
            "フォルダか確かめて下さい)",
            mount_point.c_str());
        return kExitFailed;
    }
    // Where it cannot be set (not root), reads go as 128 KiB requests.
    widen_read_ahead(mount_point, kReadAheadKib);
    std::string names;
    for (const view_file& file : set.files) names += " " + file.name;
    if (set.file_systems != nullptr) {
        for (const std::string& name : set.file_systems->folders()) names += " " + name + "/";
    }
    print(out, "マウントしました: %s (%s)\n", mount_point.c_str(), names.c_str() + 1);
    print(out, "終えるには: fusermount3 -u %s\n", mount_point.c_str());
    std::fflush(out);
    std::fflush(err);
    // In the background the caller returns now; stdio goes to /dev/null.
    if (fuse_daemonize(foreground ? 1 : 0) != 0) {
        fuse_unmount(f.get());
        return kExitFailed;
    }
    set.image->allow_read_ahead(true);
    // FUSE takes SIGINT, SIGTERM and SIGHUP only from their default action:
    // its handlers end the loop and unmount, in place of krdtool's stop.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
    fuse_session* session = fuse_get_session(f.get());
    const bool handlers = fuse_set_signal_handlers(session) == 0;
    fuse_loop_config* config = fuse_loop_cfg_create();
    fuse_loop_cfg_set_max_threads(config, kReadThreads);
    fuse_loop_cfg_set_idle_threads(config, kReadThreads);
    const int ended = fuse_loop_mt(f.get(), config);
    fuse_loop_cfg_destroy(config);
    if (handlers) fuse_remove_signal_handlers(session);
    fuse_unmount(f.get());
    return ended == 0 || ended == SIGINT || ended == SIGTERM || ended == SIGHUP ? kExitDone
                                                                                : kExitFailed;
}

// The set in `folder` opened for serving, its files in `set`; null after a
// message.
std::unique_ptr<set_image> open_served_set(const std::string& folder, mounted_set& set,
                                           std::FILE* err) {
    terminal_messages messages(err, answers_for(err, false));
    backup_header header{};
    if (read_header_file(nullptr, folder.c_str(), &header) != header_read::read) return nullptr;
    if (confirm_header_version(nullptr, header) != kIdOk) return nullptr;
    auto image =
        std::make_unique<set_image>(folder, header.backup_bytes, set_image::kDefaultCachedBlocks,
                                    worker_threads_from_environment());
    silent_progress p;
    if (!image->open(p)) return nullptr;
    // The server goes to the background by forking, which takes no
    // thread along: reads before it (the file systems looked for)
    // start none.
    image->allow_read_ahead(false);
    set.image = image.get();
    source_disk made_from;
    const bool recorded = read_source_disk(folder.c_str(), &made_from) == source_disk_read::read;
    set.files = view_files(*image, err, recorded ? made_from.logical_sector_bytes() : 512);
    return image;
}

}  // namespace

int run_mount_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const parsed_options options = parse_options(args, {"--foreground", "--files"});
    if (!options.error.empty() || options.operands.size() != 2) {
        if (!options.error.empty()) print(err, "krdtool mount: %s\n", options.error.c_str());
        print(err, "使い方: krdtool mount [--foreground] [--files] SETDIR MOUNTPOINT\n");
        return kExitUsage;
    }
    std::error_code error;
    // Absolute: the server leaves the working folder when it goes to the
    // background.
    const std::string folder = fs::absolute(options.operands[0], error).lexically_normal().string();
    std::string mount_point = fs::absolute(options.operands[1], error).lexically_normal().string();
    if (!mount_point_usable(err, mount_point, options.operands[1])) return kExitFailed;
    // Its links resolved, as the kernel lists the mount.
    const fs::path real = fs::canonical(mount_point, error);
    if (!error) mount_point = real.string();
    const std::string set_folder =
        folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    mounted_set set{nullptr, {}, {}};
    const std::unique_ptr<set_image> image = open_served_set(set_folder, set, err);
    if (image == nullptr) return kExitFailed;
    // A block that fails on a read is named (in the foreground; in the
    // background there is nobody to read it).
    image->on_block_failure([err](const block_failure& f) {
        const char* reason = block_failure_reason(f.code);
        print(err,
              "読めないブロックがあります: %zu 番目のブロック (" KIRODA_DATA_FILE_NAME_FORMAT
              "): %s\n",
              f.block, f.file_number, reason != nullptr ? localized(reason) : "");
    });
    report_bad_sectors(set_folder, out, "");
    std::unique_ptr<files_view> file_systems;
    if (options.has("--files")) {
        file_systems = make_files_view(set_folder, *image);
        set.file_systems = file_systems.get();
    }
    struct stat header_stat {};
    if (::stat((set_folder + "/" + kHeaderFileName).c_str(), &header_stat) == 0) {
        set.time = header_stat.st_mtim;
    }
    return serve(set, set_folder, mount_point, options.has("--foreground"), out, err);
}

}  // namespace kiroda::cli
