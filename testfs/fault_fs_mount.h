// Mounts the fault file system (kiroda_fault_fs) for one test and unmounts
// it on every path, so no test leaves a mount behind.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kiroda::test_support {

class fault_fs_mount {
  public:
    // Serves `backing` with `options` (see fault_fs.cpp): a file as
    // `mount_point`/disk.img, a folder as `mount_point` itself. mounted() is
    // false when FUSE is not available here or the mount did not appear;
    // why() then says why.
    fault_fs_mount(const std::string& backing, const std::string& mount_point,
                   const std::vector<std::string>& options);
    ~fault_fs_mount();
    fault_fs_mount(const fault_fs_mount&) = delete;
    fault_fs_mount& operator=(const fault_fs_mount&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }
    std::string image() const { return mount_point_ + "/disk.img"; }
    const std::string& folder() const { return mount_point_; }

  private:
    std::string mount_point_;
    pid_t server_ = -1;
    bool mounted_ = false;
    std::string why_;
};

}  // namespace kiroda::test_support
