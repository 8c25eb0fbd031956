#include "app/file_choice.h"

#include <cstring>

#include "format/header_file.h"
#include "util/path.h"

namespace kiroda {

void proposed_header_path(const char* folder, char* output, std::size_t capacity) {
    if (capacity == 0) return;
    if (folder[0] != '\0' && join_path(folder, kHeaderFileName, output, capacity)) return;
    if (std::strlen(kHeaderFileName) + 1 > capacity) {
        output[0] = '\0';
        return;
    }
    std::strcpy(output, kHeaderFileName);
}

bool folder_of_saved_name(const char* path, std::size_t file_offset, char* output,
                          std::size_t capacity) {
    if (capacity == 0) return false;
    output[0] = '\0';
    if (file_offset > std::strlen(path)) return false;
    std::size_t length = file_offset;
    // The offset points at the name, so the byte before it is the separator
    // (or a drive's colon), never the trail byte of a double-byte character.
    if (length > 0 && path[length - 1] == '\\') --length;
    if (length + 1 > capacity) return false;
    std::memcpy(output, path, length);
    output[length] = '\0';
    return true;
}

}  // namespace kiroda
