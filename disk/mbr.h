// Fields of a master boot record (sector 0, 512 bytes, little-endian).
#pragma once

#include <cstdint>

namespace kiroda {

constexpr int kMbrEntryCount = 4;
constexpr int kMbrEntriesOffset = 446;  // four 16-byte entries
constexpr int kMbrEntryBytes = 16;
constexpr int kMbrEntryTypeOffset = 4;
constexpr int kMbrEntryFirstOffset = 8;
constexpr int kMbrEntryCountOffset = 12;
constexpr int kMbrSignatureOffset = 510;
constexpr std::uint16_t kMbrSignature = 0xAA55;
// Partition type of the single entry of a GPT disk's protective MBR.
constexpr std::uint8_t kGptProtectiveType = 0xEE;

struct mbr_entry {
    std::uint8_t type = 0;
    std::uint32_t first_sector = 0;
    std::uint32_t sector_count = 0;

    // One past the last sector, in 64 bits: a partition that starts at 2,048
    // and runs to the end of a 2 TiB disk ends at exactly 2^32, which a 32-bit
    // sum would wrap to 0.
    std::uint64_t end_sector() const {
        return static_cast<std::uint64_t>(first_sector) + sector_count;
    }
};

// `sector` holds at least 512 bytes; `index` is 0 to 3.
mbr_entry read_mbr_entry(const unsigned char* sector, int index);
bool has_boot_signature(const unsigned char* sector);
// The type of the first entry is the GPT protective type.
bool is_gpt_protective(const unsigned char* sector);
// The largest end_sector over the four entries; 0 when all are empty.
std::uint64_t mbr_partitions_end(const unsigned char* sector);

}  // namespace kiroda
