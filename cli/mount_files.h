// What krdtool mount --files adds to the view: a folder partN/ for every
// partition whose file system The Sleuth Kit reads, holding its files
// read-only (sizes, times, folders), read through the set like disk.img.
// A read that touches bytes of a file on sectors a rescue lost fails with
// EIO, as does one that meets a damaged block. No kernel file-system driver
// and no loop device take part.
#pragma once

#define FUSE_USE_VERSION 312
#include <fuse.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/file_system_view.h"
#include "cli/lost_files.h"
#include "engine/set_image.h"

namespace kiroda::cli {

class files_view {
  public:
    // Looks for the file systems of the set's partitions; `lost` are the
    // runs of sectors its rescue map lists as lost.
    files_view(set_image& image, std::vector<sector_run> lost, std::uint32_t sector_bytes = 512);

    // "part1", "part5", ...: the partitions with a file system read.
    const std::vector<std::string>& folders() const { return folders_; }
    // True for "/partN" and paths under it, N one of folders().
    bool owns(const char* path) const;

    // The FUSE operations for the paths it owns: 0 or -errno. `st` comes
    // with the owner and times the view gives everything.
    int getattr(const char* path, struct stat* st);
    int readdir(const char* path, void* buffer, fuse_fill_dir_t fill);
    int open(const char* path, fuse_file_info* fi);
    int read(const char* path, char* buffer, std::size_t size, off_t offset);

  private:
    struct place {
        partition_file_system* fs = nullptr;
        std::string path;  // inside it
    };
    place locate(const char* path) const;
    // The entry at `path` (a cache in front of the library's lookups);
    // called with the lock held.
    lookup entry_at(const char* path, const place& at, fs_entry* e);
    bool touches_lost(partition_file_system& fs, const fs_entry& e, std::uint64_t offset,
                      std::size_t size);

    std::unique_ptr<disk_file_systems> disk_;
    std::map<std::string, partition_file_system*> systems_;  // by folder name
    std::vector<std::string> folders_;
    std::vector<sector_run> lost_;
    std::map<std::pair<const partition_file_system*, std::uint64_t>, std::vector<lost_range>>
        lost_of_file_;
    std::map<std::string, fs_entry> entries_;  // by the view's path
    // The library reads one thing at a time.
    std::mutex mutex_;
};

// The view of the set in `folder` (its rescue map read for the lost runs).
std::unique_ptr<files_view> make_files_view(const std::string& folder, set_image& image);

}  // namespace kiroda::cli
