// The blocks of a disk that no file system on it uses, as The Sleuth Kit
// reads their allocation maps: what backup --used-only stores as zeros
// without reading, and what verify --against leaves out of its comparison.
// Partitions whose file system the library does not read, the space outside
// partitions, and every block a file system uses (its metadata and journal
// included) are not in it.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/file_system_view.h"
#include "format/bad_sector_map.h"

namespace kiroda::cli {

struct unused_space {
    std::vector<sector_run> runs;  // sorted, not overlapping
    std::uint64_t sectors = 0;
    std::vector<int> partitions_read;      // whose unused blocks are in `runs`
    std::vector<int> partitions_not_read;  // backed up whole
};

unused_space find_unused_space(disk_file_systems& disk);

// A reader of disk `number` (registered with the disk table) through the
// disk seam, for the library; reads of any offset and length.
disk_reader disk_seam_reader(int number, std::uint64_t disk_bytes);

// Runs in `runs` that lie within [first, end) sectors, cut to it.
std::vector<sector_run> runs_within(const std::vector<sector_run>& runs, std::uint64_t first,
                                    std::uint64_t end);

}  // namespace kiroda::cli
