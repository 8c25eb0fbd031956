#include "cli/unused_blocks.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "disk/physical_disk.h"

namespace kiroda::cli {

namespace {

constexpr std::uint64_t kSector = 512;

// `runs` less `keep` (both sorted by their first sector, `keep` merged), in
// one pass over both.
std::vector<sector_run> less(const std::vector<sector_run>& runs,
                             const std::vector<sector_run>& keep) {
    std::vector<sector_run> rest;
    std::size_t k = 0;
    for (sector_run r : runs) {
        while (k < keep.size() && keep[k].first + keep[k].count <= r.first) ++k;
        for (std::size_t j = k;
             j < keep.size() && keep[j].first < r.first + r.count && r.count != 0; ++j) {
            const std::uint64_t end = r.first + r.count, keep_end = keep[j].first + keep[j].count;
            if (keep[j].first > r.first)
                rest.push_back({r.first, keep[j].first - r.first, r.state});
            r.count = keep_end >= end ? 0 : end - keep_end;
            r.first = keep_end >= end ? end : keep_end;
        }
        if (r.count != 0) rest.push_back(r);
    }
    return rest;
}

std::vector<sector_run> sorted_merged(std::vector<sector_run> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const sector_run& a, const sector_run& b) { return a.first < b.first; });
    std::vector<sector_run> merged;
    for (const sector_run& r : runs) {
        if (!merged.empty() && r.first <= merged.back().first + merged.back().count) {
            const std::uint64_t end =
                std::max(merged.back().first + merged.back().count, r.first + r.count);
            merged.back().count = end - merged.back().first;
        } else {
            merged.push_back(r);
        }
    }
    return merged;
}

// One partition's unused blocks as sector runs, cut to the partition, less
// the structures the library's report lays out (which its allocation map
// may not count).
void add_unused(partition_file_system& fs, std::vector<sector_run>* runs) {
    const disk_partition& p = fs.partition();
    const std::uint64_t per_block = fs.block_size() / kSector;
    std::vector<sector_run> unused, layout;
    fs.unused_blocks([&](std::uint64_t first, std::uint64_t count) {
        const std::uint64_t from = fs.block_offset(first) / kSector;
        const std::uint64_t to = std::min(from + count * per_block, p.end_sector());
        if (from < to) unused.push_back({from, to - from, sector_state::read});
    });
    fs.layout_blocks([&](std::uint64_t first, std::uint64_t last) {
        const std::uint64_t from = fs.block_offset(first) / kSector;
        layout.push_back({from, (last + 1 - first) * per_block, sector_state::read});
    });
    const std::vector<sector_run> rest = less(sorted_merged(unused), sorted_merged(layout));
    runs->insert(runs->end(), rest.begin(), rest.end());
}

}  // namespace

unused_space find_unused_space(disk_file_systems& disk) {
    unused_space space;
    for (const disk_partition& p : disk.partitions().partitions) {
        partition_file_system* fs = disk.open(p.number);
        // Whole blocks of whole sectors only: anything else is backed up.
        if (fs == nullptr || fs->block_size() % kSector != 0 || fs->block_size() == 0) {
            space.partitions_not_read.push_back(p.number);
            continue;
        }
        std::vector<sector_run> runs;
        add_unused(*fs, &runs);
        space.runs.insert(space.runs.end(), runs.begin(), runs.end());
        space.partitions_read.push_back(p.number);
    }
    space.runs = sorted_merged(std::move(space.runs));
    for (const sector_run& r : space.runs) space.sectors += r.count;
    return space;
}

disk_reader disk_seam_reader(int number, std::uint64_t disk_bytes) {
    struct state {
        disk_handle disk;
        std::mutex mutex;
        std::vector<unsigned char> buffer;
    };
    auto s = std::make_shared<state>();
    s->disk = open_physical_disk(number, disk_mode::read);
    return [s, disk_bytes](std::uint64_t offset, std::size_t length, void* out) -> std::int64_t {
        if (!s->disk.valid() || offset >= disk_bytes) return offset >= disk_bytes ? 0 : -1;
        length = static_cast<std::size_t>(std::min<std::uint64_t>(length, disk_bytes - offset));
        const std::uint64_t first = offset / kSector;
        const std::uint64_t end = (offset + length + kSector - 1) / kSector;
        std::lock_guard<std::mutex> lock(s->mutex);
        s->buffer.resize((end - first) * kSector);
        for (std::uint64_t at = first; at < end;) {
            const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(end - at, 2048));
            if (!seek_sector(s->disk, at) ||
                !read_sectors(s->disk, n, s->buffer.data() + (at - first) * kSector))
                return -1;
            at += n;
        }
        std::memcpy(out, s->buffer.data() + (offset - first * kSector), length);
        return static_cast<std::int64_t>(length);
    };
}

std::vector<sector_run> runs_within(const std::vector<sector_run>& runs, std::uint64_t first,
                                    std::uint64_t end) {
    std::vector<sector_run> in;
    for (const sector_run& r : runs) {
        const std::uint64_t a = std::max(r.first, first), b = std::min(r.first + r.count, end);
        if (a < b) in.push_back({a, b - a, r.state});
    }
    return in;
}

}  // namespace kiroda::cli
