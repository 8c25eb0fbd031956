// Sector 0 of a disk the survey opens, and what the disk's queries answered.
// Input: 15 bytes of answers, then the sector (cut, or padded with zeros, to
// 512 bytes):
//    0     partition count of the layout query (signed; kept only above 0,
//          as the survey keeps it)
//    1- 4  bytes per sector of the geometry query (little-endian)
//    5     media type of the geometry query
//    6-13  size query in bytes (signed, little-endian)
//   14     bit 0: the geometry query failed; bit 1: sector 0 could not be read
// The MBR fields must be the bytes of the table, the record must follow
// apply_sector0's contract, and the rules must never offer a disk with used
// partitions as a restore target nor take a disk as a source that the
// source rules refuse. The display texts must be the grouped decimal values.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "disk/disk_rules.h"
#include "disk/disk_survey.h"
#include "disk/mbr.h"
#include "disk/physical_disk.h"
#include "fuzz/fuzz_check.h"
#include "util/number_format.h"

using namespace kiroda;
using namespace kiroda::fuzz;

namespace {

constexpr std::size_t kAnswerBytes = 15;

std::string grouped(const std::string& digits) {
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string grouped_signed(std::int64_t value) {
    if (value >= 0) return grouped(std::to_string(value));
    const std::string digits = std::to_string(value).substr(1);
    return "-" + grouped(digits);
}

// A field of `size` bytes holds a NUL-terminated text equal to `expected`.
bool field_reads(const char* field, std::size_t size, const std::string& expected) {
    return std::memchr(field, '\0', size) != nullptr && expected == field;
}

bool fixed_or_removable(const disk_record& r) {
    return r.media_type == kMediaFixed || r.media_type == kMediaRemovable;
}

void check_verdict(const disk_verdict& v) {
    FUZZ_CHECK(v.verdict == kVerdictUnusable || v.verdict == kVerdictWithReservation ||
               v.verdict == kVerdictUsable);
    const char* mark = v.verdict == kVerdictUsable            ? "○"
                       : v.verdict == kVerdictWithReservation ? "△"
                                                              : "×";
    FUZZ_CHECK(v.mark != nullptr && std::strcmp(v.mark, mark) == 0);
    FUZZ_CHECK(v.message != nullptr && v.message[0] != '\0');
}

void check_fields(const disk_record& r, const disk_verdict& v) {
    const disk_field_texts t = format_disk_fields(r, v);
    const std::uint64_t total =
        r.total_sectors > 0 ? static_cast<std::uint64_t>(r.total_sectors) : 0;
    FUZZ_CHECK(
        field_reads(t.size_mb, sizeof t.size_mb, grouped(std::to_string(total * 512 / 1000000))));
    for (int i = 0; i < 4; ++i) {
        const std::string expected =
            v.hide_partition_sizes
                ? std::string(kHiddenPartitionSize)
                : grouped(std::to_string(r.partition_sectors[i] * 512 / 1000000));
        FUZZ_CHECK(field_reads(t.partition_mb[i], sizeof t.partition_mb[i], expected));
    }
    FUZZ_CHECK(field_reads(t.bytes_per_sector, sizeof t.bytes_per_sector,
                           grouped_signed(r.bytes_per_sector)));
    FUZZ_CHECK(t.media_name != nullptr &&
               t.media_name == std::string(media_type_name(r.media_type)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto answers = padded_copy(data, size, kAnswerBytes);
    const std::size_t sector_input = size > kAnswerBytes ? size - kAnswerBytes : 0;
    auto sector =
        padded_copy(data + (size > kAnswerBytes ? kAnswerBytes : size), sector_input, 512);
    const unsigned char* s = sector.get();

    // The table, read here from the layout of sector 0.
    std::uint64_t end = 0;
    for (int i = 0; i < 4; ++i) {
        const unsigned char* e = s + 446 + 16 * i;
        const mbr_entry entry = read_mbr_entry(s, i);
        FUZZ_CHECK(entry.type == e[4]);
        FUZZ_CHECK(entry.first_sector == le32_at(e + 8));
        FUZZ_CHECK(entry.sector_count == le32_at(e + 12));
        const std::uint64_t entry_end =
            static_cast<std::uint64_t>(le32_at(e + 8)) + le32_at(e + 12);
        FUZZ_CHECK(entry.end_sector() == entry_end);
        if (le32_at(e + 12) != 0 && entry_end > end) end = entry_end;
    }
    const bool signature = s[510] == 0x55 && s[511] == 0xAA;
    const bool gpt = s[446 + 4] == 0xEE;
    FUZZ_CHECK(has_boot_signature(s) == signature);
    FUZZ_CHECK(is_gpt_protective(s) == gpt);
    FUZZ_CHECK(mbr_partitions_end(s) == end);

    // The record the survey would make of these answers.
    const unsigned char* a = answers.get();
    disk_record r;
    r.number = 0;
    const int count = static_cast<std::int8_t>(a[0]);
    if (count > 0) r.partition_count = count;
    const auto size_bytes = static_cast<std::int64_t>(le64_at(a + 6));
    r.total_sectors = size_bytes > 0 ? size_bytes / 512 : 0;
    if ((a[14] & 1) == 0) {
        r.bytes_per_sector = static_cast<int>(le32_at(a + 1));
        r.media_type = a[5];
    }
    if ((a[14] & 2) == 0) {
        const disk_record before = r;
        apply_sector0(r, s);
        const int taken =
            before.partition_count >= 1 && before.partition_count <= 3 ? before.partition_count : 4;
        FUZZ_CHECK(r.number == before.number && r.total_sectors == before.total_sectors &&
                   r.bytes_per_sector == before.bytes_per_sector &&
                   r.media_type == before.media_type);
        FUZZ_CHECK(r.gpt == (gpt ? 1 : 0));
        if (signature) {
            FUZZ_CHECK(r.boot_signature_valid == 1);
            FUZZ_CHECK(r.partition_count == before.partition_count);
            std::uint64_t taken_end = 0;
            for (int i = 0; i < 4; ++i) {
                const std::uint32_t sectors = le32_at(s + 446 + 16 * i + 12);
                const std::uint64_t first = le32_at(s + 446 + 16 * i + 8);
                FUZZ_CHECK(r.partition_sectors[i] == (i < taken ? sectors : 0));
                if (i < taken && sectors != 0 && first + sectors > taken_end)
                    taken_end = first + sectors;
            }
            FUZZ_CHECK(r.partitions_end == taken_end);
        } else {
            FUZZ_CHECK(r.boot_signature_valid == 0 && r.partition_count == 0 &&
                       r.partitions_end == 0);
            for (const std::uint64_t sectors : r.partition_sectors) FUZZ_CHECK(sectors == 0);
        }
    }

    bool any_partition = false;
    for (const std::uint64_t sectors : r.partition_sectors) any_partition |= sectors != 0;

    const disk_verdict source = source_disk_verdict(r);
    check_verdict(source);
    if (source.verdict != kVerdictUnusable) {
        FUZZ_CHECK(r.boot_signature_valid == 1 && r.bytes_per_sector == 512 &&
                   fixed_or_removable(r) && r.gpt == 0 && r.partition_count >= 1);
    }
    if (source.hide_partition_sizes) FUZZ_CHECK(r.gpt == 1);
    check_fields(r, source);

    const disk_verdict target = target_disk_verdict(r);
    check_verdict(target);
    FUZZ_CHECK(target.verdict != kVerdictWithReservation);
    // A restore writes over the whole disk: never onto partitions in use.
    if (target.verdict == kVerdictUsable) FUZZ_CHECK(!any_partition && fixed_or_removable(r));
    if (target.hide_partition_sizes) FUZZ_CHECK(r.gpt == 1);
    check_fields(r, target);
    return 0;
}
