#include "cli/bad_sector_report.h"
#include "cli/command.h"
#include "cli/disk_paths.h"
#include "cli/disk_layout.h"
#include "cli/gpt_mend.h"
#include "cli/options.h"
#include "cli/output.h"
#include "disk/disk_registry.h"
#include "disk/physical_disk.h"
#include "cli/engine_run.h"
#include "cli/json_writer.h"
#include "cli/terminal_progress.h"
#include "cli/set_commands.h"
#include "cli/terminal_messages.h"
#include "cli/used_only_backup.h"
#include "cli/used_only_backup.h"
#include "engine/verify_engine.h"
#include "engine/header_file.h"
#include "ui/translation.h"
#include "util/number_format.h"

namespace kiroda::cli {

namespace {

// The disk to compare with: of the set's logical sector size, and, where it
// is not the set's size, holding a GPT as a restore mends it (those sectors
// are expected to differ, exactly as the restore writes them). kExitDone
// when the comparison may go ahead.
int prepare_comparison(const std::string& folder, const std::string& path,
                       std::uint64_t backup_bytes, verify_options* verify, std::FILE* err) {
    const disk_handle disk = open_physical_disk(kCompareDiskNumber, disk_mode::read);
    const int sector_bytes = get_bytes_per_sector(disk);
    const std::int64_t disk_bytes = get_disk_size_bytes(disk);
    if (sector_bytes <= 0 || disk_bytes <= 0) return kExitDone;  // the engine names it
    const std::uint32_t set_bytes = set_sector_bytes(folder);
    if (!sector_sizes_match(set_bytes, sector_bytes, path, err)) return kExitFailed;
    const auto target = static_cast<std::uint64_t>(disk_bytes) / set_bytes * set_bytes;
    if (target == backup_bytes || (target < backup_bytes && !verify->against_fit)) return kExitDone;
    set_image image(folder, backup_bytes, 1);
    silent_progress quiet;
    restore_options mended;
    std::string why;
    if (!image.open(quiet) ||
        plan_gpt_mend(image, set_bytes, target, &mended, &why) != gpt_mend_result::planned)
        return kExitDone;
    verify->expected = mended.last_tail;
    if (!mended.last_head.empty()) verify->expected.push_back({0, mended.last_head});
    verify->replaced = mended.replaced;
    return kExitDone;
}

// What the comparison found equal: the whole set, or, --fit against a
// smaller disk, the `compared` bytes the disk reaches.
void report_comparison(const char* against, std::uint64_t backup_bytes, std::int64_t compared,
                       const verify_options& verify, std::FILE* out) {
    if (compared < 0 || static_cast<std::uint64_t>(compared) >= backup_bytes) {
        char bytes[kGroupedTextSize];
        format_uint64_grouped(bytes, backup_bytes);
        print(out, "比較完了: バックアップデータと %s の %s バイトは同じです\n", against, bytes);
        return;
    }
    char same[kGroupedTextSize];
    format_int64_grouped(same, compared);
    print(out,
          verify.replaced.empty()
              ? localized("比較完了: バックアップデータと %s の %s バイトは同じです"
                          " (その後ろのバックアップデータはすべて 0 です)\n")
              : localized("比較完了: バックアップデータと %s の %s バイトは、GPT を"
                          "直した所のほかは同じです (その後ろのバックアップデータは、"
                          "移した GPT の予備のほかはすべて 0 です)\n"),
          against, same);
}

// The summary of a finished data test: lines, or with --json an object.
// `compared`: the bytes compared with --against (-1: none).
void report_verify(const std::string& folder, const char* against, std::uint64_t bytes,
                   std::int64_t compared, const verify_options& verify, double seconds, bool json,
                   std::FILE* out) {
    if (json) {
        json_writer j(out);
        j.begin_object();
        j.text("result", "done");
        j.number("bytes", bytes);
        if (against != nullptr) {
            j.text("against", against);
            j.signed_number("compared_bytes", compared);
        }
        j.number("milliseconds", static_cast<std::uint64_t>(seconds * 1000));
        j.end_object();
        return;
    }
    if (against != nullptr) report_comparison(against, bytes, compared, verify, out);
    report_bad_sectors(folder, out, "");
    char text[kGroupedTextSize];
    format_uint64_grouped(text, bytes);
    print(out, "テスト完了: %s バイトのデータをすべて読み込み、検査しました (%.1f MB/s、経過 %s)\n",
          text, static_cast<double>(bytes) / 1e6 / (seconds > 0 ? seconds : 1e-9),
          clock_text(seconds).c_str());
}

// The set's header, its version agreed to. False after a message.
bool read_verified_header(const std::string& folder, bool yes, std::FILE* err,
                          backup_header* header) {
    terminal_messages messages(err, answers_for(err, yes));
    return read_header_file(nullptr, folder.c_str(), header) == header_read::read &&
           confirm_header_version(nullptr, *header) == kIdOk;
}

}  // namespace

namespace {

int verify_set(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const parsed_options options =
        parse_options(args, {"--fit", "--yes", "--quiet", "--json", "--progress=json"},
                      {"--against"}, {"SETDIR"});
    // --fit is a way of comparing: alone it would be taken and do nothing.
    const bool fit_alone = options.has("--fit") && options.values.count("--against") == 0;
    if (!options.error.empty() || options.operands.size() != 1 || fit_alone) {
        if (!options.error.empty()) print(err, "krdtool verify: %s\n", options.error.c_str());
        if (fit_alone) print(err, "krdtool verify: --fit は --against と一緒に使います\n");
        print(err,
              "使い方: krdtool verify [--against DISK [--fit]] [--json] [--progress=json] [-q] "
              "[-y] SETDIR\n");
        return kExitUsage;
    }
    const std::string& folder = options.operands[0];
    verify_options verify;
    verify.threads = worker_threads_from_environment();
    const auto against = options.values.find("--against");
    const disk_paths_scope disks;
    if (against != options.values.end()) {
        disks.add(kCompareDiskNumber, against->second);
        verify.against_disk = kCompareDiskNumber;
        verify.against_fit = options.has("--fit");
    }
    backup_header header{};
    if (!read_verified_header(folder, options.has("--yes"), err, &header)) return kExitFailed;
    if (against != options.values.end()) {
        const int status =
            prepare_comparison(folder, against->second, header.backup_bytes, &verify, err);
        if (status != kExitDone) return status;
    }
    std::vector<sector_run> unused;  // of a used-only set: not compared
    // Its note goes to standard error when standard output carries JSON.
    if (verify.against_disk != kNoDisk &&
        !used_only_not_compared(folder, header.backup_bytes, &unused,
                                options.has("--json") ? err : out, err))
        return kExitFailed;
    if (!unused.empty()) verify.not_compared = &unused;
    const run_display display{options.has("--quiet"), options.has("--progress=json"), 0};
    const engine_outcome outcome = run_engine(
        err, header.backup_bytes, options.has("--yes"),
        [&](progress& p) {
            return verify_backup_set(p, folder.c_str(), header.backup_bytes, verify);
        },
        display);
    if (outcome.exit_status != kExitDone) return outcome.exit_status;
    // --fit against a smaller disk: what was compared is the disk's size.
    std::int64_t compared = static_cast<std::int64_t>(header.backup_bytes);
    if (verify.against_fit) {
        const std::int64_t disk_bytes =
            get_disk_size_bytes(open_physical_disk(kCompareDiskNumber, disk_mode::read));
        if (disk_bytes >= 0 && disk_bytes / 512 * 512 < compared) compared = disk_bytes / 512 * 512;
    }
    report_verify(folder, against != options.values.end() ? against->second.c_str() : nullptr,
                  header.backup_bytes, compared, verify, outcome.seconds, options.has("--json"),
                  out);
    return kExitDone;
}

}  // namespace

int run_verify_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    bool json = false;
    for (const std::string& arg : args) {
        if (arg == "--") break;
        json = json || arg == "--json";
    }
    return with_json_outcome(json, verify_set(args, out, err), out);
}

}  // namespace kiroda::cli
