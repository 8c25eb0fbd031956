// Questions about paths that ask the file system.
#pragma once

#include <cstddef>

namespace kiroda {

// 1 when `path` is a directory. A drive root ("E:\", fewer than 4 characters
// in its full form) counts as a directory without being tested.
int is_directory(const char* path);

// 1 when a file or directory of that name exists.
int path_exists(const char* path);

// Looks up the first match of a file mask ("E:\BK\KRD*.BIN"): 0 nothing
// matches, 1 a file, 2 a directory. With an output, it receives the folder of
// the mask followed by the matched name (empty when nothing matches or the
// result would not fit `capacity`, which then counts as no match).
int probe_path(const char* mask, char* output, std::size_t capacity);

}  // namespace kiroda
