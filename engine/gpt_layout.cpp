#include "engine/gpt_layout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "disk/mbr.h"
#include "format/crc32.h"
#include "util/le.h"

namespace kiroda {

namespace {

constexpr std::uint64_t kUnit = 512;
constexpr unsigned char kSignature[8] = {'E', 'F', 'I', ' ', 'P', 'A', 'R', 'T'};
constexpr std::uint32_t kMinHeaderBytes = 92;
constexpr std::uint32_t kMinEntryBytes = 128;

// One side of the table: its header and the bytes of its entry array.
struct gpt_side {
    bool header_ok = false;
    bool entries_ok = false;
    gpt_header header;
    std::vector<unsigned char> entries;
    bool ok() const { return header_ok && entries_ok; }
};

// `count` logical sectors from `lba` on; false when any lies past the disk
// or does not read.
bool read_lbas(const sector_source& read_512, std::uint64_t disk_bytes, std::uint32_t sector_bytes,
               std::uint64_t lba, std::uint64_t count, std::vector<unsigned char>* out) {
    const std::uint64_t units = sector_bytes / kUnit;
    const std::uint64_t disk_lbas = disk_bytes / sector_bytes;
    if (lba >= disk_lbas || count > disk_lbas - lba) return false;
    out->assign(static_cast<std::size_t>(count * sector_bytes), 0);
    for (std::uint64_t u = 0; u < count * units; ++u) {
        if (!read_512(lba * units + u, out->data() + u * kUnit)) return false;
    }
    return true;
}

std::string utf16_name(const unsigned char* p, std::size_t bytes) {
    std::string name;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        std::uint32_t c = load_le16(p + i);
        if (c == 0) break;
        // A surrogate half alone stands for what it cannot be: U+FFFD.
        if (c >= 0xD800 && c <= 0xDFFF) {
            const std::uint32_t low = i + 3 < bytes ? load_le16(p + i + 2) : 0;
            if (c < 0xDC00 && low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            } else {
                c = 0xFFFD;
            }
        }
        if (c < 0x80) {
            name += static_cast<char>(c < 0x20 ? ' ' : c);
        } else if (c < 0x800) {
            name += static_cast<char>(0xC0 | (c >> 6));
            name += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            name += static_cast<char>(0xE0 | (c >> 12));
            name += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            name += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            name += static_cast<char>(0xF0 | (c >> 18));
            name += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            name += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            name += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return name;
}

// The header at `lba` and its array; `expected_lba` is where it says it is.
gpt_side read_side(const sector_source& read_512, std::uint64_t disk_bytes,
                   std::uint32_t sector_bytes, std::uint64_t lba) {
    gpt_side side;
    std::vector<unsigned char> bytes;
    if (!read_lbas(read_512, disk_bytes, sector_bytes, lba, 1, &bytes) ||
        !parse_gpt_header(bytes.data(), sector_bytes, &side.header) || side.header.my_lba != lba) {
        return side;
    }
    side.header_ok = true;
    const std::uint64_t array_bytes =
        std::uint64_t{side.header.entry_count} * side.header.entry_bytes;
    const std::uint64_t lbas = (array_bytes + sector_bytes - 1) / sector_bytes;
    if (!read_lbas(read_512, disk_bytes, sector_bytes, side.header.entries_lba, lbas,
                   &side.entries)) {
        return side;
    }
    side.entries.resize(static_cast<std::size_t>(array_bytes));
    side.entries_ok = crc32(side.entries.data(), side.entries.size()) == side.header.entries_crc;
    return side;
}

bool sides_agree(const gpt_side& primary, const gpt_side& backup) {
    const gpt_header& p = primary.header;
    const gpt_header& b = backup.header;
    return p.alternate_lba == b.my_lba && b.alternate_lba == p.my_lba &&
           p.first_usable == b.first_usable && p.last_usable == b.last_usable &&
           std::memcmp(p.disk_guid, b.disk_guid, sizeof p.disk_guid) == 0 &&
           p.entry_count == b.entry_count && p.entry_bytes == b.entry_bytes &&
           primary.entries == backup.entries;
}

std::vector<gpt_entry> parse_entries(const gpt_side& side) {
    std::vector<gpt_entry> entries;
    const std::uint32_t size = side.header.entry_bytes;
    for (std::uint32_t i = 0; i < side.header.entry_count; ++i) {
        const unsigned char* e = side.entries.data() + std::size_t{i} * size;
        gpt_entry entry;
        std::memcpy(entry.type_guid, e, 16);
        if (std::all_of(entry.type_guid, entry.type_guid + 16,
                        [](unsigned char c) { return c == 0; }))
            continue;
        entry.number = static_cast<int>(i) + 1;
        std::memcpy(entry.unique_guid, e + 16, 16);
        entry.first_lba = load_le64(e + 32);
        entry.last_lba = load_le64(e + 40);
        entry.attributes = load_le64(e + 48);
        entry.name = utf16_name(e + 56, std::min<std::size_t>(72, size - 56));
        entries.push_back(entry);
    }
    return entries;
}

// The protective entry's end, and whether any other entry is in use.
bool read_protective_mbr(const unsigned char* sector0, std::uint64_t* end, bool* hybrid) {
    bool protective = false;
    *hybrid = false;
    for (int i = 0; i < kMbrEntryCount; ++i) {
        const mbr_entry e = read_mbr_entry(sector0, i);
        if (e.type == kGptProtectiveType && !protective) {
            protective = true;
            *end = e.end_sector();
        } else if (e.type != 0 && e.sector_count != 0) {
            *hybrid = true;
        }
    }
    return protective;
}

gpt_state state_of(const gpt_side& primary, const gpt_side& backup, bool hybrid) {
    if (!primary.ok() && !backup.ok()) return gpt_state::both_damaged;
    if (!primary.ok()) return gpt_state::primary_damaged;
    if (!backup.ok()) return gpt_state::backup_damaged;
    if (!sides_agree(primary, backup)) return gpt_state::headers_disagree;
    return hybrid ? gpt_state::hybrid_mbr : gpt_state::valid;
}

}  // namespace

bool parse_gpt_header(const unsigned char* bytes, std::uint32_t sector_bytes, gpt_header* h) {
    const std::uint32_t size = load_le32(bytes + 12);
    if (std::memcmp(bytes, kSignature, sizeof kSignature) != 0 || size < kMinHeaderBytes ||
        size > sector_bytes) {
        return false;
    }
    std::vector<unsigned char> copy(bytes, bytes + size);
    std::memset(copy.data() + 16, 0, 4);
    if (crc32(copy.data(), copy.size()) != load_le32(bytes + 16)) return false;
    h->my_lba = load_le64(bytes + 24);
    h->alternate_lba = load_le64(bytes + 32);
    h->first_usable = load_le64(bytes + 40);
    h->last_usable = load_le64(bytes + 48);
    std::memcpy(h->disk_guid, bytes + 56, 16);
    h->entries_lba = load_le64(bytes + 72);
    h->entry_count = load_le32(bytes + 80);
    h->entry_bytes = load_le32(bytes + 84);
    h->entries_crc = load_le32(bytes + 88);
    // Entries of at least 128 bytes, in whole multiples of 8, and an array
    // of a size a reader can hold: counted in 64 bits, never wrapped.
    return h->entry_bytes >= kMinEntryBytes && h->entry_bytes % 8 == 0 &&
           std::uint64_t{h->entry_count} * h->entry_bytes <= kGptMaxEntryArrayBytes;
}

gpt_layout read_gpt_layout(std::uint64_t disk_bytes, std::uint32_t sector_bytes,
                           const sector_source& read_512) {
    gpt_layout layout;
    layout.sector_bytes = sector_bytes;
    std::vector<unsigned char> sector0;
    bool hybrid = false;
    if (sector_bytes < kUnit || sector_bytes % kUnit != 0 || disk_bytes / sector_bytes < 3 ||
        !read_lbas(read_512, disk_bytes, sector_bytes, 0, 1, &sector0) ||
        !has_boot_signature(sector0.data()) ||
        !read_protective_mbr(sector0.data(), &layout.protective_end, &hybrid)) {
        return layout;
    }
    const std::uint64_t last_lba = disk_bytes / sector_bytes - 1;
    const gpt_side primary = read_side(read_512, disk_bytes, sector_bytes, 1);
    // The backup where the primary says; without a primary, at the disk's end.
    const gpt_side backup = read_side(read_512, disk_bytes, sector_bytes,
                                      primary.header_ok ? primary.header.alternate_lba : last_lba);
    layout.state = state_of(primary, backup, hybrid);
    if (!layout.readable()) return layout;
    const gpt_side& used = primary.ok() ? primary : backup;
    layout.header = used.header;
    layout.entries = parse_entries(used);
    return layout;
}

// No LBA a disk can have comes near this: larger ones (a damaged or crafted
// entry) are cut here, so that no byte count wraps.
constexpr std::uint64_t kLbaLimit = std::uint64_t{1} << 48;

std::uint64_t gpt_layout::partitions_end_bytes() const {
    std::uint64_t end = 0;
    for (const gpt_entry& e : entries)
        end = std::max(end, (std::min(e.last_lba, kLbaLimit) + 1) * sector_bytes);
    return end;
}

partition_list gpt_layout::as_partitions(std::uint64_t disk_bytes) const {
    partition_list list;
    const std::uint64_t units = sector_bytes / kUnit;
    for (const gpt_entry& e : entries) {
        // An entry that ends before it starts holds nothing to serve.
        if (e.last_lba < e.first_lba) continue;
        const std::uint64_t first = std::min(e.first_lba, kLbaLimit);
        const std::uint64_t last = std::min(e.last_lba, kLbaLimit);
        const disk_partition p{e.number, 0, first * units, (last - first + 1) * units};
        (p.end_sector() * kUnit > disk_bytes ? list.past_end : list.partitions).push_back(p);
    }
    return list;
}

std::uint64_t gpt_array_sectors(const gpt_header& h, std::uint32_t sector_bytes) {
    return (std::uint64_t{h.entry_count} * h.entry_bytes + sector_bytes - 1) / sector_bytes;
}

void point_primary_at_end(unsigned char* bytes, std::uint32_t sector_bytes,
                          std::uint64_t disk_lbas) {
    gpt_header h;
    if (!parse_gpt_header(bytes, sector_bytes, &h)) return;
    const std::uint64_t array = gpt_array_sectors(h, sector_bytes);
    store_le64(bytes + 32, disk_lbas - 1);
    store_le64(bytes + 48, disk_lbas - 2 - array);
    const std::uint32_t size = load_le32(bytes + 12);
    store_le32(bytes + 16, 0);
    store_le32(bytes + 16, crc32(bytes, size));
}

std::string format_guid(const unsigned char* g) {
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  load_le32(g), unsigned{load_le16(g + 4)}, unsigned{load_le16(g + 6)}, g[8], g[9],
                  g[10], g[11], g[12], g[13], g[14], g[15]);
    return text;
}

}  // namespace kiroda
