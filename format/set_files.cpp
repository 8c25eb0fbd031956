#include "format/set_files.h"

#include <cstring>

namespace kiroda {

bool is_data_file_name(const char* name) {
    // The mask's "?" stand for the digits of the number.
    std::size_t i = 0;
    for (; kDataFileNameMask[i] != '\0'; ++i) {
        const char c = name[i];
        if (kDataFileNameMask[i] == '?' ? (c < '0' || c > '9') : c != kDataFileNameMask[i])
            return false;
    }
    return name[i] == '\0';
}

set_file_kind set_file_kind_of(const char* name) {
    if (is_data_file_name(name)) return set_file_kind::format;
    for (const set_file& f : kSetFiles) {
        if (f.kind == set_file_kind::format) continue;  // the mask, matched above
        if (std::strcmp(name, f.name) == 0 ||
            (f.temp_name != nullptr && std::strcmp(name, f.temp_name) == 0))
            return f.kind;
    }
    return set_file_kind::none;
}

}  // namespace kiroda
