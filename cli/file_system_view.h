// The file systems inside a disk, read by The Sleuth Kit (libtsk) through a
// reader we hand it: a backup set through engine/set_image (every block
// checked before a byte of it is used), or any other source of the disk's
// bytes. No file system is parsed here: the library does all of it,
// read-only. Only krdtool links this; the wizard never does.
//
// Paths inside a file system are UTF-8, '/' separated, "" or "/" the root.
// Deleted entries, the library's virtual files and NTFS's own system files
// ($MFT, ...) are never listed.
//
// The library is not safe for many readers of one file system at once:
// callers that read from several threads hold one lock per disk_file_systems.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "disk/partition_list.h"

namespace kiroda::cli {

// Reads `length` bytes at `offset` of the disk into `buffer`: the bytes
// read, or -1 when they cannot be read (nothing is then valid).
using disk_reader =
    std::function<std::int64_t(std::uint64_t offset, std::size_t length, void* buffer)>;

enum class entry_kind { file, folder, link, other };

struct fs_entry {
    std::string name;  // UTF-8
    entry_kind kind = entry_kind::other;
    std::uint64_t size = 0;  // bytes
    std::int64_t mtime = 0;  // seconds since 1970 UTC
    std::uint32_t mtime_nano = 0;
    bool has_owner = false;  // the file system keeps owner and mode
    std::uint32_t uid = 0, gid = 0, mode = 0;
    std::uint64_t meta = 0;  // the library's address of its metadata
};

// Where a file's bytes lie on the disk.
struct disk_extent {
    std::uint64_t file_offset = 0;  // bytes
    std::uint64_t disk_offset = 0;  // bytes from the disk's start
    std::uint64_t length = 0;
};

// A partition with what the library finds in it.
struct fs_partition {
    disk_partition part;
    std::string file_system;  // "fat32", "ntfs", "ext4", ... ; "" when none is read
    std::string label;
};

class partition_file_system;

// The disk as the library sees it. Holds the reader; every read that fails
// is counted (read_failures()), so a caller can tell a copy that met one.
class disk_file_systems {
  public:
    // `sector_bytes`: the logical sector size the disk's tables count.
    disk_file_systems(std::uint64_t disk_bytes, disk_reader reader,
                      std::uint32_t sector_bytes = 512);
    ~disk_file_systems();
    disk_file_systems(const disk_file_systems&) = delete;
    disk_file_systems& operator=(const disk_file_systems&) = delete;

    bool valid() const { return image_ != nullptr; }
    std::uint64_t read_failures() const { return failures_.load(); }

    // The partitions of the disk's MBR (numbered as mount numbers them)
    // and the file system found in each.
    const partition_list& partitions() const { return list_; }
    std::vector<fs_partition> survey();
    // The file system of partition `number`, or null (none read, no such
    // partition); `why` then says so. Kept open: later calls return it.
    partition_file_system* open(int number, std::string* why = nullptr);

    struct image_state;

  private:
    std::uint64_t disk_bytes_;
    disk_reader reader_;
    std::atomic<std::uint64_t> failures_{0};
    image_state* image_ = nullptr;
    partition_list list_;
    std::vector<std::pair<int, std::unique_ptr<partition_file_system>>> open_;
};

enum class lookup { found, absent, not_folder, unreadable };

class partition_file_system {
  public:
    ~partition_file_system();
    partition_file_system(const partition_file_system&) = delete;
    partition_file_system& operator=(const partition_file_system&) = delete;

    const disk_partition& partition() const { return part_; }
    const char* type_name() const;
    std::uint64_t block_size() const;
    // Blocks of the file system from its first byte; the offset of block b
    // on the disk.
    std::uint64_t block_count() const;
    std::uint64_t block_offset(std::uint64_t block) const;
    std::string label();
    bool ntfs() const;

    // The entry at `path` (the root is a folder named "").
    lookup stat(const std::string& path, fs_entry* entry);
    // The listed entries of folder `path`, by name.
    lookup list(const std::string& path, std::vector<fs_entry>* entries);
    // Where the bytes of the file with metadata `meta` lie; false when the
    // library cannot say. `resident` is set when they lie inside the
    // metadata itself (a small NTFS file). `*located` gets the bytes from
    // the file's start the runs account for (holes included): fewer than
    // its size when its chain of blocks breaks off (a FAT entry lost).
    bool extents(std::uint64_t meta, std::vector<disk_extent>* out, bool* resident,
                 std::uint64_t* located = nullptr);
    // Reads `length` bytes at `offset` of the file: the bytes read (fewer
    // only at its end) or -1.
    std::int64_t read(std::uint64_t meta, std::uint64_t offset, std::size_t length, void* buffer);
    // Calls `f` for each run of blocks the file system marks unused, in
    // order; false when the library cannot walk them.
    bool unused_blocks(const std::function<void(std::uint64_t first, std::uint64_t count)>& f);
    // Calls `f` for the block ranges (first, last) that the library's report
    // of the file system lays out as its own structures (ext's superblock
    // copies, group descriptors and their reserve, bitmaps, inode tables),
    // whether or not the allocation map counts them: in an ext group whose
    // bitmap was never initialised, the library takes them for unused.
    void layout_blocks(const std::function<void(std::uint64_t first, std::uint64_t last)>& f);
    // True when the file system marks block `block` as in use.
    bool block_used(std::uint64_t block);
    // The names listed in the folder with metadata `folder` whose own
    // metadata the library cannot read (a file-table record that is all
    // zeros, say), each once, with the address it points at in `meta`.
    std::vector<fs_entry> unreadable_names(std::uint64_t folder);
    // NTFS: the disk bytes of file-table record `meta` (the first at
    // `*disk_offset`, `*length` of them in one run); false on another file
    // system or when the library cannot say.
    bool record_place(std::uint64_t meta, std::uint64_t* disk_offset, std::uint64_t* length);

    // The library's last error, for a message.
    static std::string last_error();

    struct fs_state;
    partition_file_system(fs_state* fs, const disk_partition& part) : fs_(fs), part_(part) {}

  private:
    fs_state* fs_;
    disk_partition part_;
};

// Calls `f` for every entry under folder `path` (depth first, by name, or
// only its own entries without `recurse`), with the entry's path; folders
// before their contents. Stops and returns false when `f` does, or a folder
// cannot be read (`*unreadable` names it; without `unreadable` such a
// folder is passed over).
bool walk_tree(partition_file_system& fs, const std::string& path,
               const std::function<bool(const std::string& path, const fs_entry&)>& f,
               std::string* unreadable = nullptr, bool recurse = true);

// "a/b" + "c" -> "a/b/c"; "" + "c" -> "c".
std::string child_path(const std::string& folder, const std::string& name);

}  // namespace kiroda::cli
