#include "cli/bad_sector_report.h"

#include <algorithm>
#include <memory>
#include <new>

#include "cli/disk_layout.h"
#include "cli/output.h"
#include "cli/set_view.h"
#include "disk/partition_list.h"
#include "engine/header_file.h"
#include "engine/set_image.h"
#include "format/bad_sector_map.h"
#include "ui/message.h"
#include "ui/translation.h"
#include "util/file_io.h"
#include "util/number_format.h"
#include "util/path.h"

namespace kiroda::cli {

namespace {

constexpr std::size_t kRunsShown = 5;

// The partitions of the set's own disk (a GPT's entries, or the MBR's
// primary and logical ones), read through the set, quietly: a set
// that does not open names no partitions.
bool set_partitions(const std::string& folder, partition_list* list) {
    const message_sink previous = set_message_sink([](const message&) { return kIdCancel; });
    backup_header header{};
    bool ok = read_header_file(nullptr, folder.c_str(), &header) == header_read::read;
    if (ok) {
        set_image image(folder, header.backup_bytes, 2);
        silent_progress p;
        ok = image.open(p);
        if (ok) {
            *list = disk_partitions(header.backup_bytes, set_sector_bytes(folder),
                                    [&image](std::uint64_t sector, unsigned char* bytes) {
                                        return image.read(sector * 512, 512, bytes) == 512;
                                    });
        }
    }
    set_message_sink(previous);
    return ok;
}

// The partition that holds `sector`: a logical one inside the extended
// container is named by its own number (5, 6, ...), never the container's.
std::string where(std::uint64_t sector, const partition_list& list, bool have_list) {
    if (sector == 0) return "MBR";
    if (!have_list) return "";
    for (const disk_partition& p : list.partitions) {
        if (sector >= p.first_sector && sector < p.end_sector()) {
            char name[64];
            std::snprintf(name, sizeof name, localized("第%dパーテーション"), p.number);
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
    // The set's partition tables name the partitions of the runs: blocks
    // are unpacked for them, so only when there are runs to place.
    partition_list list;
    const bool have_list = !runs.empty() && set_partitions(folder, &list);
    for (std::size_t i = 0; i < runs.size() && i < kRunsShown; ++i) {
        char from[kGroupedTextSize], to[kGroupedTextSize];
        format_uint64_grouped(from, runs[i].first);
        format_uint64_grouped(to, runs[i].first + runs[i].count - 1);
        const std::string in = where(runs[i].first, list, have_list);
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
