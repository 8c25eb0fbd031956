#include "cli/set_view.h"

#include <cstring>

#include "cli/output.h"
#include "disk/mbr.h"
#include "disk/partition_list.h"
#include "engine/gpt_layout.h"
#include "ui/translation.h"
#include "util/number_format.h"

namespace kiroda::cli {

namespace {

constexpr std::uint64_t kSector = 512;

partition_list set_partitions(set_image& image, std::uint32_t sector_bytes) {
    return disk_partitions(image.size(), sector_bytes, [&](std::uint64_t sector, unsigned char* b) {
        return image.read(sector * kSector, kSector, b) == static_cast<std::int64_t>(kSector);
    });
}

// Why a disk with the partitions `list` found shows none (given sector 0,
// or nullptr when it does not read).
const char* why_no_partitions(const unsigned char* sector0, const partition_list& list) {
    if (sector0 == nullptr) return "セクタ 0 を読めません (それを含むブロックを読めません)";
    if (!has_boot_signature(sector0))
        return "パーテーションテーブルがありません (セクタ 0 に MBR の署名 0x55AA がありません)";
    if (is_gpt_protective(sector0))
        return "セクタ 0 は GPT の保護用エントリだけで、GPT からパーテーションを読めませんでした";
    if (list.chain_cut) return "論理パーテーションの連なりが切れていて、パーテーションが残りません";
    if (!list.past_end.empty()) return "どのパーテーションもディスクの終わりを越えています";
    if (mbr_partitions_end(sector0) == 0) return "MBR のエントリがすべて空です";
    return "MBR のエントリに中身のあるパーテーションがありません (拡張パーテーションだけか、種類が "
           "0 です)";
}

void warn_of_no_partitions(set_image& image, const partition_list& list, std::FILE* err) {
    unsigned char sector0[kSector];
    const bool read = image.read(0, kSector, sector0) == static_cast<std::int64_t>(kSector);
    print_message(
        err, "警告: パーテーションのイメージ (partN.img) はありません: %s。disk.img だけがあります",
        localized(why_no_partitions(read ? sector0 : nullptr, list)));
}

}  // namespace

// A GPT's entries where one can be read, otherwise the MBR's, whose entries
// and records count the disk's own sectors (each record the first 512 bytes
// of one).
partition_list disk_partitions(std::uint64_t disk_bytes, std::uint32_t sector_bytes,
                               const sector_source& read_512) {
    const gpt_layout gpt = read_gpt_layout(disk_bytes, sector_bytes, read_512);
    if (gpt.readable()) return gpt.as_partitions(disk_bytes);
    const std::uint64_t units = sector_bytes / kSector;
    partition_list list = list_partitions(
        disk_bytes / sector_bytes,
        [&](std::uint64_t lba, unsigned char* bytes) { return read_512(lba * units, bytes); });
    for (auto* partitions : {&list.partitions, &list.past_end}) {
        for (disk_partition& p : *partitions) {
            p.first_sector *= units;
            p.sector_count *= units;
        }
    }
    return list;
}

std::vector<view_file> view_files(set_image& image, std::FILE* err, std::uint32_t sector_bytes) {
    std::vector<view_file> files{{"disk.img", 0, image.size()}};
    const partition_list list = set_partitions(image, sector_bytes);
    for (const disk_partition& p : list.partitions) {
        files.push_back(view_file{"part" + std::to_string(p.number) + ".img",
                                  p.first_sector * kSector, p.sector_count * kSector});
    }
    char disk_end[kGroupedTextSize];
    format_uint64_grouped(disk_end, image.size() / kSector);
    for (const disk_partition& p : list.past_end) {
        char first[kGroupedTextSize], end[kGroupedTextSize];
        format_uint64_grouped(first, p.first_sector);
        format_uint64_grouped(end, p.end_sector());
        print_message(
            err,
            "警告: パーテーション %d (セクタ %s から %s の手前まで) はディスクの終わり (セクタ %s) "
            "を越えているため、part%d.img はありません",
            p.number, first, end, disk_end, p.number);
    }
    if (list.chain_cut) {
        print_message(err,
                      "警告: 拡張パーテーションの論理パーテーションの連なりが途中で切れています。"
                      "それより後の論理パーテーションはありません");
    }
    if (list.partitions.empty()) warn_of_no_partitions(image, list, err);
    return files;
}

const view_file* find_view_file(const std::vector<view_file>& files, const char* name) {
    for (const view_file& f : files) {
        if (std::strcmp(f.name.c_str(), name) == 0) return &f;
    }
    return nullptr;
}

}  // namespace kiroda::cli
