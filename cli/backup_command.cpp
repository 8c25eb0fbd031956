#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli/bad_sector_report.h"
#include "cli/command.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/source_checks.h"
#include "cli/device_of_folder.h"
#include "cli/engine_run.h"
#include "cli/folder_lock.h"
#include "cli/set_commands.h"
#include "disk/disk_registry.h"
#include "disk/disk_survey.h"
#include "disk/physical_disk.h"
#include "engine/backup_engine.h"
#include "engine/data_file.h"
#include "ui/translation.h"
#include "util/free_space.h"
#include "util/number_format.h"
#include "util/path.h"
#include "util/path_query.h"
#include "util/side_file.h"
#include "util/system_error.h"

namespace kiroda::cli {

namespace {

namespace fs = std::filesystem;

// Copies KIRODA.EXE into the set when it stands beside krdtool, so the set
// can be restored with the wizard from the medium that holds it. As a side
// file: committed under a temporary name and renamed, so a copy cut short
// never stands as the program.
void copy_program(const std::string& folder, std::FILE* err) {
    std::error_code error;
    // A resumed set keeps the copy its first run made.
    if (fs::exists(fs::path(folder) / "KIRODA.EXE", error)) return;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return;
    std::string program;
    constexpr std::size_t kProgramLimit = std::size_t{64} << 20;
    const side_file_read read =
        read_side_file(self.parent_path().c_str(), "KIRODA.EXE", kProgramLimit, &program);
    if (read == side_file_read::absent) return;
    if (read != side_file_read::read ||
        !write_side_file(folder.c_str(), "KIRODA.TMP", "KIRODA.EXE", program)) {
        const int reason = take_system_error();
        say(err, "プログラム(KIRODA.EXE)をバックアップ先にコピーできませんでした: %s",
            reason != 0 ? std::strerror(reason) : folder.c_str());
    }
}

// The checks the wizard's backup flow makes on the folder: it must be a
// folder, and hold neither a program copy nor any file of a set.
bool folder_is_usable(const std::string& folder, std::FILE* err) {
    char path[kPathCapacity + 16];
    if (!join_path(folder.c_str(), "KIRODA.EXE", path, sizeof path)) {
        say(err, "バックアップ先のフォルダ名が長すぎます: %s", folder.c_str());
        return false;
    }
    if (path_exists(path)) {
        say(err,
            "バックアップ先には既にプログラムのコピーがあります。別のフォルダを指定して下さい。\n%s",
            path);
        return false;
    }
    char found[kPathCapacity + 16];
    if (find_set_file(folder.c_str(), found, sizeof found)) {
        say(err,
            "バックアップ先には既にバックアップデータがあります。別のフォルダを指定して下さい。\n%s",
            found);
        return false;
    }
    return true;
}

}  // namespace

int run_backup_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const parsed_options options =
        parse_options(args, {"--force", "--rescue", "--resume", "--yes"});
    const bool force = options.has("--force");
    const bool resume = options.has("--resume");
    if (!options.error.empty() || options.operands.size() != 2) {
        if (!options.error.empty()) print(err, "krdtool backup: %s\n", options.error.c_str());
        print(err,
              "使い方: krdtool backup [--force] [--rescue] [--resume] [--yes] SOURCE SETDIR\n");
        return kExitUsage;
    }
    const std::string& source = options.operands[0];
    const std::string& folder = options.operands[1];

    register_disk_path(kSourceDiskNumber, source);
    std::int64_t size = 0;
    {
        const disk_handle disk = open_physical_disk(kSourceDiskNumber, 'r');
        if (!disk.valid()) {
            const int error = errno;
            say(err, "元ディスクを開けません: %s (%s)", source.c_str(),
                error == ENOTBLK ? localized("ブロックデバイスでもイメージファイルでもありません")
                                 : std::strerror(error));
            return kExitFailed;
        }
        const int sector_size = get_bytes_per_sector(disk);
        if (sector_size != 512) {
            say(err, "元ディスクのセクタサイズ(%d)には対応していません。512 バイトのみです。",
                sector_size);
            return kExitFailed;
        }
        const std::uint8_t media = get_media_type(disk);
        if (media != kMediaFixed && media != kMediaRemovable) {
            say(err, "バックアップ元ディスクのメディアタイプが異常です。(%s)",
                localized(media_type_name(media)));
            return kExitFailed;
        }
        size = get_disk_size_bytes(disk);
        // A failed size query (-1, -2) is never a size.
        if (size < 512) {
            say(err, "元ディスクの大きさを調べられないか、1 セクタに足りません: %s",
                source.c_str());
            return kExitFailed;
        }
    }
    disk_record record;
    if (!survey_disk(kSourceDiskNumber, &record) ||
        !source_acceptable(record, source, force, err)) {
        return kExitFailed;
    }
    if (size % 512 != 0) {
        say(err,
            "注意: 元ディスクの大きさ (%lld バイト) はセクタ (512 バイト) の倍数ではありません。"
            "最後の %lld バイトはバックアップされません。",
            static_cast<long long>(size), static_cast<long long>(size % 512));
    }
    if (mounted_writable(source)) {
        say(err,
            "注意: 元ディスクのファイルシステムが書き込みできる状態でマウントされています。"
            "バックアップ中に書き込まれると、内容が食い違うことがあります: %s",
            source.c_str());
    }

    std::error_code error;
    if (resume && !is_directory(folder.c_str())) {
        say(err, "続けるバックアップデータのフォルダがありません: %s", folder.c_str());
        return kExitFailed;
    }
    if (!fs::exists(folder, error)) fs::create_directories(folder, error);
    if (error || !is_directory(folder.c_str())) {
        say(err, "バックアップ先のフォルダを作れません: %s", folder.c_str());
        return kExitFailed;
    }
    if (folder_depends_on(folder, source)) {
        say(err,
            "バックアップ先のフォルダが元ディスクの上にあります。別のディスクを指定して下さい。\n%s",
            folder.c_str());
        return kExitFailed;
    }
    // One writer for a set: a second krdtool on the same folder (a resume
    // started while the first run still goes) waits for nobody; it is
    // refused before it touches anything.
    const folder_lock lock(folder);
    if (!lock.held()) {
        say(err, "バックアップ先のフォルダは別の krdtool が使っています: %s", folder.c_str());
        return kExitFailed;
    }
    // --force clears what an earlier, unfinished try left behind (only a
    // set's own files; a folder holding anything else is left alone), but
    // never what --resume is to go on with.
    if (force && !resume && !empty_set_folder(folder, err)) return kExitFailed;
    if (resume) {
        if (!fs::exists(fs::path(folder) / "KRD00000.BIN", error) &&
            !fs::exists(fs::path(folder) / "KRD00001.BIN", error)) {
            say(err, "続けるバックアップデータがないため、はじめからバックアップします: %s",
                folder.c_str());
        }
    } else if (!folder_is_usable(folder, err)) {
        say(err,
            "以前のバックアップの残りであれば、--resume を付けると続けられます (--force ならそのファイルを削除してやり直します)。");
        return kExitFailed;
    }

    const auto backup_size = static_cast<std::uint64_t>(size);
    const double free_bytes = get_folder_free_bytes(folder.c_str());
    if (free_bytes >= 0 && free_bytes < static_cast<double>(backup_size) + 1006632960.0) {
        char grouped[kGroupedTextSize];
        format_uint64_grouped(grouped, static_cast<std::uint64_t>(free_bytes));
        say(err,
            "注意: 空き容量 %s バイトはバックアップに足りないかもしれません(データがあまり圧縮できない場合)。",
            grouped);
    }
    // A resumed set gets its copy only once it is accepted (below): a set
    // that is refused is left exactly as it was.
    if (!resume) copy_program(folder, err);

    const engine_outcome outcome =
        run_engine(err, backup_size / 512 * 512, options.has("--yes"), [&](progress& p) {
            return backup_disk(
                p, kSourceDiskNumber, folder.c_str(), backup_size,
                backup_options{options.has("--rescue"), resume, !options.has("--yes")});
        });
    clear_disk_paths();
    if (outcome.exit_status != kExitDone) {
        // The files stay (the wizard keeps them too): say what they are and
        // how to go on.
        // After a refused --resume the engine has said why and the set is
        // as it was; after a stop, running the same command goes on.
        const std::vector<std::string> left = set_files_in(folder, nullptr);
        if (resume) {
            if (outcome.exit_status == kExitStopped)
                say(err, "続けるには同じコマンドをもう一度実行して下さい。");
        } else if (!left.empty()) {
            say(err,
                "バックアップは完了していません。%s にファイル %zu 個 (%s など) が残っています。\n"
                "これはまだバックアップデータとして使えません。続けるには同じコマンドに --resume を、"
                "はじめからやり直すには --force を付けて下さい (残ったファイルを削除してから始めます)。",
                folder.c_str(), left.size(), left.front().c_str());
        }
        return outcome.exit_status;
    }

    if (resume) copy_program(folder, err);
    std::uint64_t set_bytes = 0;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == 12 && name.compare(0, 3, "KRD") == 0 && name != "KRD00000.BIN") {
            set_bytes += static_cast<std::uint64_t>(entry.file_size(error));
            ++files;
        }
    }
    char disk_text[kGroupedTextSize], set_text[kGroupedTextSize];
    format_uint64_grouped(disk_text, backup_size / 512 * 512);
    format_uint64_grouped(set_text, set_bytes);
    print(out,
          "バックアップ完了: %s バイト -> データファイル %d 個、%s バイト (%.1f%%)、%.1f MB/s%s\n",
          disk_text, files, set_text,
          100.0 * static_cast<double>(set_bytes) / static_cast<double>(backup_size),
          static_cast<double>(backup_size) / 1e6 / (outcome.seconds > 0 ? outcome.seconds : 1e-9),
          bad_sector_summary(folder).c_str());
    report_bad_sectors(folder, out, "  ");
    return kExitDone;
}

}  // namespace kiroda::cli
