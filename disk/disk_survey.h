// The survey of disks 0 to 7: what each disk that opens says about itself,
// kept in a table of eight records for the disk selection dialogs.
#pragma once

#include <array>
#include <cstdint>

namespace kiroda {

constexpr int kDiskTableSize = 8;
constexpr int kNoDisk = -1;

struct disk_record {
    int number = kNoDisk;  // kNoDisk marks an unused entry
    // Sector counts of the four primary MBR entries, in table order.
    std::uint64_t partition_sectors[4] = {};
    // Disk size / 512; 0 when the size query failed (never a failure code
    // divided as if it were a size).
    std::int64_t total_sectors = 0;
    int bytes_per_sector = 0;     // 0 when the geometry query failed
    std::uint8_t media_type = 0;  // 0 (unknown) when the geometry query failed
    int partition_count = 0;      // as the layout query reports; 0 when it failed
    int boot_signature_valid = 0;
    int gpt = 0;
    // One past the last sector of the entries taken, in 64 bits (0 when none):
    // lets a report point out a table that claims more than the disk holds.
    std::uint64_t partitions_end = 0;
    // Sector 0 could not be read: the fields it gives are zeros, which must
    // not be taken for a disk without a signature.
    bool sector0_unreadable = false;
};

using disk_table = std::array<disk_record, kDiskTableSize>;

// Fills `record` from sector 0 (512 bytes) the way the survey does:
// `record.partition_count` must already hold the layout's count. A count of 1
// to 3 limits the entries taken; 0 or more than 4 takes all four. Without the
// boot signature the partition fields and the count are cleared. The GPT flag
// is taken from the first entry's type either way.
void apply_sector0(disk_record& record, const unsigned char* sector);

// Opens disk `number` for reading and records what it says. False (and
// `record` untouched) when the disk does not open. A disk whose queries or
// sector-0 read fail still gets a record, with zeros where the failed steps
// would have written.
bool survey_disk(int number, disk_record* record);

// Rebuilds the whole table from disks 0 to 7: the disks that open fill the
// entries from index 0 without gaps, in increasing number; the rest keep
// number kNoDisk.
void enumerate_disks(disk_table& table);

// Index of the entry with disk `number`, or -1. The scan ends at the first
// unused entry.
int find_disk_record(const disk_table& table, int number);

}  // namespace kiroda
