#include "app/program_file.h"

#include <cstring>

#include "util/path.h"

namespace kiroda {

namespace {
bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
}  // namespace

bool first_command_word(const char* command_line, char* output, std::size_t capacity) {
    if (capacity == 0) return false;
    output[0] = '\0';
    const char* p = command_line;
    while (is_blank(*p)) ++p;
    if (*p == '\0') return false;
    const char* begin = p;
    const char* end = nullptr;
    if (*p == '"' || *p == '\'') {
        const char quote = *p;
        begin = p + 1;
        end = std::strchr(begin, quote);
        if (end == nullptr) end = begin + std::strlen(begin);
    } else {
        end = begin;
        while (*end != '\0' && !is_blank(*end)) ++end;
    }
    const auto length = static_cast<std::size_t>(end - begin);
    if (length == 0 || length + 1 > capacity) return false;
    std::memcpy(output, begin, length);
    output[length] = '\0';
    return true;
}

void program_folder_of(const char* path, char* output, std::size_t capacity) {
    if (capacity == 0) return;
    output[0] = '\0';
    const char* last = find_last_backslash(path);
    if (last == nullptr) return;
    const auto length = static_cast<std::size_t>(last - path) + 1;
    if (length + 1 > capacity) return;
    std::memcpy(output, path, length);
    output[length] = '\0';
}

}  // namespace kiroda
