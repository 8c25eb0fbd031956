#include <fnmatch.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>

#include <dirent.h>

#include "util/path.h"
#include "util/path_query.h"

namespace kiroda {

bool is_directory(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool path_exists(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0;
}

probe_result probe_path(const char* mask, char* output, std::size_t capacity) {
    if (output != nullptr && capacity > 0) output[0] = '\0';
    char folder[kPathCapacity];
    const char* slash = std::strrchr(mask, '/');
    const char* pattern = slash != nullptr ? slash + 1 : mask;
    if (slash != nullptr) {
        const auto length = static_cast<std::size_t>(slash - mask);
        if (length + 2 > sizeof folder) return probe_result::nothing;
        std::memcpy(folder, mask, length + 1);  // keeps the "/"
        folder[length + 1] = '\0';
    } else {
        folder[0] = '\0';
    }
    DIR* dir = ::opendir(folder[0] != '\0' ? folder : ".");
    if (dir == nullptr) return probe_result::nothing;
    std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (::fnmatch(pattern, entry->d_name, 0) != 0) continue;
        char full[kPathCapacity];
        if (!join_path(folder, entry->d_name, full, sizeof full) && folder[0] != '\0')
            return probe_result::nothing;
        if (folder[0] == '\0') {
            if (std::strlen(entry->d_name) + 1 > sizeof full) return probe_result::nothing;
            std::strcpy(full, entry->d_name);
        }
        if (output != nullptr) {
            if (std::strlen(full) + 1 > capacity) return probe_result::nothing;
            std::strcpy(output, full);
        }
        return is_directory(full) ? probe_result::folder : probe_result::file;
    }
    return probe_result::nothing;
}

std::vector<std::string> names_in_folder(const char* folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder[0] != '\0' ? folder : ".");
    if (dir == nullptr) return names;
    std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    return names;
}

}  // namespace kiroda
