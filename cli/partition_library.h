// The partition table of a device or image as the system's own partitioning
// library (libfdisk, from util-linux; LGPL, linked dynamically) reads it:
// the answers krdtool shows beside its own checks (engine/gpt_layout.h), and
// the names it gives partition types. Linux only, krdtool only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kiroda::cli {

struct library_partition {
    int number = 0;               // as Linux numbers it
    std::uint64_t first_lba = 0;  // the disk's own sectors
    std::uint64_t sector_count = 0;
    std::string type;       // GUID text, or the MBR type as "0x07"
    std::string type_name;  // "Linux filesystem", "EFI System", ...
    std::string name;       // a GPT entry's name
};

struct library_layout {
    bool opened = false;
    std::string label;                          // "gpt", "dos", or "" without a table
    std::vector<library_partition> partitions;  // containers left out, in number order
};

// Reads `path` read-only as a disk of `sector_bytes`-byte logical sectors
// (what a block device reports, or what an image was made with). The
// library's warnings are kept to itself.
library_layout read_with_library(const std::string& path, std::uint32_t sector_bytes);

// The library's name of a GPT partition type ("EFI System"); "" when it
// knows none.
std::string gpt_type_name(const std::string& type_guid);

}  // namespace kiroda::cli
