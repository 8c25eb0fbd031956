#include <windows.h>

#include <sys/stat.h>

#include <cstring>

#include "util/path.h"
#include "util/path_query.h"

namespace kiroda {

bool is_directory(const char* path) {
    char full[260];
    char* file_part = nullptr;
    const DWORD n = GetFullPathNameA(path, sizeof full, full, &file_part);
    // A drive root ("E:\") is not tested: the drive may not even exist yet.
    if (n > 0 && n < sizeof full && n < 4) return true;
    struct _stat st {};
    return _stat(path, &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}

bool path_exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

probe_result probe_path(const char* mask, char* output, std::size_t capacity) {
    if (output != nullptr && capacity > 0) output[0] = '\0';
    WIN32_FIND_DATAA found;
    HANDLE handle = FindFirstFileA(mask, &found);
    if (handle == INVALID_HANDLE_VALUE) return probe_result::nothing;
    FindClose(handle);
    const probe_result kind = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                                  ? probe_result::folder
                                  : probe_result::file;
    if (output != nullptr) {
        // Drive and directory of the mask, "\" included, then the found name.
        const char* last = find_last_backslash(mask);
        std::size_t prefix = 0;
        if (last != nullptr) {
            prefix = static_cast<std::size_t>(last - mask) + 1;
        } else if (mask[0] != '\0' && mask[1] == ':') {
            prefix = 2;
        }
        const std::size_t name = std::strlen(found.cFileName);
        if (prefix + name + 1 > capacity) return probe_result::nothing;
        std::memcpy(output, mask, prefix);
        std::memcpy(output + prefix, found.cFileName, name + 1);
    }
    return kind;
}

std::vector<std::string> names_in_folder(const char* folder) {
    std::vector<std::string> names;
    char mask[kPathCapacity + 16];
    if (!join_path(folder, "*", mask, sizeof mask)) return names;
    WIN32_FIND_DATAA found;
    HANDLE handle = FindFirstFileA(mask, &found);
    if (handle == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
            names.emplace_back(found.cFileName);
    } while (FindNextFileA(handle, &found) != 0);
    FindClose(handle);
    return names;
}

}  // namespace kiroda
