// The map of a rescue backup, KRDMAP.TXT: which sectors of the source were
// read, which could not be read (stored as zeros), and which were not scraped
// (the rest of a region whose reads kept failing, zeros too). A side file of
// the set, in the plain-text layout disk-rescue tools share for their maps:
//
//   # comment lines
//   0x<current position>  <status of it>  <pass>
//   0x<pos>  0x<size>  <status>        one line a run, bytes, in order
//
// with '+' read, '-' unreadable, '/' non-scraped. Written under a temporary
// name and renamed, after each data file and at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format/set_files.h"
#include "util/side_file.h"

namespace kiroda {

enum class sector_state : char { read = '+', unreadable = '-', not_tried = '/' };

struct sector_run {
    std::uint64_t first = 0;  // sectors
    std::uint64_t count = 0;
    sector_state state = sector_state::read;
};

class bad_sector_map {
  public:
    // Appends `count` sectors from `first`, which must follow the last run.
    void add(std::uint64_t first, std::uint64_t count, sector_state state);
    const std::vector<sector_run>& runs() const { return runs_; }
    std::uint64_t sectors(sector_state state) const;
    // Sectors covered so far.
    std::uint64_t end() const {
        return runs_.empty() ? 0 : runs_.back().first + runs_.back().count;
    }
    // The runs not read, in order.
    std::vector<sector_run> bad_runs() const;

  private:
    std::vector<sector_run> runs_;
};

std::string encode_bad_sector_map(const bad_sector_map& map, bool finished);

// Parses a map written by any tool of this layout (runs in bytes; a run
// that is not whole sectors takes the sectors it touches). `*bad_line`
// gets the first line at fault. True on success.
[[nodiscard]] bool parse_bad_sector_map(const std::string& text, bad_sector_map* map,
                                        int* bad_line);

// KRDMAP.TXT of `folder`, through its temporary name (looked at by `check`
// before the rename, when given). False on failure.
[[nodiscard]] bool write_bad_sector_map(const char* folder, const bad_sector_map& map,
                                        bool finished, const side_file_check& check = {});

enum class map_read { absent, read, unreadable };
[[nodiscard]] map_read read_bad_sector_map(const char* folder, bad_sector_map* map, int* bad_line);

}  // namespace kiroda
