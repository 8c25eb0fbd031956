#include "cli/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>

namespace kiroda::cli {

folder_lock::folder_lock(const std::string& folder)
    : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    held_ = fd_.valid() && ::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0;
}

}  // namespace kiroda::cli
