#include "disk/disk_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disk/disk_image_test_support.h"
#include "disk/physical_disk.h"

namespace kiroda {
namespace {

using test_support::make_mbr;
using test_support::make_mbr_one_partition;
using test_support::mbr_slot;

// The messages exactly as the disk dialogs show them.
constexpr const char* kSourceNoSignature =
    "元ディスクとして利用できません。\nディスクフラグが無効です。AA55 ";
constexpr const char* kSourceSectorSize =
    "元ディスクとして利用出来ません。\nセクタサイズが無効です。";
constexpr const char* kSourceMedia =
    "元ディスクとして利用できません。\n固定ディスクとリムーバブルディスク\nのみ利用可能です。";
constexpr const char* kSourceGpt = "元ディスクとして利用できません。\nＧＰＴには対応していません。";
constexpr const char* kSourceNoneDefined =
    "元ディスクとして利用できません。\nパーテーションが定義されていません。";
constexpr const char* kSourceNoneValid =
    "元ディスクとして利用できますが、\n有効パーテーションが見つかりません。";
constexpr const char* kSourceUsable = "指定のディスクは、\n元ディスクとして利用可能です。";

constexpr const char* kTargetUnused =
    "復旧先ディスクとして利用可能です。\n未使用ディスクです。(xAA55)";
constexpr const char* kTargetSectorSize =
    "復旧先ディスクとして利用出来ません。\nセクタサイズが無効です。";
constexpr const char* kTargetMedia =
    "復旧先ディスクとして利用できません。\n固定ディスクとリムーバブルディスク\nのみ利用可能です。";
constexpr const char* kTargetGpt =
    "復旧先ディスクとして利用できません。\nＧＰＴには対応していません。";
constexpr const char* kTargetNoneDefined =
    "復旧先ディスクとして利用可能です。\nパーテーションは定義されていません。";
constexpr const char* kTargetNoneUsed =
    "復旧先ディスクとして利用可能です。\nパーテーションは利用されていません。";
constexpr const char* kTargetUsed =
    "復旧先ディスクとして利用できません。\nパーテーションが利用されています。";

constexpr std::int64_t kDiskSectors = 976773168;  // 500,107,862,016 bytes
constexpr std::uint32_t kPast2TiB = 4294965248u;  // from sector 2,048: ends at 2^32

struct rule_case {
    const char* name;
    std::vector<unsigned char> sector0;  // empty: sector 0 could not be read
    int layout_count;                    // what the layout query said (0: it failed)
    int bytes_per_sector;
    std::uint8_t media;
    std::int64_t total_sectors;
    int source;
    const char* source_message;
    int target;
    const char* target_message;
};

disk_record record_of(const rule_case& c) {
    disk_record r;
    r.number = 0;
    r.partition_count = c.layout_count;
    r.bytes_per_sector = c.bytes_per_sector;
    r.media_type = c.media;
    r.total_sectors = c.total_sectors;
    if (!c.sector0.empty()) apply_sector0(r, c.sector0.data());
    return r;
}

std::vector<rule_case> rule_cases() {
    const auto one = make_mbr_one_partition(2048, 204800);
    const auto empty = make_mbr({});
    return {
        {"no signature", make_mbr({mbr_slot{7, 63, 100}, {}, {}, {}}, false), 4, 512, kMediaFixed,
         kDiskSectors, 0, kSourceNoSignature, 2, kTargetUnused},
        {"no signature, unknown media", make_mbr({}, false), 4, 512, kMediaUnknown, kDiskSectors, 0,
         kSourceNoSignature, 0, kTargetMedia},
        {"no signature, 4096-byte sectors", make_mbr({}, false), 0, 4096, kMediaFixed, kDiskSectors,
         0, kSourceNoSignature, 2, kTargetUnused},
        {"sector 0 unreadable",
         {},
         4,
         512,
         kMediaRemovable,
         kDiskSectors,
         0,
         kSourceNoSignature,
         2,
         kTargetUnused},
        {"GPT protective MBR", make_mbr({mbr_slot{0xEE, 1, 0xFFFFFFFFu}, {}, {}, {}}), 4, 512,
         kMediaFixed, kDiskSectors, 0, kSourceGpt, 0, kTargetGpt},
        {"one partition", one, 4, 512, kMediaFixed, kDiskSectors, 2, kSourceUsable, 0, kTargetUsed},
        {"two partitions", make_mbr({mbr_slot{7, 2048, 1000}, mbr_slot{0x83, 4096, 1000}, {}, {}}),
         4, 512, kMediaFixed, kDiskSectors, 2, kSourceUsable, 0, kTargetUsed},
        {"three partitions",
         make_mbr(
             {mbr_slot{7, 2048, 1000}, mbr_slot{0x83, 4096, 1000}, mbr_slot{0x82, 8192, 9}, {}}),
         4, 512, kMediaFixed, kDiskSectors, 2, kSourceUsable, 0, kTargetUsed},
        {"four partitions with an extended container",
         make_mbr({mbr_slot{7, 2048, 1000}, mbr_slot{0x83, 4096, 1000}, mbr_slot{0x82, 8192, 9},
                   mbr_slot{0x05, 9000, 50000}}),
         8, 512, kMediaFixed, kDiskSectors, 2, kSourceUsable, 0, kTargetUsed},
        {"only the last slot used", make_mbr({mbr_slot{}, {}, {}, mbr_slot{7, 2048, 1}}), 4, 512,
         kMediaFixed, kDiskSectors, 2, kSourceUsable, 0, kTargetUsed},
        {"empty table", empty, 4, 512, kMediaFixed, kDiskSectors, 1, kSourceNoneValid, 2,
         kTargetNoneUsed},
        {"empty table, layout query failed", empty, 0, 512, kMediaFixed, kDiskSectors, 0,
         kSourceNoneDefined, 2, kTargetNoneDefined},
        // The layout query failed but sector 0 lists a partition: not empty,
        // so never offered as a target.
        {"used entry, layout query failed", one, 0, 512, kMediaFixed, kDiskSectors, 0,
         kSourceNoneDefined, 0, kTargetUsed},
        {"type 0 entry with sectors", make_mbr({mbr_slot{0, 2048, 100}, {}, {}, {}}), 4, 512,
         kMediaFixed, kDiskSectors, 2, kSourceUsable, 0, kTargetUsed},
        {"partition ending beyond the disk", make_mbr_one_partition(2048, 100000), 4, 512,
         kMediaFixed, 50000, 2, kSourceUsable, 0, kTargetUsed},
        {"partition past 2 TiB", make_mbr_one_partition(2048, kPast2TiB), 4, 512, kMediaFixed,
         (1LL << 32) + 1000, 2, kSourceUsable, 0, kTargetUsed},
        {"layout of two takes two entries", make_mbr({mbr_slot{}, {}, mbr_slot{7, 2048, 100}, {}}),
         2, 512, kMediaFixed, kDiskSectors, 1, kSourceNoneValid, 2, kTargetNoneUsed},
        {"4096-byte sectors", one, 4, 4096, kMediaFixed, kDiskSectors, 0, kSourceSectorSize, 0,
         kTargetSectorSize},
        {"1024-byte sectors, empty table", empty, 4, 1024, kMediaFixed, kDiskSectors, 0,
         kSourceSectorSize, 0, kTargetSectorSize},
        {"geometry query failed", one, 4, 0, kMediaUnknown, kDiskSectors, 0, kSourceSectorSize, 0,
         kTargetSectorSize},
        {"removable disk", one, 4, 512, kMediaRemovable, kDiskSectors, 2, kSourceUsable, 0,
         kTargetUsed},
        {"floppy media", one, 4, 512, 5, 2880, 0, kSourceMedia, 0, kTargetMedia},
        {"size query failed", one, 4, 512, kMediaFixed, 0, 2, kSourceUsable, 0, kTargetUsed},
        {"size query failed, empty table", empty, 4, 512, kMediaFixed, 0, 1, kSourceNoneValid, 2,
         kTargetNoneUsed},
    };
}

const char* mark_of(int verdict) {
    return verdict == 2 ? "○" : verdict == 1 ? "△" : "×";
}

TEST(DiskRules, SourceAndTargetVerdicts) {
    for (const auto& c : rule_cases()) {
        const disk_record r = record_of(c);
        const disk_verdict s = source_disk_verdict(r);
        const disk_verdict t = target_disk_verdict(r);
        EXPECT_EQ(static_cast<int>(s.verdict), c.source) << c.name;  // 0 ×, 1 △, 2 ○
        EXPECT_STREQ(s.message, c.source_message) << c.name;
        EXPECT_STREQ(s.mark, mark_of(c.source)) << c.name;
        EXPECT_EQ(static_cast<int>(t.verdict), c.target) << c.name;
        EXPECT_STREQ(t.message, c.target_message) << c.name;
        EXPECT_STREQ(t.mark, mark_of(c.target)) << c.name;
        EXPECT_NE(t.verdict, kVerdictWithReservation) << c.name;
        const bool gpt = std::string(c.name).find("GPT") != std::string::npos;
        EXPECT_EQ(s.hide_partition_sizes, gpt) << c.name;
        EXPECT_EQ(t.hide_partition_sizes, gpt) << c.name;
    }
}

TEST(DiskRules, WithoutSignatureThePartitionFieldsAreCleared) {
    disk_record r;
    r.partition_count = 4;
    apply_sector0(r, make_mbr({mbr_slot{7, 63, 100}, mbr_slot{7, 200, 5}, {}, {}}, false).data());
    EXPECT_EQ(r.boot_signature_valid, 0);
    EXPECT_EQ(r.partition_count, 0);
    for (const auto sectors : r.partition_sectors) EXPECT_EQ(sectors, 0u);
    EXPECT_EQ(r.partitions_end, 0u);
}

TEST(DiskRules, GptFlagIsReadEvenWithoutTheSignature) {
    disk_record r;
    apply_sector0(r, make_mbr({mbr_slot{0xEE, 1, 100}, {}, {}, {}}, false).data());
    EXPECT_EQ(r.gpt, 1);
    EXPECT_EQ(r.boot_signature_valid, 0);
}

TEST(DiskRules, PartitionsEndIsKeptIn64Bits) {
    disk_record r;
    r.partition_count = 4;
    apply_sector0(r, make_mbr_one_partition(2048, kPast2TiB).data());
    EXPECT_EQ(r.partition_sectors[0], kPast2TiB);
    EXPECT_EQ(r.partitions_end, 1ULL << 32);
}

struct fields_case {
    const char* name;
    std::int64_t total_sectors;
    std::array<std::uint32_t, 4> partitions;
    int bytes_per_sector;
    std::uint8_t media;
    bool gpt;
    const char* size;
    std::array<const char*, 4> partition_texts;
    const char* sector_text;
};

TEST(DiskFields, SizesAreTruncatedDecimalMegabytes) {
    const fields_case cases[] = {
        {"500 GB disk",
         kDiskSectors,
         {1953, 2048, 0, 976771120},
         512,
         kMediaFixed,
         false,
         "500,107",
         {"0", "1", "0", "500,106"},
         "512"},
        {"2 TiB partition",
         (1LL << 32) + 2048,
         {kPast2TiB, 0, 0, 0},
         512,
         kMediaFixed,
         false,
         "2,199,024",
         {"2,199,022", "0", "0", "0"},
         "512"},
        {"size query failed",
         0,
         {100, 0, 0, 0},
         512,
         kMediaFixed,
         false,
         "0",
         {"0", "0", "0", "0"},
         "512"},
        {"4 KiB sectors",
         1000000,
         {0, 0, 0, 0},
         4096,
         kMediaRemovable,
         false,
         "512",
         {"0", "0", "0", "0"},
         "4,096"},
        {"GPT",
         kDiskSectors,
         {0xFFFFFFFFu, 0, 0, 0},
         512,
         kMediaFixed,
         true,
         "500,107",
         {"xxx,xxx,xxx", "xxx,xxx,xxx", "xxx,xxx,xxx", "xxx,xxx,xxx"},
         "512"},
    };
    for (const auto& c : cases) {
        disk_record r;
        r.number = 0;
        r.total_sectors = c.total_sectors;
        for (int i = 0; i < 4; ++i) r.partition_sectors[i] = c.partitions[i];
        r.bytes_per_sector = c.bytes_per_sector;
        r.media_type = c.media;
        r.boot_signature_valid = 1;
        r.partition_count = 4;
        r.gpt = c.gpt ? 1 : 0;
        const disk_field_texts t = format_disk_fields(r, source_disk_verdict(r));
        EXPECT_STREQ(t.size_mb, c.size) << c.name;
        for (int i = 0; i < 4; ++i) EXPECT_STREQ(t.partition_mb[i], c.partition_texts[i]) << c.name;
        EXPECT_STREQ(t.bytes_per_sector, c.sector_text) << c.name;
        EXPECT_STREQ(t.media_name, media_type_name(c.media)) << c.name;
    }
}

}  // namespace
}  // namespace kiroda
