#include "cli/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace kiroda::cli {

folder_lock::folder_lock(const std::string& folder)
    : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    held_ = fd_.valid() && ::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0;
}

bool folder_lock_taken(const std::string& folder, const std::string& locks) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return false;
    // "1: FLOCK  ADVISORY  WRITE 4242 08:01:1234567 0 EOF": the device in
    // hexadecimal, the inode in decimal.
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    std::ifstream in(locks);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        fields >> number >> kind >> mode >> access >> pid >> file;
        if (kind == "FLOCK" && file == wanted) return true;
    }
    return false;
}

}  // namespace kiroda::cli
