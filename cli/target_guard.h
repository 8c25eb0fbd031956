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
};

// Checks `target` against the set in `folder`. `force` lets an image file
// with data through, nothing else.
target_refusal check_target_path(const std::string& folder, const std::string& target, bool force);

// True when every byte of the regular file at `path` is zero (holes count
// as zeros and are not read). False when it cannot be read.
bool file_is_all_zeros(const std::string& path);

}  // namespace kiroda::cli
