#include "disk/partition_list.h"

#include <set>

#include "disk/mbr.h"

namespace kiroda {

namespace {

constexpr std::uint32_t kSectorSize = 512;

void take(partition_list& list, const disk_partition& p, std::uint64_t disk_sectors) {
    if (p.end_sector() > disk_sectors) {
        list.past_end.push_back(p);
    } else {
        list.partitions.push_back(p);
    }
}

// Follows the chain of the extended partition `container`: each record's
// first entry is a logical partition (from the record's own sector), its
// second the next record (from the container's start).
void follow_chain(partition_list& list, const disk_partition& container, std::uint64_t disk_sectors,
                  const sector_source& read_sector) {
    const std::uint64_t container_end =
        container.end_sector() < disk_sectors ? container.end_sector() : disk_sectors;
    std::set<std::uint64_t> seen;
    std::uint64_t record = container.first_sector;
    int number = 5;
    for (int step = 0;; ++step) {
        unsigned char sector[kSectorSize];
        if (step == kMaxExtendedRecords || record < container.first_sector ||
            record >= container_end || !seen.insert(record).second ||
            !read_sector(record, sector) || !has_boot_signature(sector)) {
            list.chain_cut = true;
            return;
        }
        list.boot_records.push_back(record);
        const mbr_entry logical = read_mbr_entry(sector, 0);
        if (logical.sector_count != 0 && !is_extended_type(logical.type)) {
            take(list,
                 disk_partition{number++, logical.type, record + logical.first_sector,
                                logical.sector_count},
                 disk_sectors);
        }
        const mbr_entry next = read_mbr_entry(sector, 1);
        if (next.sector_count == 0 || !is_extended_type(next.type)) return;
        record = container.first_sector + next.first_sector;
    }
}

}  // namespace

bool is_extended_type(std::uint8_t type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

partition_list list_partitions(std::uint64_t disk_sectors, const sector_source& read_sector) {
    partition_list list;
    unsigned char sector0[kSectorSize];
    if (disk_sectors == 0 || !read_sector(0, sector0) || !has_boot_signature(sector0)) return list;
    const disk_partition* container = nullptr;
    disk_partition extended;
    for (int slot = 0; slot < kMbrEntryCount; ++slot) {
        const mbr_entry e = read_mbr_entry(sector0, slot);
        if (e.sector_count == 0 || e.type == 0 || e.type == kGptProtectiveType) continue;
        const disk_partition p{slot + 1, e.type, e.first_sector, e.sector_count};
        if (!is_extended_type(e.type)) {
            take(list, p, disk_sectors);
        } else if (container == nullptr) {
            // Only one container per disk; a second is no partition either.
            extended = p;
            container = &extended;
            if (p.end_sector() > disk_sectors) list.past_end.push_back(p);
        }
    }
    if (container != nullptr) {
        list.containers.push_back(*container);
        follow_chain(list, *container, disk_sectors, read_sector);
    }
    return list;
}

}  // namespace kiroda
