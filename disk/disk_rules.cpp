#include "disk/disk_rules.h"

#include <cstring>

#include "disk/physical_disk.h"

namespace kiroda {

namespace {

constexpr const char* kMarkUsable = "○";
constexpr const char* kMarkReservation = "△";
constexpr const char* kMarkUnusable = "×";

bool is_fixed_or_removable(const disk_record& r) {
    return r.media_type == kMediaFixed || r.media_type == kMediaRemovable;
}

bool all_partitions_empty(const disk_record& r) {
    for (const std::uint64_t sectors : r.partition_sectors) {
        if (sectors != 0) return false;
    }
    return true;
}

disk_verdict make(int verdict, const char* message, bool hide = false) {
    const char* mark = verdict == kVerdictUsable            ? kMarkUsable
                       : verdict == kVerdictWithReservation ? kMarkReservation
                                                            : kMarkUnusable;
    return {verdict, mark, message, hide};
}

std::uint64_t megabytes(std::uint64_t sectors) {
    return sectors * kSectorBytes / 1000000u;
}

}  // namespace

disk_verdict source_disk_verdict(const disk_record& r) {
    if (r.boot_signature_valid != 1) {
        return make(kVerdictUnusable,
                    "元ディスクとして利用できません。\nディスクフラグが無効です。AA55 ");
    }
    if (r.bytes_per_sector != static_cast<int>(kSectorBytes)) {
        return make(kVerdictUnusable, "元ディスクとして利用出来ません。\nセクタサイズが無効です。");
    }
    if (!is_fixed_or_removable(r)) {
        return make(kVerdictUnusable,
                    "元ディスクとして利用できません。\n固定ディスクとリムーバブルディスク\n"
                    "のみ利用可能です。");
    }
    if (r.gpt == 1) {
        return make(kVerdictUnusable,
                    "元ディスクとして利用できません。\nＧＰＴには対応していません。", true);
    }
    if (r.partition_count < 1) {
        return make(kVerdictUnusable,
                    "元ディスクとして利用できません。\nパーテーションが定義されていません。");
    }
    if (all_partitions_empty(r)) {
        return make(kVerdictWithReservation,
                    "元ディスクとして利用できますが、\n有効パーテーションが見つかりません。");
    }
    return make(kVerdictUsable, "指定のディスクは、\n元ディスクとして利用可能です。");
}

disk_verdict target_disk_verdict(const disk_record& r) {
    constexpr const char* kNotFixedOrRemovable =
        "復旧先ディスクとして利用できません。\n固定ディスクとリムーバブルディスク\nのみ利用可能です"
        "。";
    if (r.boot_signature_valid != 1) {
        if (is_fixed_or_removable(r)) {
            return make(kVerdictUsable,
                        "復旧先ディスクとして利用可能です。\n未使用ディスクです。(xAA55)");
        }
        return make(kVerdictUnusable, kNotFixedOrRemovable);
    }
    if (r.bytes_per_sector != static_cast<int>(kSectorBytes)) {
        return make(kVerdictUnusable,
                    "復旧先ディスクとして利用出来ません。\nセクタサイズが無効です。");
    }
    if (!is_fixed_or_removable(r)) return make(kVerdictUnusable, kNotFixedOrRemovable);
    if (r.gpt == 1) {
        return make(kVerdictUnusable,
                    "復旧先ディスクとして利用できません。\nＧＰＴには対応していません。", true);
    }
    // A failed layout query leaves the count at 0 while sector 0 may still
    // list used entries; such a disk is not empty and must not be offered as
    // a target, so the entries decide before the count does.
    if (r.partition_count < 1 && all_partitions_empty(r)) {
        return make(kVerdictUsable,
                    "復旧先ディスクとして利用可能です。\nパーテーションは定義されていません。");
    }
    if (all_partitions_empty(r)) {
        return make(kVerdictUsable,
                    "復旧先ディスクとして利用可能です。\nパーテーションは利用されていません。");
    }
    return make(kVerdictUnusable,
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
