// Free space of the volume that holds a folder.
#pragma once

namespace kiroda {

// Bytes available to this user on the volume of `folder`, or -1.0 when the
// query fails (callers compare it with what they need, so a failure reads as
// "not enough"). Asked through the installed file table (util/file_io.h).
[[nodiscard]] double get_folder_free_bytes(const char* folder);

// The platform's own query (GetDiskFreeSpaceExA / statvfs), the file table's.
[[nodiscard]] double platform_folder_free_bytes(const char* folder);

}  // namespace kiroda
