// Free space of the volume that holds a folder.
#pragma once

namespace kiroda {

// Bytes available to this user on the volume of `folder`, or -1.0 when the
// query fails (callers compare it with what they need, so a failure reads as
// "not enough").
double get_folder_free_bytes(const char* folder);

}  // namespace kiroda
