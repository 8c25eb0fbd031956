// What krdtool mount shows of a set: the files of its view, each a range of
// the set's disk. disk.img is the whole disk; partN.img is partition N of
// the set's own GPT (N the entry's slot + 1) or MBR (primary 1-4, logical 5
// on), exactly its sectors.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "disk/partition_list.h"
#include "engine/set_image.h"

namespace kiroda::cli {

struct view_file {
    std::string name;          // "disk.img", "part1.img", ...
    std::uint64_t offset = 0;  // on the set's disk, bytes
    std::uint64_t size = 0;
};

// The partitions of a disk of `disk_bytes` whose tables count
// `sector_bytes`-byte sectors, in 512-byte units: a GPT's entries where one
// can be read, otherwise the MBR's. `read_512` reads 512-byte unit N.
partition_list disk_partitions(std::uint64_t disk_bytes, std::uint32_t sector_bytes,
                               const sector_source& read_512);

// The files of the view of an opened set, disk.img first. Partitions that
// run past the end of the disk are left out, and named on `err`, as is a
// chain of logical partitions that breaks off. `sector_bytes`: the logical
// sector size of the set's disk (its KRDDISK.TXT), which its tables count.
std::vector<view_file> view_files(set_image& image, std::FILE* err,
                                  std::uint32_t sector_bytes = 512);

// The file named `name` ("disk.img", without the leading '/'), or nullptr.
const view_file* find_view_file(const std::vector<view_file>& files, const char* name);

}  // namespace kiroda::cli
