// Free space of the volume that holds a folder.
#pragma once

#include <functional>

namespace kiroda {

// Bytes available to this user on the volume of `folder`, or -1.0 when the
// query fails (callers compare it with what they need, so a failure reads as
// "not enough").
double get_folder_free_bytes(const char* folder);

// The platform's own query (GetDiskFreeSpaceExA / statvfs).
double platform_folder_free_bytes(const char* folder);

// Test programs only (their build of the file seams): while set,
// get_folder_free_bytes answers with `query` instead of
// asking the volume (a nearly full disk without filling one). Empty restores.
void set_free_space_for_tests(std::function<double(const char*)> query);

}  // namespace kiroda
