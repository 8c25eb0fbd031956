// The partitions an MBR disk holds, as a reader of its sectors finds them:
// the primary entries of sector 0 and the logical ones along the chain of
// extended boot records, numbered as Linux numbers them (1 to 4 by slot,
// 5 on in chain order). For views of a disk that is not a device (a backup
// set served as a file system): each partition its own file.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace kiroda {

// Extended boot records followed at most: a chain longer than this (or
// one that turns back on itself) is cut there.
constexpr int kMaxExtendedRecords = 128;

struct disk_partition {
    int number = 0;  // 1-4 the primary slot, 5... the logical ones in chain order
    std::uint8_t type = 0;
    std::uint64_t first_sector = 0;
    std::uint64_t sector_count = 0;
    std::uint64_t end_sector() const { return first_sector + sector_count; }
};

struct partition_list {
    // Wholly within the disk, in number order. The extended container
    // itself, empty slots and a GPT disk's protective entry are no
    // partitions.
    std::vector<disk_partition> partitions;
    // Entries that run past the end of the disk: left out.
    std::vector<disk_partition> past_end;
    // The chain of extended boot records broke (a record that does not
    // read, lies outside its container or the disk, has no boot
    // signature, turns back, or is one too many): logical partitions after
    // it are not known.
    bool chain_cut = false;
    // The extended containers, and the sectors of the extended boot
    // records read along their chains.
    std::vector<disk_partition> containers;
    std::vector<std::uint64_t> boot_records;
};

// True for the types of an extended partition (0x05, 0x0F, 0x85).
bool is_extended_type(std::uint8_t type);

// Reads sector `sector` (512 bytes) of the disk into `bytes`; false when it
// cannot.
using sector_source = std::function<bool(std::uint64_t sector, unsigned char* bytes)>;

// The partitions of a disk of `disk_sectors` sectors. Without the boot
// signature in sector 0 (or when it does not read) there are none.
partition_list list_partitions(std::uint64_t disk_sectors, const sector_source& read_sector);

}  // namespace kiroda
