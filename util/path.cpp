#include "util/path.h"

#include <cstring>

namespace kiroda {

bool is_sjis_lead_byte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

namespace {

// Last separator ("\" or, when `slash` is set, also "/"), stepping over
// Shift-JIS double-byte characters. A lead byte as the last byte has no trail
// byte; the walk stops at the NUL either way.
const char* find_last_separator(const char* text, bool slash) {
    const char* last = nullptr;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (is_sjis_lead_byte(c)) {
            if (p[1] == '\0') break;
            ++p;
            continue;
        }
        if (c == '\\' || (slash && c == '/')) last = p;
    }
    return last;
}

// First "\" at or after `text`, stepping over double-byte characters.
char* find_next_backslash(char* text) {
    for (char* p = text; *p != '\0'; ++p) {
        if (is_sjis_lead_byte(static_cast<unsigned char>(*p))) {
            if (p[1] == '\0') break;
            ++p;
            continue;
        }
        if (*p == '\\') return p;
    }
    return nullptr;
}

bool append_byte(char* path, std::size_t capacity, char byte) {
    const std::size_t n = std::strlen(path);
    if (n + 2 > capacity) return false;
    path[n] = byte;
    path[n + 1] = '\0';
    return true;
}

}  // namespace

const char* find_last_backslash(const char* text) {
    return find_last_separator(text, false);
}

char* ensure_trailing_backslash(char* path, std::size_t capacity) {
    const std::size_t n = std::strlen(path);
    if (n > 0) {
        const char* last = find_last_backslash(path);
        if (last == path + n - 1) return path;
        // "E:" and every other text not ending in "\" get one appended.
    }
    return append_byte(path, capacity, '\\') ? path : nullptr;
}

char* ensure_trailing_separator(char* path, std::size_t capacity) {
#ifdef _WIN32
    return ensure_trailing_backslash(path, capacity);
#else
    // POSIX paths are UTF-8: a "/" byte never stands inside a character.
    const std::size_t n = std::strlen(path);
    if (n > 0 && path[n - 1] == '/') return path;
    if (n == 0) {
        if (capacity < 3) return nullptr;
        std::memcpy(path, "./", 3);
        return path;
    }
    return append_byte(path, capacity, '/') ? path : nullptr;
#endif
}

bool directory_of_path(const char* path, char* output, std::size_t capacity) {
    if (capacity == 0) return false;
    const char* last = find_last_separator(path, true);
    std::size_t length = 0;
    if (last != nullptr) {
        length = static_cast<std::size_t>(last - path);  // drops the separator itself
        // "\KRD00000.BIN" keeps its root separator rather than becoming "".
        if (length == 0) length = 1;
    } else if (path[0] != '\0' && path[1] == ':') {
        length = 2;  // "E:KRD00000.BIN" gives the drive alone
    }
    if (length + 1 > capacity) {
        output[0] = '\0';
        return false;
    }
    std::memmove(output, path, length);
    output[length] = '\0';
    return true;
}

bool join_path(const char* folder, const char* name, char* output, std::size_t capacity) {
    if (capacity == 0) return false;
    const std::size_t folder_length = std::strlen(folder);
    if (folder_length + 1 > capacity) {
        output[0] = '\0';
        return false;
    }
    if (output != folder) std::memmove(output, folder, folder_length + 1);
    if (folder_length > 0 && ensure_trailing_separator(output, capacity) == nullptr) {
        output[0] = '\0';
        return false;
    }
    const std::size_t used = std::strlen(output);
    const std::size_t name_length = std::strlen(name);
    if (used + name_length + 1 > capacity) {
        output[0] = '\0';
        return false;
    }
    std::memcpy(output + used, name, name_length + 1);
    return true;
}

bool free_space_root(const char* folder, bool extended_query, char* output, std::size_t capacity) {
    const std::size_t n = std::strlen(folder);
    if (n + 1 > capacity) return false;
    std::memcpy(output, folder, n + 1);
    if (ensure_trailing_backslash(output, capacity) == nullptr) return false;
    if (extended_query) return true;
    if (output[0] != '\0' && output[1] == ':') {
        output[3] = '\0';  // "E:\": ensure_trailing_backslash made it at least 3 long
        return true;
    }
    if (output[0] == '\\' && output[1] == '\\') {
        // \\server\share\...: keep up to the "\" after the share name.
        char* after_server = find_next_backslash(output + 2);
        if (after_server == nullptr) return true;
        char* after_share = find_next_backslash(after_server + 1);
        if (after_share != nullptr) after_share[1] = '\0';
    }
    return true;
}

}  // namespace kiroda
