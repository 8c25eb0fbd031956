// Small files beside a backup set (its digests, its bad-sector map, the
// copy of the program):
// written so that a reader never finds half of one, and read whole with a
// bound on their size, since they come from a medium anything may be on.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace kiroda {

// A look at the temporary file (its path) once it is committed and closed,
// before it is renamed: the backup reads it back from the medium there, so
// a side file that is not kept never takes its final name. False stops the
// write.
using side_file_check = std::function<bool(const char* temp_path, const std::string& text)>;

// Writes `text` as `name` in `folder`: first as `temp_name`, committed to the
// volume and closed, looked at by `check` (when given), then renamed over
// `name`. False on any failure; the temporary file is then removed and
// `name` stays as it was.
bool write_side_file(const char* folder, const char* temp_name, const char* name,
                     const std::string& text, const side_file_check& check = {});

enum class side_file_read { absent, read, unreadable };

// Reads `name` of `folder` whole into `text`. A file that exists but cannot
// be opened or read, or is longer than `limit`, is unreadable.
side_file_read read_side_file(const char* folder, const char* name, std::size_t limit,
                              std::string* text);

}  // namespace kiroda
