#include "disk/mbr.h"

#include "util/le.h"

namespace kiroda {

mbr_entry read_mbr_entry(const unsigned char* sector, int index) {
    const unsigned char* e = sector + kMbrEntriesOffset + kMbrEntryBytes * index;
    mbr_entry entry;
    entry.type = e[kMbrEntryTypeOffset];
    entry.first_sector = load_le32(e + kMbrEntryFirstOffset);
    entry.sector_count = load_le32(e + kMbrEntryCountOffset);
    return entry;
}

bool has_boot_signature(const unsigned char* sector) {
    return load_le16(sector + kMbrSignatureOffset) == kMbrSignature;
}

bool is_gpt_protective(const unsigned char* sector) {
    return read_mbr_entry(sector, 0).type == kGptProtectiveType;
}

std::uint64_t mbr_partitions_end(const unsigned char* sector) {
    std::uint64_t end = 0;
    for (int i = 0; i < kMbrEntryCount; ++i) {
        const mbr_entry entry = read_mbr_entry(sector, i);
        // An entry without sectors occupies nothing, wherever it says it starts.
        if (entry.sector_count != 0 && entry.end_sector() > end) end = entry.end_sector();
    }
    return end;
}

}  // namespace kiroda
