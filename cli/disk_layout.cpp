#include "cli/disk_layout.h"

#include <cstdio>

#include "cli/partition_library.h"
#include "cli/output.h"
#include "disk/partition_list.h"
#include "disk/physical_disk.h"

namespace kiroda::cli {

namespace {

constexpr std::uint64_t kUnit = 512;

struct opened_disk {
    disk_handle handle;
    std::uint64_t bytes = 0;
    std::uint32_t sector_bytes = 0;
};

opened_disk open_for_layout(int number) {
    opened_disk d;
    d.handle = open_physical_disk(number, disk_mode::read);
    if (!d.handle.valid()) return d;
    const std::int64_t size = get_disk_size_bytes(d.handle);
    const int sector = get_bytes_per_sector(d.handle);
    if (size > 0 && sector > 0) {
        d.bytes = static_cast<std::uint64_t>(size);
        d.sector_bytes = static_cast<std::uint32_t>(sector);
    }
    return d;
}

sector_source reader_of(const disk_handle& disk) {
    return [&disk](std::uint64_t sector, unsigned char* bytes) {
        return seek_sector(disk, sector) && read_sectors(disk, 1, bytes);
    };
}

const char* state_word(gpt_state state) {
    switch (state) {
        case gpt_state::none:
            return "none";
        case gpt_state::valid:
            return "valid";
        case gpt_state::primary_damaged:
            return "primary-damaged";
        case gpt_state::backup_damaged:
            return "backup-damaged";
        case gpt_state::headers_disagree:
            return "headers-disagree";
        case gpt_state::both_damaged:
            return "damaged";
        case gpt_state::hybrid_mbr:
            return "hybrid-mbr";
    }
    return "damaged";
}

// An MBR counts the disk's own sectors, and each of its records is the
// first 512 bytes of one.
void record_mbr(const opened_disk& d, source_disk* disk) {
    const std::uint64_t units = d.sector_bytes / kUnit;
    const partition_list list =
        list_partitions(d.bytes / d.sector_bytes, [&](std::uint64_t lba, unsigned char* bytes) {
            return seek_sector(d.handle, lba * units) && read_sectors(d.handle, 1, bytes);
        });
    disk->table = list.partitions.empty() && list.past_end.empty() ? "none" : "mbr";
    for (const disk_partition& p : list.partitions) {
        char type[8];
        std::snprintf(type, sizeof type, "0x%02x", unsigned{p.type});
        disk->partitions.push_back({p.number, p.first_sector, p.end_sector() - 1, type, ""});
    }
}

}  // namespace

gpt_layout read_disk_gpt(int number) {
    const opened_disk d = open_for_layout(number);
    if (d.bytes == 0) return {};
    return read_gpt_layout(d.bytes, d.sector_bytes, reader_of(d.handle));
}

const char* gpt_state_sentence(gpt_state state) {
    switch (state) {
        case gpt_state::none:
            return "GPT ではありません。";
        case gpt_state::valid:
            return "GPT: 主ヘッダ・予備ヘッダとパーテーション表はすべて正常で、一致しています。";
        case gpt_state::primary_damaged:
            return "GPT の主ヘッダかそのパーテーション表が壊れています (予備ヘッダは正常)。";
        case gpt_state::backup_damaged:
            return "GPT の予備ヘッダかそのパーテーション表が壊れているか、主ヘッダの示す位置にありません。";
        case gpt_state::headers_disagree:
            return "GPT の主ヘッダと予備ヘッダの内容が一致しません。";
        case gpt_state::both_damaged:
            return "GPT の主ヘッダも予備ヘッダも壊れています。";
        case gpt_state::hybrid_mbr:
            return "GPT に加えて MBR にもパーテーションがあります (ハイブリッド MBR)。";
    }
    return "";
}

std::string gpt_type_text(const gpt_entry& entry) {
    const std::string guid = format_guid(entry.type_guid);
    const std::string name = gpt_type_name(guid);
    return name.empty() ? guid : name;
}

void record_layout(int number, source_disk* disk) {
    const opened_disk d = open_for_layout(number);
    if (d.bytes == 0) return;
    disk->sector_size = d.sector_bytes;
    const gpt_layout gpt = read_gpt_layout(d.bytes, d.sector_bytes, reader_of(d.handle));
    if (gpt.state == gpt_state::none) {
        record_mbr(d, disk);
        return;
    }
    disk->table = std::string("gpt ") + state_word(gpt.state);
    if (!gpt.readable()) return;
    disk->disk_guid = format_guid(gpt.header.disk_guid);
    for (const gpt_entry& e : gpt.entries)
        disk->partitions.push_back(
            {e.number, e.first_lba, e.last_lba, format_guid(e.type_guid), e.name});
}

std::uint32_t set_sector_bytes(const std::string& folder) {
    source_disk made_from;
    return read_source_disk(folder.c_str(), &made_from) == source_disk_read::read
               ? made_from.logical_sector_bytes()
               : 512;
}

bool sector_sizes_match(std::uint32_t set_bytes, int disk_sector_bytes, const std::string& path,
                        std::FILE* err) {
    if (disk_sector_bytes == static_cast<int>(set_bytes)) return true;
    print_message(
        err,
        "%s の論理セクタサイズは %d バイトですが、バックアップデータは %u バイトセクタの"
        "ディスクのものです。パーテーション表とファイルシステムは元のディスクのセクタ単位で"
        "位置を数えているため、このディスクでは起動できず、パーテーションも正しく読めません。"
        "何も書き込んでいません。",
        path.c_str(), disk_sector_bytes, set_bytes);
    return false;
}

}  // namespace kiroda::cli
