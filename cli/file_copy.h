// Copies one file out of a file system of a set (krdtool get): under a
// temporary name beside its destination, renamed when every byte is in,
// with the file's modification time. A read that meets a block of the set
// that cannot be served ends the copy and removes the temporary file: no
// wrong byte is ever written under the file's name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <functional>

#include "cli/set_file_systems.h"

namespace kiroda::cli {

enum class copy_result { copied, exists, read_failed, write_failed, stopped };

struct copy_job {
    partition_file_system* fs;
    fs_entry entry;
    std::string destination;
    bool replace = false;
};

// `on_bytes` is told of every chunk copied (for a progress line).
copy_result copy_file_out(set_file_systems& set, const copy_job& job,
                          const std::function<void(std::uint64_t)>& on_bytes, std::string* why);

// Sets the modification time of `path` (a folder, after its files are in).
bool set_modification_time(const std::string& path, std::int64_t seconds, std::uint32_t nano);

}  // namespace kiroda::cli
