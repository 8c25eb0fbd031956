// One krdtool at a time writes a backup set: the folder is locked (an
// advisory lock, released when the process ends however it ends) for as
// long as the object lives.
#pragma once

#include <string>

#include "util/file_io.h"

namespace kiroda::cli {

class folder_lock {
  public:
    explicit folder_lock(const std::string& folder);
    // False when another process holds the lock (or the folder cannot be
    // opened to take it).
    [[nodiscard]] bool held() const { return held_; }

  private:
    unique_fd fd_;
    bool held_ = false;
};

// True when a process holds the lock of `folder` (as /proc/locks lists it),
// found without taking it.
[[nodiscard]] bool folder_lock_taken(const std::string& folder,
                                     const std::string& locks = "/proc/locks");

}  // namespace kiroda::cli
