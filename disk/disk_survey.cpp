#include "disk/disk_survey.h"

#include "disk/mbr.h"
#include "disk/physical_disk.h"

namespace kiroda {

void apply_sector0(disk_record& record, const unsigned char* sector) {
    int taken = record.partition_count;
    if (taken <= 0 || taken > kMbrEntryCount) taken = kMbrEntryCount;
    record.partitions_end = 0;
    for (int i = 0; i < taken; ++i) {
        const mbr_entry entry = read_mbr_entry(sector, i);
        record.partition_sectors[i] = entry.sector_count;
        if (entry.sector_count != 0 && entry.end_sector() > record.partitions_end) {
            record.partitions_end = entry.end_sector();
        }
    }
    if (has_boot_signature(sector)) {
        record.boot_signature_valid = 1;
    } else {
        record.boot_signature_valid = 0;
        for (auto& sectors : record.partition_sectors) sectors = 0;
        record.partition_count = 0;
        record.partitions_end = 0;
    }
    record.gpt = is_gpt_protective(sector) ? 1 : 0;
}

bool survey_disk(int number, disk_record* record) {
    const disk_handle disk = open_physical_disk(number, disk_mode::read);
    if (!disk.valid()) return false;

    disk_record r;
    r.number = number;
    const int count = get_partition_count(disk);
    if (count > 0) r.partition_count = count;
    // Signed division as a size; the failure codes (-1, -2) are no size at all.
    const std::int64_t size = get_disk_size_bytes(disk);
    r.total_sectors = size > 0 ? size / kSectorBytes : 0;
    disk_geometry geometry;
    if (get_disk_geometry(disk, &geometry)) {
        r.bytes_per_sector = static_cast<int>(geometry.bytes_per_sector);
        r.media_type = static_cast<std::uint8_t>(geometry.media_type & 0xFF);
    }
    unsigned char sector[kSectorBytes];
    if (seek_sector(disk, 0) && read_sectors(disk, 1, sector)) {
        apply_sector0(r, sector);
    } else {
        r.sector0_unreadable = true;
    }
    *record = r;
    return true;
}

void enumerate_disks(disk_table& table) {
    table.fill(disk_record{});
    int next = 0;
    for (int number = 0; number < kDiskTableSize; ++number) {
        if (survey_disk(number, &table[static_cast<std::size_t>(next)])) ++next;
    }
}

int find_disk_record(const disk_table& table, int number) {
    for (int i = 0; i < kDiskTableSize; ++i) {
        const int n = table[static_cast<std::size_t>(i)].number;
        if (n < 0) return -1;
        if (n == number) return i;
    }
    return -1;
}

}  // namespace kiroda
