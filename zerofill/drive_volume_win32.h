// A drive's volume as the zero fill sees it (Windows).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "zerofill/zero_fill_volume.h"

namespace kiroda {

// Kind of the file system at `root` ("E:\"), from GetVolumeInformationA, or
// kFileSystemQueryFailed. The name read is kept in a program-wide buffer
// between calls ("Error" until a query succeeds).
int get_file_system_kind(const char* root);
const char* last_file_system_name();

// Free bytes available to this user on the volume of `path` ("E:..." asks for
// the root "E:\"), or -1. GetDiskFreeSpaceExA is looked up once at run time;
// without it, free clusters x sectors per cluster x bytes per sector.
std::int64_t get_drive_free_bytes(const char* path);

class drive_volume : public zero_fill_volume {
  public:
    explicit drive_volume(std::string root) : root_(std::move(root)) {}
    int query_file_system_kind() override { return get_file_system_kind(root_.c_str()); }
    const char* file_system_name() const override { return last_file_system_name(); }
    std::int64_t free_bytes() override { return get_drive_free_bytes(root_.c_str()); }

  private:
    std::string root_;
};

}  // namespace kiroda
