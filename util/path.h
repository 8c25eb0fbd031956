// Path text helpers.
//
// Windows paths in the Japanese ANSI code page are Shift-JIS: the trail byte
// of a double-byte character may be 0x5C, the byte of "\" (as in "ソ", 0x83
// 0x5C). Every search for "\" here steps over double-byte characters so such
// a trail byte is never taken for a separator.
//
// Functions that write into a caller's buffer take its capacity and fail
// (nullptr / false) rather than cut a path: a cut path names another file.
#pragma once

#include <cstddef>

namespace kiroda {

// Longest path the program keeps for a folder (bytes, NUL included).
constexpr std::size_t kPathCapacity = 2048;

// Shift-JIS lead byte test (0x81-0x9F, 0xE0-0xFC).
bool is_sjis_lead_byte(unsigned char c);

// Last "\" of a Shift-JIS text, or nullptr. Trail bytes are never matched.
const char* find_last_backslash(const char* text);

// Appends "\" unless the text already ends in one: "" gives "\", "E:" gives
// "E:\", "E:\BK" gives "E:\BK\", "E:\BK\" stays. Returns `path`, or nullptr
// (path unchanged) when `capacity` has no room for the added byte.
char* ensure_trailing_backslash(char* path, std::size_t capacity);

// The same for the paths of this platform: "\" on Windows, "/" elsewhere.
char* ensure_trailing_separator(char* path, std::size_t capacity);

// Folder part of a file path, with one trailing separator removed:
// E:\BK\KRD00000.BIN gives E:\BK, E:\KRD00000.BIN gives "E:". Both "\" and
// "/" separate. Returns false when the result does not fit `capacity`.
bool directory_of_path(const char* path, char* output, std::size_t capacity);

// `folder` + separator (unless present) + `name` into `output`. Returns false,
// leaving an empty text, when it would not fit.
bool join_path(const char* folder, const char* name, char* output, std::size_t capacity);

// The text to pass to the free-space query for `folder` (see
// get_folder_free_bytes). With the extended query the folder itself, with a
// trailing "\"; without it the root of its volume: "E:\" for "E:\BK", and
// "\\server\share\" for a folder inside a share. False when it does not fit.
bool free_space_root(const char* folder, bool extended_query, char* output, std::size_t capacity);

}  // namespace kiroda
