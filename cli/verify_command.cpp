#include "cli/bad_sector_report.h"
#include "cli/command.h"
#include "cli/disk_paths.h"
#include "cli/options.h"
#include "cli/output.h"
#include "disk/disk_registry.h"
#include "disk/physical_disk.h"
#include "cli/engine_run.h"
#include "cli/set_commands.h"
#include "cli/terminal_messages.h"
#include "engine/verify_engine.h"
#include "engine/header_file.h"
#include "util/number_format.h"

namespace kiroda::cli {

int run_verify_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const parsed_options options = parse_options(args, {"--fit", "--yes"}, {"--against"});
    // --fit is a way of comparing: alone it would be taken and do nothing.
    const bool fit_alone = options.has("--fit") && options.values.count("--against") == 0;
    if (!options.error.empty() || options.operands.size() != 1 || fit_alone) {
        if (!options.error.empty()) print(err, "krdtool verify: %s\n", options.error.c_str());
        if (fit_alone) print(err, "krdtool verify: --fit は --against と一緒に使います\n");
        print(err, "使い方: krdtool verify [--against DISK [--fit]] [--yes] SETDIR\n");
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
    {
        terminal_messages messages(err, answers_for(err, options.has("--yes")));
        if (read_header_file(nullptr, folder.c_str(), &header) != header_read::read)
            return kExitFailed;
        if (confirm_header_version(nullptr, header) != kIdOk) return kExitFailed;
    }
    const engine_outcome outcome =
        run_engine(err, header.backup_bytes, options.has("--yes"), [&](progress& p) {
            return verify_backup_set(p, folder.c_str(), header.backup_bytes, verify);
        });
    // --fit against a smaller disk: what was compared is the disk's size.
    const std::int64_t disk_bytes =
        verify.against_fit
            ? get_disk_size_bytes(open_physical_disk(kCompareDiskNumber, disk_mode::read))
            : -1;
    if (outcome.exit_status != kExitDone) return outcome.exit_status;
    char bytes[kGroupedTextSize];
    format_uint64_grouped(bytes, header.backup_bytes);
    if (against != options.values.end()) {
        if (disk_bytes >= 0 && static_cast<std::uint64_t>(disk_bytes) < header.backup_bytes) {
            char compared[kGroupedTextSize];
            format_int64_grouped(compared, disk_bytes / 512 * 512);
            print(out,
                  "比較完了: バックアップデータと %s の %s バイトは同じです"
                  " (その後ろのバックアップデータはすべて 0 です)\n",
                  against->second.c_str(), compared);
        } else {
            print(out, "比較完了: バックアップデータと %s の %s バイトは同じです\n",
                  against->second.c_str(), bytes);
        }
    }
    report_bad_sectors(folder, out, "");
    print(out, "テスト完了: %s バイトのデータをすべて読み込み、検査しました (%.1f MB/s)\n", bytes,
          static_cast<double>(header.backup_bytes) / 1e6 /
              (outcome.seconds > 0 ? outcome.seconds : 1e-9));
    return kExitDone;
}

}  // namespace kiroda::cli
