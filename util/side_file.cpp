#include "util/side_file.h"

#include "util/file_io.h"
#include "util/path.h"
#include "util/path_query.h"

namespace kiroda {

bool write_side_file(const char* folder, const char* temp_name, const char* name,
                     const std::string& text, const side_file_check& check) {
    char temp[kPathCapacity + 16];
    char final_path[kPathCapacity + 16];
    if (!join_path(folder, temp_name, temp, sizeof temp) ||
        !join_path(folder, name, final_path, sizeof final_path)) {
        return false;
    }
    bool ok;
    {
        unique_fd fd(open_for_writing(temp));
        ok = fd.valid() &&
             write_full(fd.get(), text.data(), text.size()) ==
                 static_cast<std::int64_t>(text.size()) &&
             commit_file(fd.get());
        ok = fd.reset() && ok;
    }
    ok = ok && (!check || check(temp, text)) && replace_file(temp, final_path);
    // The write has failed already; a temporary name left behind is all a
    // failed removal costs, and the next write replaces it.
    if (!ok) static_cast<void>(remove_file(temp));
    return ok;
}

side_file_read read_side_file(const char* folder, const char* name, std::size_t limit,
                              std::string* text) {
    char path[kPathCapacity + 16];
    if (!join_path(folder, name, path, sizeof path)) return side_file_read::absent;
    unique_fd fd(open_for_reading(path));
    // A file that is there but cannot be opened is not an absent one.
    if (!fd.valid()) return path_exists(path) ? side_file_read::unreadable : side_file_read::absent;
    text->clear();
    char piece[65536];
    for (;;) {
        const std::int64_t n = read_full(fd.get(), piece, sizeof piece);
        if (n < 0) return side_file_read::unreadable;
        text->append(piece, static_cast<std::size_t>(n));
        if (text->size() > limit) return side_file_read::unreadable;
        if (n < static_cast<std::int64_t>(sizeof piece)) break;
    }
    return side_file_read::read;
}

}  // namespace kiroda
