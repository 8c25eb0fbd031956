#include "cli/command.h"
#include "cli/engine_run.h"
#include "cli/set_commands.h"
#include "cli/terminal_messages.h"
#include "engine/verify_engine.h"
#include "format/header_file.h"
#include "util/number_format.h"

namespace kiroda::cli {

int run_verify_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    if (args.size() != 1) {
        std::fputs("使い方: krdtool verify SETDIR\n", err);
        return kExitUsage;
    }
    const std::string& folder = args[0];
    backup_header header{};
    {
        terminal_messages messages(err, err == stderr && terminal_can_ask());
        if (read_header_file(nullptr, folder.c_str(), &header) != header_read::read) return kExitFailed;
        if (confirm_header_version(nullptr, header) != kIdOk) return kExitFailed;
    }
    const engine_outcome outcome = run_engine(err, header.backup_bytes, [&](progress& p) {
        return verify_backup_set(p, folder.c_str(), header.backup_bytes);
    });
    if (outcome.exit_status != kExitDone) return outcome.exit_status;
    char bytes[kGroupedTextSize];
    format_uint64_grouped(bytes, header.backup_bytes);
    std::fprintf(out, "テスト完了: %s バイトのデータをすべて読み込み、検査しました (%.1f MB/s)\n", bytes,
                 static_cast<double>(header.backup_bytes) / 1e6 / (outcome.seconds > 0 ? outcome.seconds : 1e-9));
    return kExitDone;
}

}  // namespace kiroda::cli
