#include "cli/disks_command.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "cli/command.h"
#include "disk/block_devices_posix.h"
#include "disk/disk_registry.h"
#include "disk/disk_rules.h"
#include "engine/restore_target.h"
#include "util/number_format.h"

namespace kiroda::cli {

namespace {

constexpr const char* kUsage = "使い方: krdtool disks [PATH...]\n";

// A verdict line: the mark, then the message, its further lines indented.
void print_verdict(std::FILE* out, const char* label, const disk_verdict& v) {
    std::fprintf(out, "  %s %s ", label, v.mark);
    for (const char* p = v.message; *p; ++p) {
        if (*p == '\n') {
            std::fputs("\n      ", out);
        } else {
            std::fputc(*p, out);
        }
    }
    std::fputc('\n', out);
}

// The wizard's target rule offers any disk without an MBR signature; restore
// itself also wants 512-byte sectors, some size, and (in krdtool, without
// --force) no file system written straight onto the disk. The verdict shown
// is the one restore will act on.
disk_verdict restore_target_verdict(const disk_record& r, const char* signature) {
    disk_verdict v = target_disk_verdict(r);
    if (v.verdict == kVerdictUnusable) return v;
    if (r.bytes_per_sector != 512) {
        return {kVerdictUnusable, "×", "復旧先ディスクとして利用出来ません。\nセクタサイズが無効です。", false};
    }
    if (r.total_sectors <= 0) {
        return {kVerdictUnusable, "×", "復旧先ディスクとして利用できません。\n容量がありません。", false};
    }
    if (signature != nullptr) {
        static thread_local std::string text;
        text = std::string("復旧先ディスクとして利用できますが、\n先頭に ") + signature +
               " があります。(--force で上書き)";
        return {kVerdictWithReservation, "△", text.c_str(), false};
    }
    return v;
}

}  // namespace

void print_disk_report(const disk_record& r, const std::string& path, std::FILE* out, const char* signature) {
    const disk_verdict source = source_disk_verdict(r);
    const disk_verdict target = restore_target_verdict(r, signature);
    // The partition sizes are shown as the source dialog shows them; both
    // verdicts hide them alike (a GPT disk).
    const disk_field_texts f = format_disk_fields(r, source);
    // In the device's own sectors (a 4,096-byte-sector disk has an eighth as
    // many as its size / 512).
    char sectors[kGroupedTextSize];
    format_int64_grouped(sectors, r.bytes_per_sector > 0 ? r.total_sectors * 512 / r.bytes_per_sector
                                                         : r.total_sectors);

    std::fprintf(out, "ディスク %d: %s\n", r.number, path.c_str());
    std::fprintf(out, "  サイズ: %s MB (%s セクタ)\n", f.size_mb, sectors);
    std::fprintf(out, "  セクタサイズ: %s バイト\n", f.bytes_per_sector);
    std::fprintf(out, "  メディア: %s\n", f.media_name);
    std::fprintf(out, "  パーテーション (MB): 1: %s  2: %s  3: %s  4: %s\n", f.partition_mb[0],
                 f.partition_mb[1], f.partition_mb[2], f.partition_mb[3]);
    if (r.total_sectors > 0 && r.partitions_end > static_cast<std::uint64_t>(r.total_sectors)) {
        char end[kGroupedTextSize];
        format_uint64_grouped(end, r.partitions_end);
        std::fprintf(
            out, "  注意: パーテーションがディスクの終わりを越えています (%s セクタまで)。\n", end);
    }
    print_verdict(out, "元ディスク:", source);
    print_verdict(out, "復旧先ディスク:", target);
}

int run_disks_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    for (const std::string& a : args) {
        if (a.size() > 1 && a[0] == '-') {
            std::fprintf(err, "krdtool disks: 不明なオプションです: %s\n%s", a.c_str(), kUsage);
            return kExitUsage;
        }
    }
    const std::vector<std::string> paths =
        args.empty() ? list_block_devices("/sys/block", "/dev") : args;
    if (paths.empty()) {
        std::fputs("krdtool disks: ディスクが見つかりません。\n", err);
        return kExitFailed;
    }

    clear_disk_paths();
    for (std::size_t i = 0; i < paths.size(); ++i)
        register_disk_path(static_cast<int>(i), paths[i]);
    int status = kExitDone;
    bool printed = false;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        disk_record record;
        if (!survey_disk(static_cast<int>(i), &record)) {
            const int error = errno;
            std::fprintf(err, "krdtool disks: %s を開けません: %s\n", paths[i].c_str(),
                         std::strerror(error));
            status = kExitFailed;
            continue;
        }
        if (printed) std::fputc('\n', out);
        print_disk_report(record, paths[i], out, find_target_signature(static_cast<int>(i)));
        printed = true;
    }
    clear_disk_paths();
    return status;
}

}  // namespace kiroda::cli
