// Questions about paths that ask the file system.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kiroda {

// True when `path` is a directory. A drive root ("E:\", fewer than 4 characters
// in its full form) counts as a directory without being tested.
[[nodiscard]] bool is_directory(const char* path);

// True when a file or directory of that name exists.
[[nodiscard]] bool path_exists(const char* path);

// What the first match of a file mask is.
enum class probe_result {
    nothing,  // nothing matches, or the match's path does not fit
    file,
    folder,
};

// Looks up the first match of a file mask ("E:\BK\KRD*.BIN"). With an
// output, it receives the folder of the mask followed by the matched name
// (empty when nothing matches or the result would not fit `capacity`, which
// then counts as no match).
[[nodiscard]] probe_result probe_path(const char* mask, char* output, std::size_t capacity);

// The names of the entries of `folder` ("." and ".." left out), in the
// order the file system lists them; none when it cannot be listed.
std::vector<std::string> names_in_folder(const char* folder);

}  // namespace kiroda
