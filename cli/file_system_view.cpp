#include "cli/file_system_view.h"
#include "cli/set_view.h"

#include <tsk/libtsk.h>
#include <tsk/fs/tsk_ntfs.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kiroda::cli {

constexpr std::uint64_t kSector = 512;

// The library's image: its own struct first (it writes its cache there),
// then what our read needs. Allocated zeroed, freed by image_close, which
// tsk_img_close calls.
struct disk_file_systems::image_state {
    TSK_IMG_INFO img;
    disk_reader* reader;
    std::atomic<std::uint64_t>* failures;
};

struct partition_file_system::fs_state {
    TSK_FS_INFO* fs;
    // NTFS: where the file table ($MFT) lies, found once for record_place.
    std::vector<disk_extent> file_table;
    bool file_table_found = false;
};

namespace {

ssize_t image_read(TSK_IMG_INFO* img, TSK_OFF_T offset, char* buffer, size_t length) {
    auto* state = reinterpret_cast<disk_file_systems::image_state*>(img);
    const std::int64_t n =
        offset < 0 ? -1 : (*state->reader)(static_cast<std::uint64_t>(offset), length, buffer);
    if (n < 0) {
        state->failures->fetch_add(1);
        tsk_error_reset();
        tsk_error_set_errno(TSK_ERR_IMG_READ);
        tsk_error_set_errstr("block of the set cannot be read at byte %lld",
                             static_cast<long long>(offset));
        return -1;
    }
    return static_cast<ssize_t>(n);
}

void image_close(TSK_IMG_INFO* img) {
    std::free(img);
}

void image_stat(TSK_IMG_INFO*, FILE*) {}

struct file_closer {
    void operator()(TSK_FS_FILE* f) const { tsk_fs_file_close(f); }
};
struct dir_closer {
    void operator()(TSK_FS_DIR* d) const { tsk_fs_dir_close(d); }
};
using file_ptr = std::unique_ptr<TSK_FS_FILE, file_closer>;
using dir_ptr = std::unique_ptr<TSK_FS_DIR, dir_closer>;

entry_kind kind_of(TSK_FS_META_TYPE_ENUM type) {
    switch (type) {
        case TSK_FS_META_TYPE_REG:
            return entry_kind::file;
        case TSK_FS_META_TYPE_DIR:
            return entry_kind::folder;
        case TSK_FS_META_TYPE_LNK:
            return entry_kind::link;
        default:
            return entry_kind::other;
    }
}

fs_entry entry_of(const TSK_FS_FILE& file, const char* name, bool owners) {
    fs_entry e;
    e.name = name;
    const TSK_FS_META* meta = file.meta;
    e.meta = meta->addr;
    e.kind = kind_of(meta->type);
    e.size = meta->size > 0 ? static_cast<std::uint64_t>(meta->size) : 0;
    e.mtime = static_cast<std::int64_t>(meta->mtime);
    e.mtime_nano = meta->mtime_nano;
    e.has_owner = owners;
    e.uid = static_cast<std::uint32_t>(meta->uid);
    e.gid = static_cast<std::uint32_t>(meta->gid);
    e.mode = static_cast<std::uint32_t>(meta->mode);
    return e;
}

// Entries a listing leaves out: ".", "..", deleted names, the library's own
// virtual files and folders, and NTFS's system files in its root ($MFT,
// $Bitmap, ...: the metadata files of the first MFT records).
bool listed(const TSK_FS_INFO* fs, const TSK_FS_NAME* name, bool in_root) {
    if (name == nullptr || name->name == nullptr) return false;
    if (std::strcmp(name->name, ".") == 0 || std::strcmp(name->name, "..") == 0) return false;
    if ((name->flags & TSK_FS_NAME_FLAG_ALLOC) == 0) return false;
    if (name->type == TSK_FS_NAME_TYPE_VIRT || name->type == TSK_FS_NAME_TYPE_VIRT_DIR)
        return false;
    if (TSK_FS_TYPE_ISNTFS(fs->ftype) && in_root && name->name[0] == '$' && name->meta_addr < 27)
        return false;
    return true;
}

// FAT keeps its label as an entry of the root folder; the library lists it
// as an empty file named "LABEL (Volume Label Entry)", marked no other way.
bool fat_label_entry(const TSK_FS_INFO* fs, const TSK_FS_FILE& file) {
    static constexpr char kSuffix[] = " (Volume Label Entry)";
    constexpr std::size_t kLength = sizeof kSuffix - 1;
    if (!TSK_FS_TYPE_ISFAT(fs->ftype) || file.meta->size != 0) return false;
    const std::size_t length = std::strlen(file.name->name);
    return length > kLength && std::strcmp(file.name->name + length - kLength, kSuffix) == 0;
}

std::string normal_path(const std::string& path) {
    std::string p = "/";
    for (const char c : path) {
        if (c == '/' && p.back() == '/') continue;
        p += c;
    }
    if (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

}  // namespace

std::string child_path(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder == "/") return name;
    return folder + "/" + name;
}

disk_file_systems::disk_file_systems(std::uint64_t disk_bytes, disk_reader reader,
                                     std::uint32_t sector_bytes)
    : disk_bytes_(disk_bytes), reader_(std::move(reader)) {
    void* memory = std::calloc(1, sizeof(image_state));
    if (memory == nullptr) return;
    auto* state = static_cast<image_state*>(memory);
    state->reader = &reader_;
    state->failures = &failures_;
    if (tsk_img_open_external(state, static_cast<TSK_OFF_T>(disk_bytes), 512, image_read,
                              image_close, image_stat) == nullptr) {
        std::free(memory);
        return;
    }
    image_ = state;
    list_ =
        disk_partitions(disk_bytes_, sector_bytes, [this](std::uint64_t sector, unsigned char* b) {
            return reader_(sector * kSector, kSector, b) == static_cast<std::int64_t>(kSector);
        });
}

disk_file_systems::~disk_file_systems() {
    open_.clear();
    if (image_ != nullptr) tsk_img_close(&image_->img);
}

partition_file_system* disk_file_systems::open(int number, std::string* why) {
    for (auto& [n, fs] : open_) {
        if (n == number) return fs.get();
    }
    const disk_partition* part = nullptr;
    for (const disk_partition& p : list_.partitions) {
        if (p.number == number) part = &p;
    }
    if (part == nullptr || image_ == nullptr) {
        if (why != nullptr) why->clear();
        return nullptr;
    }
    TSK_FS_INFO* fs = tsk_fs_open_img(
        &image_->img, static_cast<TSK_OFF_T>(part->first_sector * kSector), TSK_FS_TYPE_DETECT);
    if (fs == nullptr) {
        if (why != nullptr) *why = partition_file_system::last_error();
        return nullptr;
    }
    auto* state = new partition_file_system::fs_state{fs, {}, false};
    open_.emplace_back(number, std::make_unique<partition_file_system>(state, *part));
    return open_.back().second.get();
}

std::vector<fs_partition> disk_file_systems::survey() {
    std::vector<fs_partition> found;
    for (const disk_partition& p : list_.partitions) {
        fs_partition entry{p, "", ""};
        if (partition_file_system* fs = open(p.number)) {
            entry.file_system = fs->type_name();
            entry.label = fs->label();
        }
        found.push_back(entry);
    }
    return found;
}

partition_file_system::~partition_file_system() {
    tsk_fs_close(fs_->fs);
    delete fs_;
}

const char* partition_file_system::type_name() const {
    const char* name = tsk_fs_type_toname(fs_->fs->ftype);
    return name != nullptr ? name : "";
}

std::uint64_t partition_file_system::block_size() const {
    return fs_->fs->block_size;
}

std::uint64_t partition_file_system::block_count() const {
    return fs_->fs->block_count;
}

std::uint64_t partition_file_system::block_offset(std::uint64_t block) const {
    return static_cast<std::uint64_t>(fs_->fs->offset) + block * fs_->fs->block_size;
}

bool partition_file_system::ntfs() const {
    return TSK_FS_TYPE_ISNTFS(fs_->fs->ftype);
}

std::string partition_file_system::last_error() {
    const char* text = tsk_error_get();
    std::string error = text != nullptr ? text : "";
    tsk_error_reset();
    return error;
}

lookup partition_file_system::stat(const std::string& path, fs_entry* entry) {
    const std::string p = normal_path(path);
    file_ptr file(tsk_fs_file_open(fs_->fs, nullptr, p.c_str()));
    if (file == nullptr || file->meta == nullptr) {
        const bool unreadable =
            tsk_error_get_errno() != 0 && tsk_error_get_errno() != TSK_ERR_FS_ATTR_NOTFOUND;
        tsk_error_reset();
        return unreadable ? lookup::unreadable : lookup::absent;
    }
    const std::size_t slash = p.rfind('/');
    *entry = entry_of(*file, p.c_str() + slash + 1, !ntfs() && !TSK_FS_TYPE_ISFAT(fs_->fs->ftype));
    // A name the library finds must also be one a listing shows.
    if (file->name != nullptr && !listed(fs_->fs, file->name, slash == 0) && p != "/")
        return lookup::absent;
    return lookup::found;
}

lookup partition_file_system::list(const std::string& path, std::vector<fs_entry>* entries) {
    fs_entry folder;
    const lookup found = stat(path, &folder);
    if (found != lookup::found) return found;
    if (folder.kind != entry_kind::folder) return lookup::not_folder;
    dir_ptr dir(tsk_fs_dir_open_meta(fs_->fs, folder.meta));
    if (dir == nullptr) return lookup::unreadable;
    const bool in_root = normal_path(path) == "/";
    const bool owners = !ntfs() && !TSK_FS_TYPE_ISFAT(fs_->fs->ftype);
    entries->clear();
    for (std::size_t i = 0; i < tsk_fs_dir_getsize(dir.get()); ++i) {
        file_ptr file(tsk_fs_dir_get(dir.get(), i));
        if (file == nullptr || file->meta == nullptr) continue;
        if (!listed(fs_->fs, file->name, in_root)) continue;
        if (in_root && fat_label_entry(fs_->fs, *file)) continue;
        entries->push_back(entry_of(*file, file->name->name, owners));
    }
    std::sort(entries->begin(), entries->end(),
              [](const fs_entry& a, const fs_entry& b) { return a.name < b.name; });
    // A folder can hold one file under two names (NTFS's long and short
    // name) only once in a listing.
    entries->erase(
        std::unique(entries->begin(), entries->end(),
                    [](const fs_entry& a, const fs_entry& b) { return a.name == b.name; }),
        entries->end());
    tsk_error_reset();
    return lookup::found;
}

std::vector<fs_entry> partition_file_system::unreadable_names(std::uint64_t folder) {
    std::vector<fs_entry> names;
    dir_ptr dir(tsk_fs_dir_open_meta(fs_->fs, folder));
    if (dir == nullptr) {
        tsk_error_reset();
        return names;
    }
    const bool in_root = folder == fs_->fs->root_inum;
    for (std::size_t i = 0; i < tsk_fs_dir_getsize(dir.get()); ++i) {
        file_ptr file(tsk_fs_dir_get(dir.get(), i));
        if (file == nullptr || !listed(fs_->fs, file->name, in_root)) continue;
        if (file->meta != nullptr && file->meta->type != TSK_FS_META_TYPE_UNDEF) continue;
        const std::uint64_t meta = file->name->meta_addr;
        // NTFS lists a file under its long and its short name.
        if (std::any_of(names.begin(), names.end(),
                        [meta](const fs_entry& e) { return e.meta == meta; }))
            continue;
        fs_entry e;
        e.name = file->name->name;
        e.meta = meta;
        names.push_back(e);
    }
    tsk_error_reset();
    return names;
}

bool partition_file_system::record_place(std::uint64_t meta, std::uint64_t* disk_offset,
                                         std::uint64_t* length) {
    if (!ntfs()) return false;
    const std::uint64_t record = reinterpret_cast<const NTFS_INFO*>(fs_->fs)->mft_rsize_b;
    if (record == 0) return false;
    if (!fs_->file_table_found) {
        bool resident = false;
        if (!extents(NTFS_MFT_MFT, &fs_->file_table, &resident) || resident)
            fs_->file_table.clear();
        fs_->file_table_found = true;
    }
    const std::uint64_t at = meta * record;
    for (const disk_extent& x : fs_->file_table) {
        if (at < x.file_offset || at >= x.file_offset + x.length) continue;
        *disk_offset = x.disk_offset + (at - x.file_offset);
        *length = std::min(record, x.file_offset + x.length - at);
        return true;
    }
    return false;
}

bool partition_file_system::extents(std::uint64_t meta, std::vector<disk_extent>* out,
                                    bool* resident, std::uint64_t* located) {
    out->clear();
    *resident = false;
    std::uint64_t found = 0;
    if (located == nullptr) located = &found;
    *located = 0;
    file_ptr file(tsk_fs_file_open_meta(fs_->fs, nullptr, meta));
    if (file == nullptr) return false;
    const TSK_FS_ATTR* attr = tsk_fs_file_attr_get(file.get());
    if (attr == nullptr) {
        tsk_error_reset();
        return file->meta != nullptr && file->meta->size == 0;
    }
    if ((attr->flags & TSK_FS_ATTR_RES) != 0) {
        *resident = true;
        *located = static_cast<std::uint64_t>(std::max<TSK_OFF_T>(attr->size, 0));
        return true;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(std::max<TSK_OFF_T>(attr->size, 0));
    const std::uint64_t bs = fs_->fs->block_size;
    for (const TSK_FS_ATTR_RUN* run = attr->nrd.run; run != nullptr; run = run->next) {
        if ((run->flags & TSK_FS_ATTR_RUN_FLAG_FILLER) != 0) continue;
        const std::uint64_t from = run->offset * bs;
        if (from >= size) break;
        *located = std::max(*located, std::min(size, (run->offset + run->len) * bs));
        if ((run->flags & TSK_FS_ATTR_RUN_FLAG_SPARSE) != 0) continue;
        const std::uint64_t length = std::min<std::uint64_t>(run->len * bs, size - from);
        out->push_back({from, block_offset(run->addr), length});
    }
    return true;
}

std::int64_t partition_file_system::read(std::uint64_t meta, std::uint64_t offset,
                                         std::size_t length, void* buffer) {
    file_ptr file(tsk_fs_file_open_meta(fs_->fs, nullptr, meta));
    if (file == nullptr || file->meta == nullptr) return -1;
    const std::uint64_t size = static_cast<std::uint64_t>(std::max<TSK_OFF_T>(file->meta->size, 0));
    if (offset >= size) return 0;
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(length, size - offset));
    const ssize_t n =
        tsk_fs_file_read(file.get(), static_cast<TSK_OFF_T>(offset), static_cast<char*>(buffer),
                         want, TSK_FS_FILE_READ_FLAG_NONE);
    if (n < 0 || static_cast<std::size_t>(n) != want) {
        tsk_error_reset();
        return -1;
    }
    return n;
}

namespace {

struct unused_walk {
    const std::function<void(std::uint64_t, std::uint64_t)>* f;
    std::uint64_t first = 0, count = 0;
};

TSK_WALK_RET_ENUM on_unused_block(const TSK_FS_BLOCK* block, void* ptr) {
    auto* walk = static_cast<unused_walk*>(ptr);
    if (walk->count != 0 && block->addr == walk->first + walk->count) {
        ++walk->count;
    } else {
        if (walk->count != 0) (*walk->f)(walk->first, walk->count);
        walk->first = block->addr;
        walk->count = 1;
    }
    return TSK_WALK_CONT;
}

TSK_WALK_RET_ENUM on_one_block(const TSK_FS_BLOCK* block, void* ptr) {
    *static_cast<bool*>(ptr) = (block->flags & TSK_FS_BLOCK_FLAG_ALLOC) != 0;
    return TSK_WALK_STOP;
}

}  // namespace

bool partition_file_system::unused_blocks(
    const std::function<void(std::uint64_t first, std::uint64_t count)>& f) {
    unused_walk walk{&f};
    TSK_FS_INFO* fs = fs_->fs;
    const auto flags = static_cast<TSK_FS_BLOCK_WALK_FLAG_ENUM>(
        TSK_FS_BLOCK_WALK_FLAG_UNALLOC | TSK_FS_BLOCK_WALK_FLAG_AONLY |
        TSK_FS_BLOCK_WALK_FLAG_CONT | TSK_FS_BLOCK_WALK_FLAG_META);
    if (tsk_fs_block_walk(fs, fs->first_block, fs->last_block_act, flags, on_unused_block, &walk) !=
        0) {
        tsk_error_reset();
        return false;
    }
    if (walk.count != 0) f(walk.first, walk.count);
    return true;
}

bool partition_file_system::block_used(std::uint64_t block) {
    bool used = true;
    TSK_FS_INFO* fs = fs_->fs;
    if (block < fs->first_block || block > fs->last_block_act) return true;
    const auto flags = static_cast<TSK_FS_BLOCK_WALK_FLAG_ENUM>(
        TSK_FS_BLOCK_WALK_FLAG_ALLOC | TSK_FS_BLOCK_WALK_FLAG_UNALLOC |
        TSK_FS_BLOCK_WALK_FLAG_AONLY | TSK_FS_BLOCK_WALK_FLAG_CONT | TSK_FS_BLOCK_WALK_FLAG_META);
    if (tsk_fs_block_walk(fs, block, block, flags, on_one_block, &used) != 0) {
        tsk_error_reset();
        return true;
    }
    return used;
}

bool walk_tree(partition_file_system& fs, const std::string& path,
               const std::function<bool(const std::string& path, const fs_entry&)>& f,
               std::string* unreadable, bool recurse) {
    std::vector<fs_entry> entries;
    if (fs.list(path, &entries) != lookup::found) {
        if (unreadable == nullptr) return true;  // the caller goes on past it
        *unreadable = path;
        return false;
    }
    for (const fs_entry& e : entries) {
        const std::string child = child_path(path, e.name);
        if (!f(child, e)) return false;
        if (recurse && e.kind == entry_kind::folder && !walk_tree(fs, child, f, unreadable))
            return false;
    }
    return true;
}

}  // namespace kiroda::cli

namespace kiroda::cli {

namespace {

// The text after `key` on its line of `report`, trimmed; "" when absent.
std::string field(const std::string& report, const char* key) {
    const std::size_t at = report.find(key);
    if (at == std::string::npos) return "";
    std::size_t from = at + std::strlen(key);
    std::size_t to = report.find('\n', from);
    if (to == std::string::npos) to = report.size();
    while (from < to && report[from] == ' ') ++from;
    while (to > from && (report[to - 1] == ' ' || report[to - 1] == '\r')) --to;
    return report.substr(from, to - from);
}

}  // namespace

namespace {

// The library's report of a file system (what its fsstat tool prints).
std::string fs_report(TSK_FS_INFO* fs) {
    char* text = nullptr;
    std::size_t length = 0;
    FILE* report = open_memstream(&text, &length);
    if (report == nullptr) return "";
    const bool ok = fs->fsstat(fs, report) == 0;
    std::fclose(report);
    std::string all = ok && text != nullptr ? std::string(text, length) : "";
    std::free(text);
    tsk_error_reset();
    return all;
}

// UTF-16LE text as UTF-8; a lone surrogate becomes U+FFFD.
std::string utf8_of_utf16(const unsigned char* bytes, std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        std::uint32_t c = bytes[i] | (bytes[i + 1] << 8);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < length) {
            const std::uint32_t low = bytes[i + 2] | (bytes[i + 3] << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else if (c < 0x800) {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            text += static_cast<char>(0xE0 | (c >> 12));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (c >> 18));
            text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

// NTFS keeps its name in the volume name attribute of the $Volume file
// (metadata record 3), which the library reads like any attribute (its
// report of an NTFS volume loses memory on every call).
std::string ntfs_label(TSK_FS_INFO* fs) {
    constexpr TSK_INUM_T kVolumeFile = 3;
    file_ptr file(tsk_fs_file_open_meta(fs, nullptr, kVolumeFile));
    const TSK_FS_ATTR* name =
        file == nullptr ? nullptr
                        : tsk_fs_file_attr_get_type(file.get(), TSK_FS_ATTR_TYPE_NTFS_VNAME, 0, 0);
    unsigned char bytes[512] = {};
    const ssize_t n = name == nullptr ? -1
                                      : tsk_fs_attr_read(name, 0, reinterpret_cast<char*>(bytes),
                                                         sizeof bytes, TSK_FS_FILE_READ_FLAG_NONE);
    tsk_error_reset();
    return n > 0 ? utf8_of_utf16(bytes, static_cast<std::size_t>(n)) : "";
}

}  // namespace

// The library keeps no label field of its own: its report names it, under
// a key each type has.
std::string partition_file_system::label() {
    if (ntfs()) return ntfs_label(fs_->fs);
    const std::string all = fs_report(fs_->fs);
    for (const char* key :
         {"Volume Label (Root Directory):", "Volume Label (Boot Sector):", "Volume Name:"}) {
        const std::string value = field(all, key);
        if (!value.empty()) return value;
    }
    return "";
}

// The report's "Layout:" sections list each group's structures as
// "    Name: first - last"; all but the data blocks are the file system's.
void partition_file_system::layout_blocks(
    const std::function<void(std::uint64_t first, std::uint64_t last)>& f) {
    // Only ext's allocation maps leave structures out.
    if (!TSK_FS_TYPE_ISEXT(fs_->fs->ftype)) return;
    const std::string all = fs_report(fs_->fs);
    bool in_layout = false;
    std::size_t at = 0;
    while (at < all.size()) {
        std::size_t end = all.find('\n', at);
        if (end == std::string::npos) end = all.size();
        const std::string line = all.substr(at, end - at);
        at = end + 1;
        if (line.find("Layout:") != std::string::npos) {
            in_layout = true;
            continue;
        }
        if (line.rfind("    ", 0) != 0) in_layout = false;
        unsigned long long first = 0, last = 0;
        const std::size_t colon = line.find(':');
        if (!in_layout || colon == std::string::npos ||
            line.find("Data Blocks") != std::string::npos ||
            std::sscanf(line.c_str() + colon + 1, " %llu - %llu", &first, &last) != 2 ||
            last < first)
            continue;
        f(first, last);
    }
}

}  // namespace kiroda::cli
