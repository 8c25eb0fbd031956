#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli/bad_sector_report.h"
#include "cli/command.h"
#include "cli/disks_command.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/source_checks.h"
#include "cli/source_record.h"
#include "cli/device_of_folder.h"
#include "cli/engine_run.h"
#include "cli/folder_lock.h"
#include "cli/set_commands.h"
#include "disk/disk_registry.h"
#include "disk/disk_survey.h"
#include "disk/physical_disk.h"
#include "engine/backup_engine.h"
#include "engine/backup_rules.h"
#include "engine/data_file.h"
#include "format/header_file.h"
#include "ui/translation.h"
#include "util/free_space.h"
#include "util/number_format.h"
#include "util/path.h"
#include "util/path_query.h"
#include "util/side_file.h"
#include "cli/terminal_messages.h"
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
    if (fs::exists(fs::path(folder) / kProgramCopyName, error)) return;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return;
    std::string program;
    constexpr std::size_t kProgramLimit = std::size_t{64} << 20;
    const side_file_read read =
        read_side_file(self.parent_path().c_str(), kProgramCopyName, kProgramLimit, &program);
    if (read == side_file_read::absent) return;
    if (read != side_file_read::read ||
        !write_side_file(folder.c_str(), kProgramCopyTempName, kProgramCopyName, program)) {
        const int reason = take_system_error();
        say(err, "プログラム(KIRODA.EXE)をバックアップ先にコピーできませんでした: %s",
            reason != 0 ? std::strerror(reason) : folder.c_str());
    }
}

// The source rules (engine/backup_rules.h) in krdtool's words; false after
// the message of a refusal.
bool source_usable(const source_check& c, const std::string& source, std::FILE* err) {
    switch (c.outcome) {
        case source_outcome::ok:
            return true;
        case source_outcome::cannot_open:
            say(err, "元ディスクを開けません: %s (%s)", source.c_str(),
                c.error == ENOTBLK ? localized("ブロックデバイスでもイメージファイルでもありません")
                                   : std::strerror(c.error));
            return false;
        case source_outcome::bad_sector_size:
            say(err, "元ディスクのセクタサイズ(%d)には対応していません。512 バイトのみです。",
                c.sector_size);
            return false;
        case source_outcome::bad_media:
            say(err, "バックアップ元ディスクのメディアタイプが異常です。(%s)",
                localized(media_type_name(c.media)));
            return false;
        case source_outcome::size_unknown:
            say(err, "元ディスクの大きさを調べられないか、1 セクタに足りません: %s",
                source.c_str());
            return false;
        case source_outcome::cannot_seek:
        case source_outcome::cannot_read:
        case source_outcome::no_signature:
        case source_outcome::no_partition:
            // Outcomes of the partition extent, which krdtool never asks
            // for (the partition layout is source_acceptable's); refused
            // all the same, never taken for a usable disk.
            return false;
    }
    return false;
}

// What the folder holds, in krdtool's words: a folder short enough for
// every name of a set, with neither a program copy nor any file of a set.
bool folder_is_usable(const std::string& folder, std::FILE* err) {
    folder_check held;
    held.outcome = check_folder_length(folder.c_str());
    if (held.outcome == folder_outcome::ok) held = check_folder_holds_no_set(folder.c_str());
    switch (held.outcome) {
        case folder_outcome::ok:
            return true;
        case folder_outcome::too_long:
            say(err, "バックアップ先のフォルダ名が長すぎます: %s", folder.c_str());
            return false;
        case folder_outcome::on_source:     // asked before the folder is locked
        case folder_outcome::not_a_folder:  // and when it is made
            return false;
        case folder_outcome::program_copy_there:
            say(err,
                "バックアップ先には既にプログラムのコピーがあります。別のフォルダを指定して下さい。\n%s",
                held.path);
            return false;
        case folder_outcome::set_there:
            say(err,
                "バックアップ先には既にバックアップデータがあります。別のフォルダを指定して下さい。\n%s",
                held.path);
            return false;
    }
    return false;
}

}  // namespace

int run_backup_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const parsed_options options =
        parse_options(args, {"--force", "--no-readback", "--rescue", "--resume", "--yes"});
    const bool force = options.has("--force");
    const bool resume = options.has("--resume");
    if (!options.error.empty() || options.operands.size() != 2) {
        if (!options.error.empty()) print(err, "krdtool backup: %s\n", options.error.c_str());
        print(err,
              "使い方: krdtool backup [--force] [--no-readback] [--rescue] [--resume] [--yes] "
              "SOURCE SETDIR\n");
        return kExitUsage;
    }
    const std::string& source = options.operands[0];
    const std::string& folder = options.operands[1];

    register_disk_path(kSourceDiskNumber, source);
    const source_check checked = check_source(kSourceDiskNumber, backup_extent::whole_disk);
    // Which disk this is, where two look alike: before any refusal.
    if (const std::string who = describe_device(source, checked.backup_bytes); !who.empty())
        say(err, "元ディスク: %s - %s", source.c_str(), who.c_str());
    if (!source_usable(checked, source, err)) return kExitFailed;
    const auto size = static_cast<std::int64_t>(checked.backup_bytes);
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
    if (resume && check_folder_is_folder(folder.c_str()) != folder_outcome::ok) {
        say(err, "続けるバックアップデータのフォルダがありません: %s", folder.c_str());
        return kExitFailed;
    }
    if (!fs::exists(folder, error)) fs::create_directories(folder, error);
    if (!error && check_folder_is_folder(folder.c_str()) != folder_outcome::ok)
        error = std::make_error_code(std::errc::not_a_directory);
    if (error) {
        say(err, "バックアップ先のフォルダを作れません: %s%s", folder.c_str(),
            system_reason(error.value()).c_str());
        return kExitFailed;
    }
    if (check_folder_off_source(folder_depends_on(folder, source)) != folder_outcome::ok) {
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
        char first_data_file[kPathCapacity + 16];
        if (!fs::exists(fs::path(folder) / kHeaderFileName, error) &&
            !(data_file_path(folder.c_str(), 1, first_data_file, sizeof first_data_file) &&
              fs::exists(first_data_file, error))) {
            say(err, "続けるバックアップデータがないため、はじめからバックアップします: %s",
                folder.c_str());
        } else if (backup_header kept{}; read_header_silently(folder.c_str(), &kept)) {
            const system_time& t = kept.created;
            say(err, "%04d-%02d-%02d %02d:%02d:%02d に始めたバックアップを続けます: %s",
                int{t.year}, int{t.month}, int{t.day}, int{t.hour}, int{t.minute}, int{t.second},
                folder.c_str());
        }
    } else if (!folder_is_usable(folder, err)) {
        say(err,
            "以前のバックアップの残りであれば、--resume を付けると続けられます (--force ならそのファイルを削除してやり直します)。");
        return kExitFailed;
    }

    const auto backup_size = static_cast<std::uint64_t>(size);
    const double free_bytes = get_folder_free_bytes(folder.c_str());
    // A failed query (negative) says nothing here; the engine asks again
    // before each data file and stops then.
    if (free_bytes >= 0 && check_folder_space(backup_size, free_bytes) != space_outcome::enough) {
        char grouped[kGroupedTextSize];
        format_uint64_grouped(grouped, whole_free_bytes(free_bytes));
        say(err,
            "注意: 空き容量 %s バイトはバックアップに足りないかもしれません(データがあまり圧縮できない場合)。",
            grouped);
    }
    // A resumed set gets its copy only once it is accepted (below): a set
    // that is refused is left exactly as it was.
    if (!resume) copy_program(folder, err);

    backup_options backup{options.has("--rescue"), resume, !options.has("--yes")};
    bool medium_failed = false;
    backup.medium_failed = &medium_failed;
    // Unsafe: a medium that does not keep what was written goes unseen.
    backup.read_back = !options.has("--no-readback");
    // Which disk the set is of, for a restore to name it.
    backup.source_disk_record =
        encode_source_disk(record_of_source(source, backup_size / 512 * 512));
    backup.threads = worker_threads_from_environment();
    const engine_outcome outcome =
        run_engine(err, backup_size / 512 * 512, options.has("--yes"), [&](progress& p) {
            return backup_disk(p, kSourceDiskNumber, folder.c_str(), backup_size, backup);
        });
    clear_disk_paths();
    if (outcome.exit_status != kExitDone) {
        // The files stay (the wizard keeps them too): say what they are and
        // how to go on.
        // After a refused --resume the engine has said why and the set is
        // as it was; after a stop, running the same command goes on.
        const std::vector<std::string> left = set_files_in(folder, nullptr);
        if (medium_failed) {
            // The engine said it: the set is of no use, on this medium.
        } else if (resume) {
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
        if (is_data_file_name(name.c_str()) && name != kHeaderFileName) {
            set_bytes += static_cast<std::uint64_t>(entry.file_size(error));
            ++files;
        }
    }
    char disk_text[kGroupedTextSize], set_text[kGroupedTextSize];
    format_uint64_grouped(disk_text, backup_size / 512 * 512);
    format_uint64_grouped(set_text, set_bytes);
    print(
        out,
        "バックアップ完了: %s バイト -> データファイル %d 個、%s バイト (%.1f%%)、%.1f MB/s、%s%s\n",
        disk_text, files, set_text,
        100.0 * static_cast<double>(set_bytes) / static_cast<double>(backup_size),
        static_cast<double>(backup_size) / 1e6 / (outcome.seconds > 0 ? outcome.seconds : 1e-9),
        backup.read_back ? localized("メディアから読み戻して確認済み")
                         : localized("読み戻し確認なし (--no-readback)"),
        bad_sector_summary(folder).c_str());
    report_bad_sectors(folder, out, "  ");
    return kExitDone;
}

}  // namespace kiroda::cli
