#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "cli/bad_sector_report.h"
#include "cli/lost_files.h"
#include "cli/used_only_backup.h"
#include "cli/command.h"
#include "cli/disks_command.h"
#include "cli/disk_layout.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/source_checks.h"
#include "cli/source_record.h"
#include "cli/device_of_folder.h"
#include "cli/engine_run.h"
#include "cli/disk_paths.h"
#include "cli/folder_lock.h"
#include "cli/json_writer.h"
#include "cli/terminal_progress.h"
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
        print_message(err, "プログラム(KIRODA.EXE)をバックアップ先にコピーできませんでした: %s",
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
            print_message(err, "元ディスクを開けません: %s (%s)", source.c_str(),
                          c.error == ENOTBLK
                              ? localized("ブロックデバイスでもイメージファイルでもありません")
                              : std::strerror(c.error));
            return false;
        case source_outcome::bad_sector_size:
            print_message(
                err,
                "元ディスクのセクタサイズ(%d)には対応していません。512 と 4096 バイトのみです。",
                c.sector_size);
            return false;
        case source_outcome::bad_media:
            print_message(err, "バックアップ元ディスクのメディアタイプが異常です。(%s)",
                          localized(media_type_name(c.media)));
            return false;
        case source_outcome::size_unknown:
            print_message(err, "元ディスクの大きさを調べられないか、1 セクタに足りません: %s",
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
            print_message(err, "バックアップ先のフォルダ名が長すぎます: %s", folder.c_str());
            return false;
        case folder_outcome::on_source:     // asked before the folder is locked
        case folder_outcome::not_a_folder:  // and when it is made
            return false;
        case folder_outcome::program_copy_there:
            print_message(
                err,
                "バックアップ先には既にプログラムのコピーがあります。別のフォルダを指定して下さい。\n%s",
                held.path);
            return false;
        case folder_outcome::set_there:
            print_message(
                err,
                "バックアップ先には既にバックアップデータがあります。別のフォルダを指定して下さい。\n%s",
                held.path);
            return false;
    }
    return false;
}

// What a backup will do, decided before it touches anything: the dry run
// prints it, the real run carries it out.
struct backup_plan {
    std::string source;
    std::string folder;
    bool force = false;
    bool resume = false;
    bool rescue = false;
    bool yes = false;
    bool read_back = true;  // false with --no-readback: unsafe, see backup_options
    bool dry_run = false;
    bool json = false;               // --json: the summary as JSON
    run_display display;             // -q, --progress=json
    bool used_only = false;          // --used-only: blocks no file system uses stored as zeros
    std::uint64_t disk_bytes = 0;    // the source's size, a part sector included
    bool make_folder = false;        // the folder does not exist yet
    std::vector<std::string> stale;  // --force: an unfinished try's files, removed first
    std::uint64_t stale_bytes = 0;
    // The folder, held for this run from its check on (never by a dry run).
    std::optional<folder_lock> lock;

    std::uint64_t copied_bytes() const { return disk_bytes / 512 * 512; }
};

// Options and operands; kExitUsage after the usage text.
int parse_backup(const std::vector<std::string>& args, backup_plan* plan, std::FILE* err) {
    const parsed_options options =
        parse_options(args,
                      {"--dry-run", "--force", "--no-readback", "--rescue", "--resume", "--yes",
                       "--quiet", "--json", "--progress=json", "--used-only"},
                      {}, {"SOURCE", "SETDIR"});
    if (!options.error.empty() || options.operands.size() != 2) {
        if (!options.error.empty()) print(err, "krdtool backup: %s\n", options.error.c_str());
        print(err,
              "使い方: krdtool backup [--dry-run] [-f] [--json] [--no-readback] [--progress=json] "
              "[-q] [--rescue] [--resume] [--used-only] [-y] SOURCE SETDIR\n");
        return kExitUsage;
    }
    plan->source = options.operands[0];
    plan->folder = options.operands[1];
    plan->force = options.has("--force");
    plan->resume = options.has("--resume");
    plan->rescue = options.has("--rescue");
    plan->used_only = options.has("--used-only");
    plan->yes = options.has("--yes");
    plan->read_back = !options.has("--no-readback");
    plan->dry_run = options.has("--dry-run");
    plan->json = options.has("--json");
    plan->display.quiet = options.has("--quiet");
    plan->display.json = options.has("--progress=json");
    // A resume compares the kept blocks with the disk, and a used-only set
    // holds zeros where the disk does not.
    if (plan->used_only && plan->resume) {
        print(err, "krdtool backup: --used-only のバックアップは --resume で続けられません\n");
        return kExitUsage;
    }
    return kExitDone;
}

// The source: the rules, the layout, and what is only warned of.
int check_backup_source(backup_plan& plan, std::FILE* err) {
    const std::string& source = plan.source;
    const source_check checked =
        check_source(kSourceDiskNumber, backup_extent::whole_disk, logical_sectors::also_4096);
    // Which disk this is, where two look alike: before any refusal.
    if (const std::string who = describe_device(source, checked.backup_bytes); !who.empty())
        print_message(err, "元ディスク: %s - %s", source.c_str(), who.c_str());
    if (!source_usable(checked, source, err)) return kExitFailed;
    const auto size = static_cast<std::int64_t>(checked.backup_bytes);
    disk_record record;
    if (!survey_disk(kSourceDiskNumber, &record) ||
        !source_acceptable(record, read_disk_gpt(kSourceDiskNumber), source, plan.force,
                           plan.rescue, err)) {
        return kExitFailed;
    }
    if (size % 512 != 0) {
        print_message(
            err,
            "注意: 元ディスクの大きさ (%lld バイト) はセクタ (512 バイト) の倍数ではありません。"
            "最後の %lld バイトはバックアップされません。",
            static_cast<long long>(size), static_cast<long long>(size % 512));
    }
    if (mounted_writable(source)) {
        print_message(
            err,
            "注意: 元ディスクのファイルシステムが書き込みできる状態でマウントされています。"
            "バックアップ中に書き込まれると、内容が食い違うことがあります: %s",
            source.c_str());
    }
    plan.disk_bytes = checked.backup_bytes;
    return kExitDone;
}

// The nearest folder of `path` (itself included) that exists: where a
// folder still to be made will lie.
std::string nearest_existing(const std::string& path) {
    std::error_code error;
    fs::path at = fs::absolute(path, error);
    while (!at.empty() && !fs::exists(at, error) && at != at.parent_path()) at = at.parent_path();
    return at.string();
}

// Why `folder` cannot be had (a system error number), 0 when it is there
// or could be made: what making it would meet, found without making it.
int folder_problem(const std::string& folder) {
    std::error_code error;
    if (fs::exists(folder, error))
        return check_folder_is_folder(folder.c_str()) == folder_outcome::ok ? 0 : ENOTDIR;
    const std::string parent = nearest_existing(folder);
    if (check_folder_is_folder(parent.c_str()) != folder_outcome::ok) return ENOTDIR;
    return ::access(parent.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

// One writer for a set: a second krdtool on the same folder (a resume
// started while the first run still goes) waits for nobody; it is refused
// before it touches anything. A dry run only looks. False after a message.
bool hold_folder(backup_plan& plan, std::FILE* err) {
    const bool taken =
        plan.dry_run ? folder_lock_taken(plan.folder) : !plan.lock.emplace(plan.folder).held();
    if (taken)
        print_message(err, "バックアップ先のフォルダは別の krdtool が使っています: %s",
                      plan.folder.c_str());
    return !taken;
}

// Where the set goes: a folder there is or can be, not on the source.
int check_backup_place(backup_plan& plan, std::FILE* err) {
    const std::string& folder = plan.folder;
    if (plan.resume && check_folder_is_folder(folder.c_str()) != folder_outcome::ok) {
        print_message(err, "続けるバックアップデータのフォルダがありません: %s", folder.c_str());
        return kExitFailed;
    }
    if (const int problem = folder_problem(folder); problem != 0) {
        print_message(err, "バックアップ先のフォルダを作れません: %s%s", folder.c_str(),
                      system_reason(problem).c_str());
        return kExitFailed;
    }
    std::error_code error;
    plan.make_folder = !fs::exists(folder, error);
    // A folder still to be made lies on the storage of the folder it is made in.
    const std::string on = plan.make_folder ? nearest_existing(folder) : folder;
    if (check_folder_off_source(folder_depends_on(on, plan.source)) != folder_outcome::ok) {
        print_message(
            err,
            "バックアップ先のフォルダが元ディスクの上にあります。別のディスクを指定して下さい。\n%s",
            folder.c_str());
        return kExitFailed;
    }
    return plan.make_folder || hold_folder(plan, err) ? kExitDone : kExitFailed;
}

// Names the unfinished set --resume goes on with (or says there is none).
void name_resumed_set(const std::string& folder, std::FILE* err) {
    std::error_code error;
    char first_data_file[kPathCapacity + 16];
    if (!fs::exists(fs::path(folder) / kHeaderFileName, error) &&
        !(data_file_path(folder.c_str(), 1, first_data_file, sizeof first_data_file) &&
          fs::exists(first_data_file, error))) {
        print_message(err, "続けるバックアップデータがないため、はじめからバックアップします: %s",
                      folder.c_str());
    } else if (backup_header kept{}; read_header_silently(folder.c_str(), &kept)) {
        const system_time& t = kept.created;
        print_message(err, "%04d-%02d-%02d %02d:%02d:%02d に始めたバックアップを続けます: %s",
                      int{t.year}, int{t.month}, int{t.day}, int{t.hour}, int{t.minute},
                      int{t.second}, folder.c_str());
    }
}

// What the folder holds: a set to go on with, what --force is to clear
// (only a set's own files; a folder holding anything else is left alone,
// and never what --resume is to go on with), or nothing of a set.
int check_backup_folder(backup_plan& plan, std::FILE* err) {
    const std::string& folder = plan.folder;
    if (plan.resume) {
        name_resumed_set(folder, err);
        return kExitDone;
    }
    if (plan.make_folder) {
        // A folder still to be made holds nothing; only its name can be wrong.
        return folder_is_usable(folder, err) ? kExitDone : kExitFailed;
    }
    if (plan.force) {
        if (!may_empty_set_folder(folder, &plan.stale, err)) return kExitFailed;
        std::error_code error;
        for (const std::string& name : plan.stale)
            plan.stale_bytes += fs::file_size(fs::path(folder) / name, error);
        if (check_folder_length(folder.c_str()) == folder_outcome::ok) return kExitDone;
    }
    if (!folder_is_usable(folder, err)) {
        print_message(
            err,
            "以前のバックアップの残りであれば、--resume を付けると続けられます (--force ならそのファイルを削除してやり直します)。");
        return kExitFailed;
    }
    return kExitDone;
}

// A failed query (negative) says nothing here; the engine asks again before
// each data file and stops then. What --force clears counts as free.
void warn_of_free_space(const backup_plan& plan, std::FILE* err) {
    const std::string where = plan.make_folder ? nearest_existing(plan.folder) : plan.folder;
    double free_bytes = get_folder_free_bytes(where.c_str());
    if (free_bytes < 0) return;
    free_bytes += static_cast<double>(plan.stale_bytes);
    if (check_folder_space(plan.disk_bytes, free_bytes) != space_outcome::enough) {
        char grouped[kGroupedTextSize];
        format_uint64_grouped(grouped, whole_free_bytes(free_bytes));
        print_message(
            err,
            "注意: 空き容量 %s バイトはバックアップに足りないかもしれません(データがあまり圧縮できない場合)。",
            grouped);
    }
}

// Every check of a backup, in the order the user hears of them; writes
// nothing. kExitDone when the backup may go ahead.
int check_backup(backup_plan& plan, std::FILE* err) {
    if (const int status = check_backup_source(plan, err); status != kExitDone) return status;
    if (const int status = check_backup_place(plan, err); status != kExitDone) return status;
    if (const int status = check_backup_folder(plan, err); status != kExitDone) return status;
    warn_of_free_space(plan, err);
    return kExitDone;
}

// The plan in words, for --dry-run.
void print_backup_plan(const backup_plan& plan, std::FILE* out) {
    char bytes[kGroupedTextSize];
    format_uint64_grouped(bytes, plan.copied_bytes());
    print(out, "予定: %s の %s バイトを %s にバックアップします%s。\n", plan.source.c_str(), bytes,
          plan.folder.c_str(),
          plan.resume   ? localized(" (未完成のバックアップを続けます)")
          : plan.rescue ? localized(" (読めないセクタは 0 で埋めます)")
                        : "");
    if (plan.make_folder) print(out, "  フォルダを作ります: %s\n", plan.folder.c_str());
    if (plan.stale.size() == 1)
        print(out, "  以前のバックアップデータのファイル %s を削除します\n",
              plan.stale.front().c_str());
    else if (!plan.stale.empty())
        print(out, "  以前のバックアップデータのファイル %zu 個を削除します\n", plan.stale.size());
    print(out, "  %s\n",
          plan.read_back ? localized("書き込んだファイルをメディアから読み戻して確認します")
                         : localized("読み戻し確認はしません (--no-readback)"));
}

// Makes the folder, takes it for this run (a folder that was there is held
// since its check) and clears what --force is to clear. kExitDone when the engine may start.
int prepare_backup_folder(backup_plan& plan, std::FILE* err) {
    const std::string& folder = plan.folder;
    std::error_code error;
    if (!fs::exists(folder, error)) fs::create_directories(folder, error);
    if (!error && check_folder_is_folder(folder.c_str()) != folder_outcome::ok)
        error = std::make_error_code(std::errc::not_a_directory);
    if (error) {
        print_message(err, "バックアップ先のフォルダを作れません: %s%s", folder.c_str(),
                      system_reason(error.value()).c_str());
        return kExitFailed;
    }
    if (plan.make_folder &&
        check_folder_off_source(folder_depends_on(folder, plan.source)) != folder_outcome::ok) {
        print_message(
            err,
            "バックアップ先のフォルダが元ディスクの上にあります。別のディスクを指定して下さい。\n%s",
            folder.c_str());
        return kExitFailed;
    }
    if (!plan.lock && !hold_folder(plan, err)) return kExitFailed;
    return remove_set_files(folder, plan.stale, err) ? kExitDone : kExitFailed;
}

// How a backup that did not finish ended, as the engine tells it.
struct backup_ending {
    bool medium_failed = false;    // the medium did not keep a file of the set
    bool at_lost_sectors = false;  // stopped at unreadable sectors, not gone past
};

// After a backup that did not finish: the files stay (the wizard keeps them
// too); says what they are and how to go on. After a refused --resume the
// engine has said why and the set is as it was; after a stop, running the
// same command goes on.
void explain_unfinished(const backup_plan& plan, int exit_status, const backup_ending& ending,
                        std::FILE* err) {
    const std::vector<std::string> left = set_files_in(plan.folder, nullptr);
    if (ending.at_lost_sectors && !plan.rescue) {
        // Nobody was there to say yes to zeros (or the user said no): the
        // set so far is kept, and a resume with --rescue goes on from it.
        print_message(err,
                      "読めないセクタがあるため、バックアップを止めました。"
                      "読めないセクタを 0 で埋めて、ここまでの続きからバックアップするには:\n"
                      "  krdtool backup --resume --rescue %s %s",
                      plan.source.c_str(), plan.folder.c_str());
    } else if (ending.medium_failed) {
        // The engine said it: the set is of no use, on this medium.
    } else if (plan.resume) {
        if (exit_status == kExitStopped)
            print_message(err, "続けるには同じコマンドをもう一度実行して下さい。");
    } else if (left.size() == 1) {
        print_message(
            err,
            "バックアップは完了していません。%s にファイル %s が残っています。\n"
            "これはまだバックアップデータとして使えません。続けるには同じコマンドに --resume を、"
            "はじめからやり直すには --force を付けて下さい (残ったファイルを削除してから始めます)。",
            plan.folder.c_str(), left.front().c_str());
    } else if (!left.empty()) {
        print_message(
            err,
            "バックアップは完了していません。%s にファイル %zu 個 (%s など) が残っています。\n"
            "これはまだバックアップデータとして使えません。続けるには同じコマンドに --resume を、"
            "はじめからやり直すには --force を付けて下さい (残ったファイルを削除してから始めます)。",
            plan.folder.c_str(), left.size(), left.front().c_str());
    }
}

// The summary of a finished backup: a line, or with --json an object.
void report_backup(const backup_plan& plan, double seconds, std::FILE* out) {
    std::error_code error;
    std::uint64_t set_bytes = 0;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(plan.folder, error)) {
        const std::string name = entry.path().filename().string();
        if (is_data_file_name(name.c_str()) && name != kHeaderFileName) {
            set_bytes += static_cast<std::uint64_t>(entry.file_size(error));
            ++files;
        }
    }
    if (plan.json) {
        json_writer json(out);
        json.begin_object();
        json.text("result", "done");
        json.number("bytes", plan.copied_bytes());
        json.number("set_bytes", set_bytes);
        json.number("data_files", static_cast<std::uint64_t>(files));
        json.number("milliseconds", static_cast<std::uint64_t>(seconds * 1000));
        json.boolean("read_back", plan.read_back);
        json.end_object();
        return;
    }
    const auto backup_size = static_cast<double>(plan.disk_bytes);
    char disk_text[kGroupedTextSize], set_text[kGroupedTextSize], files_text[64];
    format_uint64_grouped(disk_text, plan.copied_bytes());
    format_uint64_grouped(set_text, set_bytes);
    if (files == 1) {
        std::snprintf(files_text, sizeof files_text, "%s", localized("データファイル 1 個"));
    } else {
        std::snprintf(files_text, sizeof files_text, localized("データファイル %d 個"), files);
    }
    print(out, "バックアップ完了: %s バイト -> %s、%s バイト (%.1f%%)、%.1f MB/s、経過 %s、%s%s\n",
          disk_text, files_text, set_text, 100.0 * static_cast<double>(set_bytes) / backup_size,
          backup_size / 1e6 / (seconds > 0 ? seconds : 1e-9), clock_text(seconds).c_str(),
          plan.read_back ? localized("メディアから読み戻して確認済み")
                         : localized("読み戻し確認なし (--no-readback)"),
          bad_sector_summary(plan.folder).c_str());
    report_bad_sectors(plan.folder, out, "  ");
    report_lost_files(plan.folder, out, stderr, "  ");
}

// Carries out a checked plan: the folder, the program copy, the engine, the
// summary.
int run_backup(backup_plan& plan, std::FILE* out, std::FILE* err) {
    if (const int status = prepare_backup_folder(plan, err); status != kExitDone) return status;
    // A resumed set gets its copy only once it is accepted (below): a set
    // that is refused is left exactly as it was.
    if (!plan.resume) copy_program(plan.folder, err);
    backup_options backup;
    backup.rescue = plan.rescue;
    backup.resume = plan.resume;
    // Asked on a terminal only: without one the backup stops at the first
    // unreadable sector and says how to go on past it.
    backup.ask_to_go_past = answers_for(err, plan.yes) == question_answer::ask;
    backup_ending ending;
    backup.medium_failed = &ending.medium_failed;
    backup.stopped_at_lost_sectors = &ending.at_lost_sectors;
    // Unsafe: a medium that does not keep what was written goes unseen.
    backup.read_back = plan.read_back;
    // Which disk the set is of, for a restore to name it.
    source_disk made_from = record_of_source(plan.source, plan.copied_bytes());
    record_layout(kSourceDiskNumber, &made_from);
    if (plan.used_only && !plan_used_only(kSourceDiskNumber, plan.disk_bytes,
                                          plan.copied_bytes() / 512, &backup, &made_from, out, err))
        return kExitFailed;
    backup.source_disk_record = encode_source_disk(made_from);
    backup.threads = worker_threads_from_environment();
    run_display display = plan.display;
    display.reads_back_stored = plan.read_back;
    const engine_outcome outcome = run_engine(
        err, plan.copied_bytes(), plan.yes,
        [&](progress& p) {
            return backup_disk(p, kSourceDiskNumber, plan.folder.c_str(), plan.disk_bytes, backup);
        },
        display);
    if (outcome.exit_status != kExitDone) {
        explain_unfinished(plan, outcome.exit_status, ending, err);
        return outcome.exit_status;
    }
    if (plan.resume) copy_program(plan.folder, err);
    report_backup(plan, outcome.seconds, out);
    return kExitDone;
}

}  // namespace

int run_backup_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    backup_plan plan;
    if (const int status = parse_backup(args, &plan, err); status != kExitDone) return status;
    const disk_paths_scope disks;
    disks.add(kSourceDiskNumber, plan.source);
    if (const int status = check_backup(plan, err); status != kExitDone)
        return with_json_outcome(plan.json, status, out);
    if (plan.dry_run) {
        print_backup_plan(plan, out);
        // Reading the file systems writes nothing: the plan says what a
        // used-only run would store as zeros.
        backup_options backup;
        source_disk record;
        if (plan.used_only &&
            !plan_used_only(kSourceDiskNumber, plan.disk_bytes, plan.copied_bytes() / 512, &backup,
                            &record, out, err))
            return kExitFailed;
        print(out, "--dry-run: 何も書き込んでいません。\n");
        return kExitDone;
    }
    return with_json_outcome(plan.json, run_backup(plan, out, err), out);
}

}  // namespace kiroda::cli
