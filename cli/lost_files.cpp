#include "cli/lost_files.h"

#include <algorithm>
#include <map>

#include "cli/json_writer.h"
#include "cli/output.h"
#include "util/number_format.h"

namespace kiroda::cli {

namespace {

constexpr std::uint64_t kSector = 512;

struct interval {
    std::uint64_t first = 0, end = 0;  // sectors, end excluded
};

// The parts of `lost` within [first, end), as intervals.
std::vector<interval> clip(const std::vector<sector_run>& lost, std::uint64_t first,
                           std::uint64_t end) {
    std::vector<interval> in;
    for (const sector_run& r : lost) {
        const std::uint64_t a = std::max(r.first, first), b = std::min(r.first + r.count, end);
        if (a < b) in.push_back({a, b});
    }
    return in;
}

std::vector<interval> merged(std::vector<interval> v) {
    std::sort(v.begin(), v.end(),
              [](const interval& a, const interval& b) { return a.first < b.first; });
    std::vector<interval> out;
    for (const interval& i : v) {
        if (!out.empty() && i.first <= out.back().end) {
            out.back().end = std::max(out.back().end, i.end);
        } else {
            out.push_back(i);
        }
    }
    return out;
}

// `all` less `covered` (both merged).
std::vector<interval> less(const std::vector<interval>& all, const std::vector<interval>& covered) {
    std::vector<interval> rest;
    for (interval i : all) {
        for (const interval& c : covered) {
            if (c.end <= i.first || c.first >= i.end) continue;
            if (c.first > i.first) rest.push_back({i.first, c.first});
            i.first = std::max(i.first, c.end);
            if (i.first >= i.end) break;
        }
        if (i.first < i.end) rest.push_back(i);
    }
    return rest;
}

std::uint64_t sectors_of(const std::vector<interval>& v) {
    std::uint64_t n = 0;
    for (const interval& i : v) n += i.end - i.first;
    return n;
}

// The lost sectors of one partition, laid over its file system.
struct partition_scan {
    partition_file_system& fs;
    int number;
    std::vector<sector_run> lost;
    std::vector<interval> lost_intervals;
    std::vector<interval> covered;
    lost_report* report;

    void entry(const std::string& path, const fs_entry& e);
    void lost_records(const std::string& folder, std::uint64_t meta);
    void rest();
};

void partition_scan::entry(const std::string& path, const fs_entry& e) {
    if (e.kind == entry_kind::folder) lost_records(path, e.meta);
    if (e.kind != entry_kind::file && e.kind != entry_kind::folder) return;
    std::vector<disk_extent> extents;
    bool resident = false;
    std::uint64_t located = 0;
    if (!fs.extents(e.meta, &extents, &resident, &located)) return;
    std::vector<lost_range> ranges = lost_ranges(extents, lost);
    // Bytes past where the file's chain breaks off cannot be found at all.
    if (e.kind == entry_kind::file && located < e.size)
        ranges.push_back({located, e.size - located});
    if (ranges.empty()) return;
    std::uint64_t sectors = 0;
    for (const disk_extent& x : extents) {
        for (const interval& i : clip(lost, x.disk_offset / kSector,
                                      (x.disk_offset + x.length + kSector - 1) / kSector)) {
            covered.push_back(i);
            sectors += i.end - i.first;
        }
    }
    if (e.kind == entry_kind::folder) {
        report->metadata.push_back({number, "/" + path, sectors});
    } else {
        report->files.push_back({number, "/" + path, e.size, ranges});
    }
}

// The names in a folder whose file-table record lies on lost sectors: the
// library cannot read those records, so the walk passes them by, but the
// folder's index still holds their names.
void partition_scan::lost_records(const std::string& folder, std::uint64_t meta) {
    if (!fs.ntfs()) return;  // the others' records are not placed
    for (const fs_entry& n : fs.unreadable_names(meta)) {
        std::uint64_t at = 0, length = 0;
        if (!fs.record_place(n.meta, &at, &length)) continue;
        if (clip(lost, at / kSector, (at + length + kSector - 1) / kSector).empty()) continue;
        lost_file f{number, "/" + child_path(folder, n.name), 0, {}};
        f.record_lost = true;
        report->files.push_back(f);
    }
}

// Lost sectors in no file's data: in a block the file system uses (its
// metadata) or in one it does not.
void partition_scan::rest() {
    const std::vector<interval> left = less(merged(lost_intervals), merged(covered));
    const std::uint64_t bs = fs.block_size();
    const std::uint64_t start = fs.block_offset(0) / kSector;
    std::uint64_t metadata = 0;
    for (const interval& i : left) {
        for (std::uint64_t s = i.first; s < i.end;) {
            const std::uint64_t block = (s - start) * kSector / bs;
            const std::uint64_t block_end = start + (block + 1) * bs / kSector;
            const std::uint64_t n = std::min(block_end, i.end) - s;
            if (block < fs.block_count() && fs.block_used(block)) {
                metadata += n;
            } else {
                report->free_sectors += n;
            }
            s += n;
        }
    }
    if (metadata != 0) report->metadata.push_back({number, "", metadata});
}

}  // namespace

std::uint64_t lost_file::bytes_lost() const {
    std::uint64_t n = 0;
    for (const lost_range& r : lost) n += r.count;
    return n;
}

std::vector<lost_range> lost_ranges(const std::vector<disk_extent>& extents,
                                    const std::vector<sector_run>& lost) {
    std::vector<lost_range> ranges;
    for (const disk_extent& x : extents) {
        for (const sector_run& r : lost) {
            const std::uint64_t a = std::max(x.disk_offset, r.first * kSector);
            const std::uint64_t b =
                std::min(x.disk_offset + x.length, (r.first + r.count) * kSector);
            if (a < b) ranges.push_back({x.file_offset + (a - x.disk_offset), b - a});
        }
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const lost_range& a, const lost_range& b) { return a.first < b.first; });
    std::vector<lost_range> out;
    for (const lost_range& r : ranges) {
        if (!out.empty() && r.first <= out.back().first + out.back().count) {
            out.back().count =
                std::max(out.back().first + out.back().count, r.first + r.count) - out.back().first;
        } else {
            out.push_back(r);
        }
    }
    return out;
}

lost_report find_lost_files(set_file_systems& set, const bad_sector_map& map) {
    lost_report report;
    const std::vector<sector_run> lost = map.bad_runs();
    for (const sector_run& r : lost) report.lost_sectors += r.count;
    report.mbr_lost = !lost.empty() && lost.front().first == 0;
    std::vector<interval> in_partitions;
    for (const disk_partition& p : set.disk().partitions().partitions) {
        std::vector<interval> here = clip(lost, p.first_sector, p.end_sector());
        if (here.empty()) continue;
        in_partitions.insert(in_partitions.end(), here.begin(), here.end());
        partition_file_system* fs = set.disk().open(p.number);
        if (fs == nullptr) {
            report.unknown_sectors += sectors_of(here);
            continue;
        }
        std::vector<sector_run> runs;
        for (const interval& i : here)
            runs.push_back({i.first, i.end - i.first, sector_state::unreadable});
        partition_scan scan{*fs, p.number, runs, here, {}, &report};
        fs_entry root;
        if (fs->stat("", &root) == lookup::found) scan.lost_records("", root.meta);
        walk_tree(*fs, "", [&scan](const std::string& path, const fs_entry& e) {
            scan.entry(path, e);
            return true;
        });
        scan.rest();
    }
    const std::uint64_t disk_end = set.image().size() / kSector;
    const partition_list& list = set.disk().partitions();
    std::vector<interval> tables;
    for (const std::uint64_t record : list.boot_records) tables.push_back({record, record + 1});
    if (list.chain_cut) {
        for (const disk_partition& c : list.containers)
            tables.push_back({c.first_sector, c.end_sector()});
    }
    std::vector<interval> outside =
        less(merged(clip(lost, report.mbr_lost ? 1 : 0, disk_end)), merged(in_partitions));
    std::vector<sector_run> outside_runs;
    for (const interval& i : outside)
        outside_runs.push_back({i.first, i.end - i.first, sector_state::unreadable});
    std::vector<interval> hit_tables;
    for (const interval& t : merged(tables)) {
        const std::vector<interval> in = clip(outside_runs, t.first, t.end);
        hit_tables.insert(hit_tables.end(), in.begin(), in.end());
    }
    report.table_sectors = sectors_of(hit_tables);
    report.outside_sectors = sectors_of(outside) - report.table_sectors;
    return report;
}

}  // namespace kiroda::cli
