#include "cli/used_only_backup.h"

#include <string>

#include "cli/output.h"
#include "cli/set_file_systems.h"
#include "cli/unused_blocks.h"
#include "disk/physical_disk.h"
#include "util/number_format.h"

namespace kiroda::cli {

namespace {

std::string numbers(const std::vector<int>& list) {
    std::string text;
    for (const int n : list) text += (text.empty() ? "" : ", ") + std::to_string(n);
    return text;
}

}  // namespace

bool plan_used_only(int number, std::uint64_t disk_bytes, std::uint64_t backup_sectors,
                    backup_options* backup, source_disk* record, std::FILE* out, std::FILE* err) {
    const int sector_bytes = get_bytes_per_sector(open_physical_disk(number, disk_mode::read));
    disk_file_systems disk(disk_bytes, disk_seam_reader(number, disk_bytes),
                           sector_bytes > 0 ? static_cast<std::uint32_t>(sector_bytes) : 512);
    if (!disk.valid()) {
        print_message(err, "ファイルシステムを読むライブラリ (libtsk) を使えません: %s",
                      partition_file_system::last_error().c_str());
        return false;
    }
    const unused_space space = find_unused_space(disk);
    if (disk.read_failures() != 0) {
        print_message(err,
                      "--used-only: 元ディスクのファイルシステムを読めませんでした。"
                      "--used-only なしでバックアップして下さい");
        return false;
    }
    backup->zero_runs = runs_within(space.runs, 0, backup_sectors);
    record->used_only = true;
    record->unused_sectors = 0;
    for (const sector_run& r : backup->zero_runs) record->unused_sectors += r.count;
    char sectors[kGroupedTextSize];
    format_uint64_grouped(sectors, record->unused_sectors);
    print(out, "--used-only: パーテーション %s の使われていないセクタ %s 個を 0 として保存します\n",
          space.partitions_read.empty() ? "-" : numbers(space.partitions_read).c_str(), sectors);
    if (!space.partitions_not_read.empty())
        print(
            out,
            "--used-only: パーテーション %s はファイルシステムを読めないため、すべてを保存します\n",
            numbers(space.partitions_not_read).c_str());
    return true;
}

bool used_only_not_compared(const std::string& folder, std::uint64_t backup_bytes,
                            std::vector<sector_run>* runs, std::FILE* out, std::FILE* err) {
    source_disk record;
    if (read_source_disk(folder.c_str(), &record) != source_disk_read::read || !record.used_only)
        return true;
    set_file_systems set;
    if (!set.open(folder, err)) return false;
    *runs = runs_within(find_unused_space(set.disk()).runs, 0, backup_bytes / 512);
    std::uint64_t sectors = 0;
    for (const sector_run& r : *runs) sectors += r.count;
    if (sectors != record.unused_sectors) {
        print_message(err,
                      "--used-only のバックアップデータの使われていないセクタが記録 (%s) と"
                      "合いません",
                      kSourceDiskFileName);
        return false;
    }
    char text[kGroupedTextSize];
    format_uint64_grouped(text, sectors);
    print(out,
          "--used-only のバックアップデータです: 0 として保存したセクタ %s 個はディスクと"
          "比べません\n",
          text);
    return true;
}

}  // namespace kiroda::cli
