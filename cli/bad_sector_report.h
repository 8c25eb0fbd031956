// What krdtool says about a rescue set's lost sectors, from its map
// (KRDMAP.TXT): how many, the first runs, and which partition of the set's
// own MBR each falls in. Sector 0 lost is said plainly: the restored disk
// gets a zeroed MBR.
#pragma once

#include <cstdio>
#include <string>

namespace kiroda::cli {

// Prints the report to `out` with `indent` before each line; nothing when
// the set has no map. False when the map is there but cannot be read (also
// reported).
bool report_bad_sectors(const std::string& folder, std::FILE* out, const char* indent);

// One line for a closing message: "読めないセクタ 12 個 (KRDMAP.TXT)", or ""
// when the set has no map or lost nothing.
std::string bad_sector_summary(const std::string& folder);

}  // namespace kiroda::cli
