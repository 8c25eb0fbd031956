#include "cli/target_guard.h"

#include <fcntl.h>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "cli/device_of_folder.h"
#include "util/zeros.h"

namespace kiroda::cli {

namespace {

namespace fs = std::filesystem;

// `inner` is `outer` or lies below it.
bool within(const fs::path& inner, const fs::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (i == inner.end() || *i != *o) return false;
    }
    return true;
}

// A hard link to a file of the set is the set too.
bool same_inode_as_a_file_in(const fs::path& folder, const struct stat& target) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        struct stat st {};
        if (::stat(entry.path().c_str(), &st) == 0 && st.st_dev == target.st_dev &&
            st.st_ino == target.st_ino) {
            return true;
        }
    }
    return false;
}

}  // namespace

file_contents scan_file(const std::string& path, int* system_error) {
    *system_error = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return (*system_error = errno, file_contents::unreadable);
    struct stat st {};
    file_contents found = file_contents::zeros;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *system_error = errno != 0 ? errno : EINVAL;
        found = file_contents::unreadable;
    }
    std::vector<unsigned char> piece(1 << 20);
    off_t at = 0;
    while (found == file_contents::zeros && at < st.st_size) {
        // Skip holes: they read as zeros without being stored.
        off_t data = ::lseek(fd, at, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) break;  // nothing but a hole to the end
            data = at;                  // no hole search here: read on
        }
        const ssize_t n = ::pread(fd, piece.data(), piece.size(), data);
        if (n < 0) {
            *system_error = errno;
            found = file_contents::unreadable;
        } else if (n == 0) {
            break;
        } else if (!all_zero(piece.data(), static_cast<std::size_t>(n))) {
            found = file_contents::data;
        }
        at = data + n;
    }
    ::close(fd);
    return found;
}

target_refusal check_target_path(const std::string& folder, const std::string& target, bool force,
                                 int* system_error) {
    *system_error = 0;
    std::error_code error;
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) return target_refusal::not_a_disk;
    // Absolute first: a path that does not exist yet stays relative in
    // weakly_canonical and would never be found inside the set.
    const fs::path set = fs::weakly_canonical(fs::absolute(folder, error), error);
    const fs::path where = fs::weakly_canonical(fs::absolute(target, error), error);
    if (within(where, set) || (exists && same_inode_as_a_file_in(set, st)))
        return target_refusal::inside_the_set;
    if (exists && folder_depends_on(folder, target)) return target_refusal::holds_the_set;
    if (exists && S_ISREG(st.st_mode) && !force) {
        const file_contents contents = scan_file(target, system_error);
        if (contents == file_contents::data) return target_refusal::holds_data;
        if (contents == file_contents::unreadable) return target_refusal::unreadable;
    }
    return target_refusal::none;
}

}  // namespace kiroda::cli
