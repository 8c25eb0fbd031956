// Which disk a folder lives on (Linux): a set must never be written onto
// the disk being backed up, nor restored onto the disk that holds it.
#pragma once

#include <string>

namespace kiroda::cli {

// True when `folder` lies on the block device `device` or on one of its
// partitions. False when `device` is not a block device (an image file).
bool folder_on_device(const std::string& folder, const std::string& device);

}  // namespace kiroda::cli
