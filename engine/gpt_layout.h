// A GUID partition table as a reader of a disk's sectors finds it: the
// protective MBR, the primary header (LBA 1) and its entry array, the backup
// header (where the primary says, normally the disk's last LBA) and its
// array, each checked against its CRC-32 and the two against each other.
// LBAs count the disk's own logical sectors (512 or 4,096 bytes); the
// sector_source reads 512-byte units, as every disk access of the program
// does. Nothing here speaks: the front ends word the verdict.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/partition_list.h"

namespace kiroda {

// The largest entry array taken (entries x entry size): a header that claims
// more is damaged. 128 entries of 128 bytes is the usual 16 KiB.
constexpr std::uint32_t kGptMaxEntryArrayBytes = 1u << 20;

// What the table is, as a source rule sees it. Only `valid` is backed up
// without --force.
enum class gpt_state {
    none,              // no protective entry in the MBR: not a GPT disk
    valid,             // both headers and arrays hold their CRCs and agree
    primary_damaged,   // the primary header or its array fails (the backup holds)
    backup_damaged,    // the backup header or its array fails, or is not where the primary says
    headers_disagree,  // both hold their CRCs but describe different tables
    both_damaged,      // neither header holds: no table can be read
    hybrid_mbr,        // the tables hold, but the MBR lists partitions beside the protective one
};

struct gpt_header {
    std::uint64_t my_lba = 0;
    std::uint64_t alternate_lba = 0;
    std::uint64_t first_usable = 0;
    std::uint64_t last_usable = 0;
    unsigned char disk_guid[16] = {};
    std::uint64_t entries_lba = 0;
    std::uint32_t entry_count = 0;
    std::uint32_t entry_bytes = 0;
    std::uint32_t entries_crc = 0;
};

struct gpt_entry {
    int number = 0;  // the entry's slot + 1, as Linux numbers it
    unsigned char type_guid[16] = {};
    unsigned char unique_guid[16] = {};
    std::uint64_t first_lba = 0;
    std::uint64_t last_lba = 0;  // inclusive
    std::uint64_t attributes = 0;
    std::string name;  // UTF-8
};

struct gpt_layout {
    gpt_state state = gpt_state::none;
    std::uint32_t sector_bytes = 512;
    // The header the entries were taken from (the primary, or the backup
    // when only it holds).
    gpt_header header;
    std::vector<gpt_entry> entries;  // used slots only, in slot order
    // Where the protective entry of the MBR says the disk ends (its first
    // sector + count, in the disk's sectors).
    std::uint64_t protective_end = 0;

    bool readable() const { return state != gpt_state::none && state != gpt_state::both_damaged; }
    // One past the last byte any entry uses; 0 without entries.
    std::uint64_t partitions_end_bytes() const;
    // The entries as partitions in 512-byte units, for views of the disk.
    partition_list as_partitions(std::uint64_t disk_bytes) const;
};

// Reads the table of a disk of `disk_bytes` bytes and `sector_bytes`-byte
// logical sectors. A disk without a protective MBR entry gives state none.
gpt_layout read_gpt_layout(std::uint64_t disk_bytes, std::uint32_t sector_bytes,
                           const sector_source& read_512);

// The textual form of a GUID, upper case, as partitioning tools print it:
// "0FC63DAF-8483-4772-8E79-3D69D8477DE4".
std::string format_guid(const unsigned char* guid);

// The fields of a header at `bytes` (one logical sector); false when its
// signature, size or CRC do not hold.
bool parse_gpt_header(const unsigned char* bytes, std::uint32_t sector_bytes, gpt_header* header);

// The room a header's entry array takes, in logical sectors.
std::uint64_t gpt_array_sectors(const gpt_header& header, std::uint32_t sector_bytes);

// Points the primary header in `bytes` (one logical sector, its CRC holding)
// at a backup in the last LBA of a disk of `disk_lbas` sectors, its array
// just before it, and ends the usable sectors before that array; the CRC is
// made anew. What a partitioning tool then reads as a sound primary with a
// lost backup, which it writes again where it belongs.
void point_primary_at_end(unsigned char* bytes, std::uint32_t sector_bytes,
                          std::uint64_t disk_lbas);

}  // namespace kiroda
