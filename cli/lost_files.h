// Which files a rescue lost: the set's map of unreadable sectors
// (KRDMAP.TXT) laid over the file systems of its disk, read by The Sleuth
// Kit through the set itself, so it works on any rescued set, old ones too.
// Each lost sector is in a file's data (that file is named with the bytes
// lost), in a folder's own data or the file system's metadata (the folder
// or the file table may be damaged; an NTFS file whose file-table record
// it holds is named as well), in blocks the file system does not use
// (nothing lost), in a partition whose file system is not read, or outside
// every partition.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/json_writer.h"
#include "cli/set_file_systems.h"
#include "format/bad_sector_map.h"

namespace kiroda::cli {

struct lost_range {
    std::uint64_t first = 0;  // bytes from the file's start
    std::uint64_t count = 0;
};

struct lost_file {
    int partition = 0;
    std::string path;
    std::uint64_t size = 0;
    std::vector<lost_range> lost;  // in order
    // Its record in the file table lies on lost sectors: its size and
    // where its bytes lie are lost with it (size and lost say nothing).
    bool record_lost = false;
    std::uint64_t bytes_lost() const;
};

struct lost_metadata {
    int partition = 0;
    std::string folder;  // the folder whose own data is lost; "" the file system's metadata
    std::uint64_t sectors = 0;
};

struct lost_report {
    std::uint64_t lost_sectors = 0;
    std::vector<lost_file> files;
    std::vector<lost_metadata> metadata;
    std::uint64_t free_sectors = 0;     // in blocks no file system uses
    std::uint64_t unknown_sectors = 0;  // in partitions whose file system is not read
    std::uint64_t outside_sectors = 0;  // outside every partition (sector 0 not counted)
    // Extended boot records, or anywhere in an extended container outside
    // its known logical partitions when its chain breaks off: logical
    // partitions may be lost.
    std::uint64_t table_sectors = 0;
    bool mbr_lost = false;
};

// The byte ranges of a file (its extents) that lie on `lost` sectors.
std::vector<lost_range> lost_ranges(const std::vector<disk_extent>& extents,
                                    const std::vector<sector_run>& lost);

// The report for the set's map; `map` lost runs only are used.
lost_report find_lost_files(set_file_systems& set, const bad_sector_map& map);

// krdtool's words for the report (or JSON). `only_files`: the files alone
// (ls --lost). Returns the exit status: failed when the map does not read.
int print_lost_files(set_file_systems& set, bool json, bool only_files, std::FILE* out,
                     std::FILE* err);

// The report as the member "lost_files" of the object `w` is writing (info
// --json); nothing when `map` lost nothing or the set does not open (said
// on `err`).
void write_lost_files_json(const std::string& folder, const bad_sector_map& map, json_writer& w,
                           std::FILE* err);

// The report for info and the end of a rescue backup, indented: nothing
// when the set has no map or lost nothing.
void report_lost_files(const std::string& folder, std::FILE* out, std::FILE* err,
                       const char* indent);

}  // namespace kiroda::cli
