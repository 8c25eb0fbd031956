#include "cli/disks_command.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "cli/command.h"
#include "cli/disk_paths.h"
#include "cli/disk_layout.h"
#include "cli/gpt_report.h"
#include "cli/json_writer.h"
#include "cli/own_words.h"
#include "cli/source_record.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/target_guard.h"
#include "disk/block_devices_posix.h"
#include "disk/disk_registry.h"
#include "disk/disk_rules.h"
#include "disk/physical_disk.h"
#include "engine/restore_target.h"
#include "ui/translation.h"
#include "util/number_format.h"

namespace kiroda::cli {

namespace {

constexpr const char* kUsage = "使い方: krdtool disks [--json] [PATH...]\n";

// The dialog's mark as a word that says what it means.
const char* verdict_word(disk_usability verdict) {
    return verdict == kVerdictUsable            ? "使用可"
           : verdict == kVerdictWithReservation ? "使用可 (注意あり)"
                                                : "使用不可";
}

// A verdict line: the word, then the sentence.
void print_verdict(std::FILE* out, const char* label, const disk_verdict& v) {
    print(out, "  %s %s - %s\n", localized(label), localized(verdict_word(v.verdict)),
          own_verdict_words(v.message).c_str());
}

// The restore's own verdict (engine/restore_target.h, judged for one sector:
// no set is named) in the words of the dialog's rule, which speaks first
// for a disk it refuses; what is left are the restore's own reasons.
disk_verdict refused_target(const target_check& check) {
    switch (check.verdict) {
        case target_verdict::ok:
            break;
        case target_verdict::cannot_open:
        case target_verdict::cannot_seek:
        case target_verdict::cannot_read:
            break;
        case target_verdict::bad_sector_size:
            return {kVerdictUnusable, "×",
                    "復旧先ディスクとして利用出来ません。\nセクタサイズが無効です。", false};
        case target_verdict::bad_media:
            return {kVerdictUnusable, "×",
                    "復旧先ディスクとして利用できません。\n固定ディスクとリムーバブルディスク\n"
                    "のみ利用可能です。",
                    false};
        case target_verdict::too_small:
            return {kVerdictUnusable, "×",
                    "復旧先ディスクとして利用できません。\n容量がありません。", false};
        case target_verdict::has_partitions:
            return {kVerdictUnusable, "×",
                    "復旧先ディスクとして利用できません。\nパーテーションが利用されています。",
                    false};
    }
    return {kVerdictUnusable, "×", "復旧先ディスクとして利用できません。\n先頭セクタを読めません。",
            false};
}

// The wizard's rules judge a disk of 4,096-byte sectors as one of 512:
// krdtool takes both, restoring each only onto its like.
disk_record as_512_byte_sectors(disk_record r) {
    if (r.bytes_per_sector == 4096) r.bytes_per_sector = 512;
    return r;
}

// The verdict shown is the one restore will act on: its checks, then what
// only krdtool asks (without --force): no file system written straight onto
// the disk, an image file with nothing but zeros.
disk_verdict restore_target_verdict(const disk_record& r, const std::string& path,
                                    const target_check& check) {
    if (r.sector0_unreadable) return refused_target(target_check{});
    const disk_verdict dialog = target_disk_verdict(as_512_byte_sectors(r));
    // A used disk is written over on purpose only, but it can be.
    if (check.verdict == target_verdict::has_partitions) {
        return {kVerdictWithReservation, "△",
                "復旧先にできますが、パーテーションがあります (--force で上書き)", false};
    }
    if (r.gpt != 0) return gpt_target_verdict();
    if (!dialog.usable()) return dialog;
    if (!check.may_write()) return refused_target(check);
    if (check.needs_consent()) {
        static thread_local std::string text;
        char line[256];
        std::snprintf(
            line, sizeof line,
            localized(
                "復旧先ディスクとして利用できますが、\n先頭に %s があります。(--force で上書き)"),
            check.file_system);
        text = line;
        return {kVerdictWithReservation, "△", text.c_str(), false};
    }
    // An image file is restored over only when it holds nothing but zeros.
    struct stat st {};
    int reason = 0;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        switch (scan_file(path, &reason)) {
            case file_contents::zeros:
                break;
            case file_contents::data:
                return {kVerdictWithReservation, "△",
                        "復旧先ディスクとして利用できますが、\nイメージファイルにデータがあります。"
                        "(--force で上書き)",
                        false};
            case file_contents::unreadable:
                return {kVerdictUnusable, "×",
                        "復旧先ディスクとして利用できません。\nイメージファイルを読めません。",
                        false};
        }
    }
    return dialog;
}

// The wizard's source rule, but a sector 0 that cannot be read is named as
// such, not as a disk without a signature, and a GPT is krdtool's to judge.
disk_verdict source_verdict(const disk_record& r, const gpt_layout& gpt) {
    if (r.sector0_unreadable) {
        return {kVerdictUnusable, "×", "元ディスクとして利用できません。\n先頭セクタを読めません。",
                false};
    }
    if (gpt.state != gpt_state::none) return gpt_source_verdict(gpt);
    return source_disk_verdict(as_512_byte_sectors(r));
}

// The partition entries count the disk's own sectors; the wizard's fields
// count 512 bytes a sector, so a 4,096-byte-sector disk's are scaled.
disk_record in_512_byte_units(disk_record r) {
    if (r.bytes_per_sector > 512 && r.bytes_per_sector % 512 == 0) {
        for (std::uint64_t& sectors : r.partition_sectors)
            sectors *= static_cast<std::uint64_t>(r.bytes_per_sector / 512);
    }
    return r;
}

}  // namespace

disk_identity identity_of(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {};
    const unsigned maj = major(st.st_rdev), min = minor(st.st_rdev);
    return read_disk_identity(sysfs_device_dir(maj, min),
                              "/run/udev/data/b" + std::to_string(maj) + ":" + std::to_string(min));
}

std::string describe_identity(const disk_identity& id) {
    std::string name = id.vendor;
    // A model often begins with its maker's name already.
    if (!id.model.empty())
        name = id.model.rfind(id.vendor, 0) == 0 ? id.model : name + " " + id.model;
    if (!name.empty() && name.front() == ' ') name.erase(0, 1);
    if (!id.serial.empty()) {
        char serial[160];
        std::snprintf(serial, sizeof serial, localized("(シリアル番号 %s)"), id.serial.c_str());
        name += (name.empty() ? "" : " ") + std::string(serial);
    }
    if (!id.transport.empty()) name += (name.empty() ? "" : ", ") + id.transport;
    if (id.removable == 1) name += localized(", 取り外し可能");
    return name;
}

void print_disk_report(const disk_record& r, const std::string& path, std::FILE* out,
                       const target_check& as_target) {
    const gpt_layout gpt = read_disk_gpt(r.number);
    const disk_verdict source = source_verdict(r, gpt);
    const disk_verdict target = restore_target_verdict(r, path, as_target);
    // The partition sizes are shown as the source dialog shows them; both
    // verdicts hide them alike (a GPT disk).
    const disk_field_texts f = format_disk_fields(in_512_byte_units(r), source);
    // In the device's own sectors (a 4,096-byte-sector disk has an eighth as
    // many as its size / 512).
    char sectors[kGroupedTextSize];
    format_int64_grouped(sectors, r.bytes_per_sector > 0
                                      ? r.total_sectors * 512 / r.bytes_per_sector
                                      : r.total_sectors);

    print(out, "ディスク: %s\n", path.c_str());
    if (const std::string who = describe_identity(identity_of(path)); !who.empty())
        print(out, "  機種: %s\n", who.c_str());
    print(out, "  サイズ: %s MB (%s セクタ)\n", f.size_mb, sectors);
    print(out, "  セクタサイズ: %s バイト\n", f.bytes_per_sector);
    print(out, "  メディア: %s\n", localized(f.media_name));
    if (gpt.state != gpt_state::none) {
        print_gpt_entries(gpt, out);
    } else {
        print(out, "  パーテーション (MB): 1: %s  2: %s  3: %s  4: %s\n", f.partition_mb[0],
              f.partition_mb[1], f.partition_mb[2], f.partition_mb[3]);
    }
    if (r.total_sectors > 0 && r.partitions_end > static_cast<std::uint64_t>(r.total_sectors)) {
        char end[kGroupedTextSize];
        format_uint64_grouped(end, r.partitions_end);
        print(out, "  注意: パーテーションがディスクの終わりを越えています (%s セクタまで)。\n",
              end);
    }
    print_verdict(out, "元ディスク:", source);
    print_verdict(out, "復旧先ディスク:", target);
}

namespace {

const char* verdict_name(disk_usability verdict) {
    return verdict == kVerdictUsable            ? "usable"
           : verdict == kVerdictWithReservation ? "reservation"
                                                : "unusable";
}

void write_verdict_json(json_writer& json, const char* key, const disk_verdict& v) {
    json.begin_object(key);
    json.text("verdict", verdict_name(v.verdict));
    json.text("message", own_verdict_words(v.message));
    json.end_object();
}

void write_disk_json(json_writer& json, const disk_record& r, const std::string& path,
                     const target_check& as_target) {
    const char* signature = as_target.file_system;
    json.begin_object();
    json.text("path", path);
    json.number("bytes", static_cast<std::uint64_t>(r.total_sectors) * 512);
    json.number("sector_size", static_cast<std::uint64_t>(r.bytes_per_sector));
    json.number("sectors", r.bytes_per_sector > 0
                               ? static_cast<std::uint64_t>(r.total_sectors) * 512 /
                                     static_cast<std::uint64_t>(r.bytes_per_sector)
                               : static_cast<std::uint64_t>(r.total_sectors));
    json.number("media_type", r.media_type);
    json.text("media", localized(media_type_name(r.media_type)));
    json.boolean("gpt", r.gpt != 0);
    const gpt_layout gpt = read_disk_gpt(r.number);
    write_gpt_json(json, gpt);
    json.begin_object("identity");
    write_identity_members(json, identity_of(path));
    json.end_object();
    json.begin_array("partition_bytes");
    for (const std::uint64_t sectors : in_512_byte_units(r).partition_sectors)
        json.number(nullptr, sectors * 512);
    json.end_array();
    if (signature != nullptr) {
        json.text("signature", signature);
    } else {
        json.null("signature");
    }
    write_verdict_json(json, "source", source_verdict(r, gpt));
    write_verdict_json(json, "target", restore_target_verdict(r, path, as_target));
    json.end_object();
}

}  // namespace

namespace {

// A disk that did not open, in the listing (and its JSON) with the
// system's reason, so one bad device hides none of the others.
void report_unopened(const std::string& path, int error, json_writer* json, std::FILE* out) {
    if (json != nullptr) {
        json->begin_object();
        json->text("path", path);
        json->text("error", std::strerror(error));
        json->end_object();
        return;
    }
    print(out, "ディスク: %s\n  開けません: %s\n", path.c_str(), std::strerror(error));
}

// Lists `paths`; true in `*listed` when one at least was surveyed, false
// from the result when one did not open.
bool list_disks(const std::vector<std::string>& paths, json_writer* json, std::FILE* out,
                bool* listed) {
    bool all = true;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (i > 0 && json == nullptr) std::fputc('\n', out);
        disk_record record;
        if (!survey_disk(static_cast<int>(i), &record)) {
            report_unopened(paths[i], errno, json, out);
            all = false;
            continue;
        }
        *listed = true;
        // A disk of 4,096-byte sectors takes the sets made of its like.
        const target_check as_target =
            check_restore_target(static_cast<int>(i), kSectorBytes, file_system_probe::look,
                                 record.bytes_per_sector == 4096 ? 4096 : 512);
        if (json != nullptr) {
            write_disk_json(*json, record, paths[i], as_target);
        } else {
            print_disk_report(record, paths[i], out, as_target);
        }
    }
    return all;
}

}  // namespace

int run_disks_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const parsed_options options = parse_options(args, {"--json"});
    if (!options.error.empty()) {
        print(err, "krdtool disks: %s\n%s", options.error.c_str(), localized(kUsage));
        return kExitUsage;
    }
    const bool named = !options.operands.empty();
    const std::vector<std::string> paths =
        named ? options.operands : list_block_devices("/sys/block", "/dev");
    if (paths.empty() && !options.has("--json")) {
        print(err, "krdtool disks: ディスクが見つかりません。\n");
        return kExitFailed;
    }
    clear_disk_paths();
    const disk_paths_scope disks;
    for (std::size_t i = 0; i < paths.size(); ++i) disks.add(static_cast<int>(i), paths[i]);
    std::optional<json_writer> json;
    if (options.has("--json")) {
        json.emplace(out);
        json->begin_object();
        json->begin_array("disks");
    }
    bool listed = false;
    const bool all = list_disks(paths, json ? &*json : nullptr, out, &listed);
    if (json) {
        json->end_array();
        json->end_object();
    }
    // A device named that does not open fails the command; of this
    // machine's disks, one that did not open is only shown as such.
    if (!all) print(err, "krdtool disks: 開けないディスクがあります (一覧を参照して下さい)\n");
    return all || (!named && listed) ? kExitDone : kExitFailed;
}

}  // namespace kiroda::cli
