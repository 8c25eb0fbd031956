// The disk numbers a command gives its paths (disk/disk_registry.h), held for
// as long as the command runs: the table is cleared when the scope ends,
// whichever way the command leaves it, so no later command (or test) finds
// a number still pointing at this one's device.
#pragma once

#include <string>

#include "disk/disk_registry.h"

namespace kiroda::cli {

class disk_paths_scope {
  public:
    disk_paths_scope() = default;
    ~disk_paths_scope() { clear_disk_paths(); }
    disk_paths_scope(const disk_paths_scope&) = delete;
    disk_paths_scope& operator=(const disk_paths_scope&) = delete;

    void add(int number, const std::string& path) const { register_disk_path(number, path); }
};

}  // namespace kiroda::cli
