#include "cli/mount_files.h"

#include "cli/disk_layout.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace kiroda::cli {

files_view::files_view(set_image& image, std::vector<sector_run> lost, std::uint32_t sector_bytes)
    : lost_(std::move(lost)) {
    disk_ =
        std::make_unique<disk_file_systems>(image.size(), streaming_reader(image), sector_bytes);
    if (!disk_->valid()) return;
    for (const disk_partition& p : disk_->partitions().partitions) {
        if (partition_file_system* fs = disk_->open(p.number)) {
            const std::string name = "part" + std::to_string(p.number);
            systems_[name] = fs;
            folders_.push_back(name);
        }
    }
}

files_view::place files_view::locate(const char* path) const {
    if (path[0] != '/') return {};
    const char* rest = std::strchr(path + 1, '/');
    const std::string folder = rest == nullptr ? path + 1 : std::string(path + 1, rest);
    const auto found = systems_.find(folder);
    if (found == systems_.end()) return {};
    return {found->second, rest == nullptr ? "" : rest + 1};
}

bool files_view::owns(const char* path) const {
    return locate(path).fs != nullptr;
}

lookup files_view::entry_at(const char* path, const place& at, fs_entry* e) {
    if (const auto known = entries_.find(path); known != entries_.end()) {
        *e = known->second;
        return lookup::found;
    }
    const lookup found = at.fs->stat(at.path, e);
    if (found == lookup::found) entries_.emplace(path, *e);
    return found;
}

int files_view::getattr(const char* path, struct stat* st) {
    const place at = locate(path);
    if (at.fs == nullptr) return -ENOENT;
    std::lock_guard<std::mutex> lock(mutex_);
    fs_entry e;
    const lookup found = entry_at(path, at, &e);
    if (found == lookup::unreadable) return -EIO;
    if (found != lookup::found) return -ENOENT;
    const bool folder = e.kind == entry_kind::folder;
    if (!folder && e.kind != entry_kind::file) return -ENOENT;
    st->st_mode = folder ? (S_IFDIR | 0555) : (S_IFREG | 0444);
    st->st_nlink = folder ? 2 : 1;
    st->st_size = folder ? 0 : static_cast<off_t>(e.size);
    st->st_blocks = static_cast<blkcnt_t>((e.size + 511) / 512);
    st->st_mtim.tv_sec = static_cast<time_t>(e.mtime);
    st->st_mtim.tv_nsec = static_cast<long>(e.mtime_nano % 1000000000u);
    return 0;
}

int files_view::readdir(const char* path, void* buffer, fuse_fill_dir_t fill) {
    const place at = locate(path);
    if (at.fs == nullptr) return -ENOENT;
    std::vector<fs_entry> entries;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const lookup found = at.fs->list(at.path, &entries);
        if (found == lookup::not_folder) return -ENOTDIR;
        if (found == lookup::unreadable) return -EIO;
        if (found != lookup::found) return -ENOENT;
    }
    fill(buffer, ".", nullptr, 0, fuse_fill_dir_flags{});
    fill(buffer, "..", nullptr, 0, fuse_fill_dir_flags{});
    for (const fs_entry& e : entries) {
        if (e.kind == entry_kind::file || e.kind == entry_kind::folder)
            fill(buffer, e.name.c_str(), nullptr, 0, fuse_fill_dir_flags{});
    }
    return 0;
}

int files_view::open(const char* path, fuse_file_info* fi) {
    struct stat st {};
    if (const int r = getattr(path, &st); r != 0) return r;
    if (S_ISDIR(st.st_mode)) return -EISDIR;
    if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
    fi->keep_cache = 1;
    return 0;
}

bool files_view::touches_lost(partition_file_system& fs, const fs_entry& e, std::uint64_t offset,
                              std::size_t size) {
    if (lost_.empty()) return false;
    const auto key = std::make_pair(&fs, e.meta);
    auto known = lost_of_file_.find(key);
    if (known == lost_of_file_.end()) {
        std::vector<disk_extent> extents;
        bool resident = false;
        std::uint64_t located = 0;
        fs.extents(e.meta, &extents, &resident, &located);
        std::vector<lost_range> ranges = lost_ranges(extents, lost_);
        if (located < e.size) ranges.push_back({located, e.size - located});
        known = lost_of_file_.emplace(key, std::move(ranges)).first;
    }
    for (const lost_range& r : known->second) {
        if (r.first < offset + size && offset < r.first + r.count) return true;
    }
    return false;
}

int files_view::read(const char* path, char* buffer, std::size_t size, off_t offset) {
    const place at = locate(path);
    if (at.fs == nullptr) return -ENOENT;
    if (offset < 0) return -EINVAL;
    std::lock_guard<std::mutex> lock(mutex_);
    fs_entry e;
    if (entry_at(path, at, &e) != lookup::found || e.kind != entry_kind::file) return -ENOENT;
    const auto from = static_cast<std::uint64_t>(offset);
    if (from >= e.size) return 0;
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(size, e.size - from));
    if (touches_lost(*at.fs, e, from, length)) return -EIO;
    const std::uint64_t failures = disk_->read_failures();
    const std::int64_t n = at.fs->read(e.meta, from, length, buffer);
    // Never fewer bytes than asked: the kernel would take it for the end.
    if (n != static_cast<std::int64_t>(length) || disk_->read_failures() != failures) return -EIO;
    return static_cast<int>(n);
}

std::unique_ptr<files_view> make_files_view(const std::string& folder, set_image& image) {
    bad_sector_map map;
    int bad_line = 0;
    std::vector<sector_run> lost;
    if (read_bad_sector_map(folder.c_str(), &map, &bad_line) == map_read::read)
        lost = map.bad_runs();
    return std::make_unique<files_view>(image, std::move(lost), set_sector_bytes(folder));
}

}  // namespace kiroda::cli
