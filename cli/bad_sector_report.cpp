#include "cli/bad_sector_report.h"

#include <algorithm>
#include <memory>
#include <new>

#include "cli/output.h"
#include "disk/mbr.h"
#include "engine/data_file.h"
#include "format/bad_sector_map.h"
#include "format/packed_block.h"
#include "ui/translation.h"
#include "util/file_io.h"
#include "util/number_format.h"
#include "util/path.h"

namespace kiroda::cli {

namespace {

constexpr std::size_t kRunsShown = 5;

// Sector 0 as the set holds it (the first block's first 512 bytes).
bool set_sector0(const std::string& folder, unsigned char* sector) {
    char path[kPathCapacity + 16];
    if (!data_file_path(folder.c_str(), 1, path, sizeof path)) return false;
    unique_fd fd(open_for_reading(path));
    std::unique_ptr<unsigned char[]> chunk(new (std::nothrow) unsigned char[kChunkBytes]);
    if (!fd.valid() || chunk == nullptr ||
        read_packed_block(fd.get(), chunk.get(), kChunkBytes) < 512)
        return false;
    std::copy(chunk.get(), chunk.get() + 512, sector);
    return true;
}

std::string where(std::uint64_t sector, const unsigned char* mbr, bool have_mbr) {
    if (sector == 0) return "MBR";
    if (!have_mbr) return "";
    for (int i = 0; i < kMbrEntryCount; ++i) {
        const mbr_entry e = read_mbr_entry(mbr, i);
        if (e.sector_count != 0 && sector >= e.first_sector && sector < e.end_sector()) {
            char name[64];
            std::snprintf(name, sizeof name, localized("第%dパーテーション"), i + 1);
            return name;
        }
    }
    return localized("パーテーションの外");
}

}  // namespace

bool report_bad_sectors(const std::string& folder, std::FILE* out, const char* indent) {
    bad_sector_map map;
    int bad_line = 0;
    switch (read_bad_sector_map(folder.c_str(), &map, &bad_line)) {
        case map_read::absent:
            return true;
        case map_read::unreadable:
            print(out, "%s読めないセクタの記録(%s)を読めません(%d 行目)\n", indent,
                  kBadSectorMapName, bad_line);
            return false;
        case map_read::read:
            break;
    }
    const std::uint64_t unreadable = map.sectors(sector_state::unreadable);
    const std::uint64_t not_tried = map.sectors(sector_state::not_tried);
    char a[kGroupedTextSize], b[kGroupedTextSize];
    format_uint64_grouped(a, unreadable);
    format_uint64_grouped(b, not_tried);
    // '/' is the layout's "non-scraped": a larger read over them failed, and
    // they were not read again one by one (as the rescue tools' own viewers say).
    print(
        out,
        "%s読めなかったセクタ: %s 個、一つずつ読み直さなかったセクタ: %s 個 (%s、0 で埋めてあります)\n",
        indent, a, b, kBadSectorMapName);
    const auto runs = map.bad_runs();
    // The set's MBR names the partitions of the runs: a 16 MiB block is
    // unpacked for it, so only when there are runs to place.
    unsigned char mbr[512] = {};
    const bool have_mbr = !runs.empty() && set_sector0(folder, mbr);
    for (std::size_t i = 0; i < runs.size() && i < kRunsShown; ++i) {
        char from[kGroupedTextSize], to[kGroupedTextSize];
        format_uint64_grouped(from, runs[i].first);
        format_uint64_grouped(to, runs[i].first + runs[i].count - 1);
        const std::string in = where(runs[i].first, mbr, have_mbr);
        print(out, "%s  セクタ %s から %s まで (%s)%s%s\n", indent, from, to,
              localized(runs[i].state == sector_state::unreadable ? "読めない"
                                                                  : "一つずつ読み直さなかった"),
              in.empty() ? "" : ": ", in.c_str());
    }
    if (runs.size() > kRunsShown)
        print(out, "%s  ほか %zu か所\n", indent, runs.size() - kRunsShown);
    if (!runs.empty() && runs.front().first == 0) {
        print(
            out,
            "%s注意: セクタ 0 (MBR) を読めませんでした。復旧したディスクの MBR は 0 になります。\n",
            indent);
    }
    return true;
}

std::string bad_sector_summary(const std::string& folder) {
    bad_sector_map map;
    int bad_line = 0;
    if (read_bad_sector_map(folder.c_str(), &map, &bad_line) != map_read::read) return "";
    const std::uint64_t lost =
        map.sectors(sector_state::unreadable) + map.sectors(sector_state::not_tried);
    if (lost == 0) return "";
    char n[kGroupedTextSize];
    format_uint64_grouped(n, lost);
    char summary[128];
    std::snprintf(summary, sizeof summary, localized("、読めないセクタ %s 個 (%s)"), n,
                  kBadSectorMapName);
    return summary;
}

}  // namespace kiroda::cli
