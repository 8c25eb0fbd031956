// What krdtool refuses to restore over before anything is written: the set
// itself, the image whose file system holds the set, things that are no
// disk, and (unless --force) anything that still holds data.
#pragma once

#include <string>

namespace kiroda::cli {

enum class target_refusal {
    none,
    not_a_disk,      // a FIFO, character device, socket or folder
    inside_the_set,  // a file of the set or in its folder
    holds_the_set,   // the set's file system rests on it (device, loop image)
    holds_data,      // an existing image file that is not all zeros (--force)
    unreadable,      // an existing image file that cannot be read through
};

// Checks `target` against the set in `folder`. `force` lets an image file
// with data through (it is then not read), nothing else. `system_error`
// gets the reason an image could not be read.
[[nodiscard]] target_refusal check_target_path(const std::string& folder, const std::string& target,
                                               bool force, int* system_error);

// What a regular file holds: only zeros (holes count as zeros and are not
// read), some data, or a read failure (the system's reason in
// `system_error`: a failing disk under the image is no "data").
enum class file_contents { zeros, data, unreadable };
[[nodiscard]] file_contents scan_file(const std::string& path, int* system_error);

}  // namespace kiroda::cli
