#include "disk/disk_rules.h"

#include <cstring>

#include "disk/physical_disk.h"

namespace kiroda {

namespace {

constexpr const char* kMarkUsable = "○";
constexpr const char* kMarkReservation = "△";
constexpr const char* kMarkUnusable = "×";

// What the rules ask of a record, as plain answers: the survey keeps its
// flags as 0/1 ints, read here once.
struct disk_facts {
    bool boot_signature;  // sector 0 ends in AA55
    bool gpt;             // the first entry is a GPT's protective one
    bool sector_512;
    bool fixed_or_removable;
    bool no_partition_defined;  // the layout query counts none
    bool all_partitions_empty;  // every MBR entry has 0 sectors
};

disk_facts facts_of(const disk_record& r) {
    disk_facts f{};
    f.boot_signature = r.boot_signature_valid == 1;
    f.gpt = r.gpt == 1;
    f.sector_512 = r.bytes_per_sector == static_cast<int>(kSectorBytes);
    f.fixed_or_removable = r.media_type == kMediaFixed || r.media_type == kMediaRemovable;
    f.no_partition_defined = r.partition_count < 1;
    f.all_partitions_empty = true;
    for (const std::uint64_t sectors : r.partition_sectors) {
        if (sectors != 0) f.all_partitions_empty = false;
    }
    return f;
}

disk_verdict make(disk_usability verdict, const char* message, bool hide = false) {
    const char* mark = verdict == disk_usability::usable             ? kMarkUsable
                       : verdict == disk_usability::with_reservation ? kMarkReservation
                                                                     : kMarkUnusable;
    return {verdict, mark, message, hide};
}

std::uint64_t megabytes(std::uint64_t sectors) {
    return sectors * kSectorBytes / 1000000u;
}

}  // namespace

disk_verdict source_disk_verdict(const disk_record& r) {
    const disk_facts f = facts_of(r);
    if (!f.boot_signature) {
        return make(disk_usability::unusable,
                    "元ディスクとして利用できません。\nディスクフラグが無効です。AA55 ");
    }
    if (!f.sector_512) {
        return make(disk_usability::unusable,
                    "元ディスクとして利用出来ません。\nセクタサイズが無効です。");
    }
    if (!f.fixed_or_removable) {
        return make(disk_usability::unusable,
                    "元ディスクとして利用できません。\n固定ディスクとリムーバブルディスク\n"
                    "のみ利用可能です。");
    }
    if (f.gpt) {
        return make(disk_usability::unusable,
                    "元ディスクとして利用できません。\nＧＰＴには対応していません。", true);
    }
    if (f.no_partition_defined) {
        return make(disk_usability::unusable,
                    "元ディスクとして利用できません。\nパーテーションが定義されていません。");
    }
    if (f.all_partitions_empty) {
        return make(disk_usability::with_reservation,
                    "元ディスクとして利用できますが、\n有効パーテーションが見つかりません。");
    }
    return make(disk_usability::usable, "指定のディスクは、\n元ディスクとして利用可能です。");
}

disk_verdict target_disk_verdict(const disk_record& r) {
    const disk_facts f = facts_of(r);
    constexpr const char* kNotFixedOrRemovable =
        "復旧先ディスクとして利用できません。\n固定ディスクとリムーバブルディスク\nのみ利用可能です"
        "。";
    if (!f.boot_signature) {
        if (f.fixed_or_removable) {
            return make(disk_usability::usable,
                        "復旧先ディスクとして利用可能です。\n未使用ディスクです。(xAA55)");
        }
        return make(disk_usability::unusable, kNotFixedOrRemovable);
    }
    if (!f.sector_512) {
        return make(disk_usability::unusable,
                    "復旧先ディスクとして利用出来ません。\nセクタサイズが無効です。");
    }
    if (!f.fixed_or_removable) return make(disk_usability::unusable, kNotFixedOrRemovable);
    if (f.gpt) {
        return make(disk_usability::unusable,
                    "復旧先ディスクとして利用できません。\nＧＰＴには対応していません。", true);
    }
    // A failed layout query leaves the count at 0 while sector 0 may still
    // list used entries; such a disk is not empty and must not be offered as
    // a target, so the entries decide before the count does.
    if (f.no_partition_defined && f.all_partitions_empty) {
        return make(disk_usability::usable,
                    "復旧先ディスクとして利用可能です。\nパーテーションは定義されていません。");
    }
    if (f.all_partitions_empty) {
        return make(disk_usability::usable,
                    "復旧先ディスクとして利用可能です。\nパーテーションは利用されていません。");
    }
    return make(disk_usability::unusable,
                "復旧先ディスクとして利用できません。\nパーテーションが利用されています。");
}

disk_field_texts format_disk_fields(const disk_record& r, const disk_verdict& verdict) {
    disk_field_texts t{};
    const std::uint64_t total =
        r.total_sectors > 0 ? static_cast<std::uint64_t>(r.total_sectors) : 0;
    format_uint64_grouped(t.size_mb, megabytes(total));
    for (int i = 0; i < 4; ++i) {
        if (verdict.hide_partition_sizes) {
            std::strcpy(t.partition_mb[i], kHiddenPartitionSize);
        } else {
            format_uint64_grouped(t.partition_mb[i], megabytes(r.partition_sectors[i]));
        }
    }
    format_int64_grouped(t.bytes_per_sector, r.bytes_per_sector);
    t.media_name = media_type_name(r.media_type);
    return t;
}

}  // namespace kiroda
