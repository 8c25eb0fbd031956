#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <filesystem>

#include "cli/bad_sector_report.h"
#include "cli/command.h"
#include "cli/disks_command.h"
#include "cli/disk_layout.h"
#include "cli/gpt_mend.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/target_guard.h"
#include "cli/json_writer.h"
#include "cli/terminal_progress.h"
#include "cli/target_consent.h"
#include "cli/source_checks.h"
#include "cli/device_of_folder.h"
#include "cli/disk_paths.h"
#include "cli/engine_run.h"
#include "cli/set_commands.h"
#include "cli/source_record.h"
#include "cli/terminal_messages.h"
#include "disk/disk_registry.h"
#include "disk/physical_disk.h"
#include "engine/restore_engine.h"
#include "engine/restore_fit.h"
#include "engine/restore_target.h"
#include "engine/header_file.h"
#include "ui/translation.h"
#include "util/number_format.h"
#include "util/system_error.h"

namespace kiroda::cli {

namespace {

namespace fs = std::filesystem;

// A missing path on the device file system (an unplugged disk) must not
// become a file there, but a file system of its own mounted below /dev (a
// memory file system on /dev/shm) is as good a place for an image as any.
bool may_create_at(const std::string& target) {
    std::error_code error;
    const fs::path absolute = fs::absolute(target, error);
    if (error || absolute.string().rfind("/dev/", 0) != 0) return !error;
    struct stat parent {};
    struct stat devices {};
    return ::stat(absolute.parent_path().c_str(), &parent) == 0 && ::stat("/dev", &devices) == 0 &&
           parent.st_dev != devices.st_dev;
}

// Why a target image that does not exist yet cannot be made (after its
// message), found without making it: the device file system, or a folder
// this process may not write into. kExitDone when it can be.
int check_image_can_be_made(const std::string& target, std::FILE* err) {
    if (!may_create_at(target)) {
        print_message(err, "復旧先のデバイスがありません: %s", target.c_str());
        return kExitFailed;
    }
    std::error_code error;
    const fs::path parent = fs::absolute(target, error).parent_path();
    if (::access(parent.c_str(), W_OK | X_OK) != 0) {
        print_message(err, "復旧先のイメージファイルを作れません: %s (%s)", target.c_str(),
                      std::strerror(errno));
        return kExitFailed;
    }
    return kExitDone;
}

// Makes the target image at the set's size (sparse). False after a message.
bool create_image(const std::string& target, std::uint64_t bytes, std::FILE* err) {
    // Exclusive: a file that appears meanwhile is not truncated, and only
    // a file made here is ever removed again.
    const int fd =
        ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        print_message(err, "復旧先のイメージファイルを作れません: %s (%s)", target.c_str(),
                      std::strerror(errno));
        return false;
    }
    const bool sized = ::ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    const int size_error = errno;
    ::close(fd);
    if (!sized) {
        print_message(err, "復旧先のイメージファイルを作れません: %s (%s)", target.c_str(),
                      std::strerror(size_error));
        ::unlink(target.c_str());
        return false;
    }
    return true;
}

// An image this restore made and did not finish is said to be left: half
// written, with its sector 0 still blank, and refused as "holds data" by a
// plain second try. (It stays, so what was written can be looked at.)
class made_image {
  public:
    made_image(const std::string& path, bool made, std::FILE* err)
        : path_(path), made_(made), err_(err) {}
    ~made_image() {
        if (made_) {
            print_message(
                err_,
                "作りかけの復旧先イメージファイルが残っています (MBR は書き込んでいません)。"
                "やり直すには削除するか --force を付けて下さい: %s",
                path_.c_str());
        }
    }
    made_image(const made_image&) = delete;
    made_image& operator=(const made_image&) = delete;
    void keep() { made_ = false; }

  private:
    const std::string& path_;
    bool made_;
    std::FILE* err_;
};

// The target's verdict in krdtool's words; false after a refusal.
[[nodiscard]] bool explain(const target_check& check, const std::string& target,
                           std::uint64_t bytes, std::FILE* err) {
    char need[kGroupedTextSize], have[kGroupedTextSize];
    switch (check.verdict) {
        case target_verdict::ok:
            return true;
        case target_verdict::cannot_open:
            print_message(err, "復旧先ディスクを開けません: %s%s", target.c_str(),
                          system_reason(take_system_error()).c_str());
            break;
        case target_verdict::bad_sector_size:
            print_message(err, "復旧先ディスクのセクタサイズ(%lld)には対応していません。",
                          static_cast<long long>(check.value));
            break;
        case target_verdict::bad_media:
            print_message(err, "復旧先ディスクのメディアタイプ(%s)には対応していません。",
                          localized(media_type_name(static_cast<std::uint8_t>(check.value))));
            break;
        case target_verdict::too_small:
            format_uint64_grouped(need, bytes);
            format_int64_grouped(have, check.value);
            print_message(err, "復旧先ディスクが小さすぎます: %s バイト必要ですが、%s バイトです。",
                          need, have);
            break;
        case target_verdict::cannot_seek:
        case target_verdict::cannot_read:
            print_message(err, "復旧先ディスクの先頭セクタを読めません: %s%s", target.c_str(),
                          system_reason(take_system_error()).c_str());
            break;
        case target_verdict::has_partitions:
            return true;  // written over only on purpose: consent_to_holdings
    }
    return false;
}

// --fit onto a target of `target_bytes`, smaller than the set: reads the
// set for its partitions' reach and the data past the target's end, and says
// what keeps it from fitting. kExitDone when it fits.
[[nodiscard]] int check_set_fits(const std::string& folder, std::uint64_t backup_bytes,
                                 std::uint64_t target_bytes, bool yes, restore_options* restore,
                                 std::FILE* err) {
    fit_check check;
    const engine_outcome outcome =
        run_engine(err, backup_bytes - target_bytes, yes, [&](progress& p) {
            return check_fit(p, folder.c_str(), backup_bytes, target_bytes, &check,
                             static_cast<std::uint32_t>(restore->sector_bytes));
        });
    if (outcome.exit_status != kExitDone) return outcome.exit_status;
    restore->replaced = check.replaced;
    char target[kGroupedTextSize], reach[kGroupedTextSize], sector[kGroupedTextSize];
    format_uint64_grouped(target, target_bytes);
    format_uint64_grouped(reach, check.partitions_end);
    format_uint64_grouped(sector, check.partitions_end / 512);
    if (check.fits(target_bytes)) {
        print_message(
            err,
            "復旧先ディスクはバックアップデータより小さいため、先頭の %s バイトだけを書き込みます"
            " (パーテーションは %s バイトまでで、その後ろはすべて 0 です)。",
            target, reach);
        return kExitDone;
    }
    if (check.chain_cut) {
        print_message(err,
                      "バックアップデータの拡張パーテーションの連鎖が途切れているため、"
                      "復旧先に収まるかどうか分かりません。");
    }
    if (check.gpt && check.partitions_end + check.gpt_room_bytes > target_bytes) {
        print_message(
            err,
            "復旧先ディスクに収まりません: GPT のパーテーションは %s バイトまで使いますが、"
            "復旧先ディスクの終わりには予備の GPT ヘッダとパーテーション表のための %llu バイトが要ります"
            " (復旧先ディスクは %s バイトです)。",
            reach, static_cast<unsigned long long>(check.gpt_room_bytes), target);
    } else if (check.partitions_end > target_bytes) {
        print_message(
            err,
            "復旧先ディスクに収まりません: パーテーションはセクタ %s (%s バイト) まで使いますが、"
            "復旧先ディスクは %s バイトです。",
            sector, reach, target);
    }
    if (check.nonzero_past_end > 0) {
        char nonzero[kGroupedTextSize];
        format_uint64_grouped(nonzero, check.nonzero_past_end);
        print_message(
            err,
            "復旧先ディスクに収まりません: 復旧先ディスクの終わり (%s バイト) より後ろに、"
            "0 でないデータが %s バイトあります。",
            target, nonzero);
    }
    return kExitFailed;
}

// A target too small without --fit: reads the set to say whether --fit
// would take it, and where the partitions end either way.
void advise_fit(const std::string& folder, std::uint64_t backup_bytes, std::uint64_t target_bytes,
                bool yes, std::FILE* err) {
    fit_check check;
    const engine_outcome outcome =
        run_engine(err, backup_bytes - target_bytes, yes, [&](progress& p) {
            return check_fit(p, folder.c_str(), backup_bytes, target_bytes, &check);
        });
    if (outcome.exit_status != kExitDone) return;
    char reach[kGroupedTextSize], sector[kGroupedTextSize];
    format_uint64_grouped(reach, check.partitions_end);
    format_uint64_grouped(sector, check.partitions_end / 512);
    if (check.fits(target_bytes)) {
        print_message(err,
                      "--fit を付ければ復旧できます: パーテーションはセクタ %s (%s バイト) で"
                      "終わり、復旧先の終わりより後ろのデータはすべて 0 です。",
                      sector, reach);
    } else {
        print_message(err,
                      "--fit でも収まりません: パーテーションはセクタ %s (%s バイト) まで使うか、"
                      "復旧先の終わりより後ろに 0 でないデータがあります。",
                      sector, reach);
    }
}

// What a restore will do, decided before it writes anything: the dry run
// prints it, the real run carries it out. --force means three things, each
// kept apart here: an image file with data, a file system straight on the
// disk, and a damaged digest file are gone on with.
struct restore_plan {
    std::string folder;
    std::string target;
    bool force = false;
    bool fit = false;
    bool yes = false;
    bool dry_run = false;
    bool json = false;    // --json: the summary as JSON
    run_display display;  // -q, --progress=json
    backup_header header{};
    restore_options restore;
    bool make_image = false;         // the target image is made at the set's size
    std::uint64_t target_bytes = 0;  // the target's size, whole sectors
    bool holds_data = false;         // an existing image file that is not all zeros
    bool zeros_image = false;        // an existing image file of zeros: its zero runs stay holes
    std::string over;                // --force: what the target held, written over

    std::uint64_t write_bytes() const {
        return restore.fit_bytes != 0 ? restore.fit_bytes : header.backup_bytes;
    }
};

// Options and operands; kExitUsage after the usage text.
int parse_restore(const std::vector<std::string>& args, restore_plan* plan, std::FILE* err) {
    const parsed_options options = parse_options(args,
                                                 {"--dry-run", "--fit", "--no-readback", "--force",
                                                  "--yes", "--quiet", "--json", "--progress=json"},
                                                 {}, {"SETDIR", "TARGET"});
    if (!options.error.empty() || options.operands.size() != 2) {
        if (!options.error.empty()) print(err, "krdtool restore: %s\n", options.error.c_str());
        print(err,
              "使い方: krdtool restore [--dry-run] [-f] [--fit] [--json] [--no-readback] "
              "[--progress=json] [-q] [-y] SETDIR TARGET\n");
        return kExitUsage;
    }
    plan->folder = options.operands[0];
    plan->target = options.operands[1];
    plan->force = options.has("--force");
    plan->fit = options.has("--fit");
    plan->yes = options.has("--yes");
    plan->dry_run = options.has("--dry-run");
    plan->json = options.has("--json");
    plan->display.quiet = options.has("--quiet");
    plan->display.json = options.has("--progress=json");
    plan->restore.read_back = !options.has("--no-readback");
    plan->restore.threads = worker_threads_from_environment();
    // A damaged digest file leaves the set unproven: only --force goes on.
    plan->restore.digests = plan->force ? damaged_digests::go_on : damaged_digests::refuse;
    return kExitDone;
}

// The set's header, and its version agreed to.
int check_restore_set(restore_plan& plan, std::FILE* err) {
    terminal_messages messages(err, answers_for(err, plan.yes));
    if (read_header_file(nullptr, plan.folder.c_str(), &plan.header) != header_read::read)
        return kExitFailed;
    if (confirm_header_version(nullptr, plan.header) != kIdOk) return kExitFailed;
    return kExitDone;
}

// The target against the set (cli/target_guard.h), in krdtool's words.
int check_restore_path(restore_plan& plan, std::FILE* err) {
    const std::string& target = plan.target;
    int reason = 0;
    switch (check_target_path(plan.folder, target, false, &reason)) {
        case target_refusal::none: {
            struct stat st {};
            plan.zeros_image = ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
            return kExitDone;
        }
        case target_refusal::holds_data:
            plan.holds_data = true;  // written over only on purpose: consent_to_holdings
            return kExitDone;
        case target_refusal::not_a_disk:
            print_message(err, "復旧先はブロックデバイスでもイメージファイルでもありません: %s",
                          target.c_str());
            break;
        case target_refusal::inside_the_set:
            print_message(
                err,
                "復旧先がバックアップデータのフォルダの中にあります。バックアップデータを壊すため、復旧できません: %s",
                target.c_str());
            break;
        case target_refusal::holds_the_set:
            print_message(
                err,
                "バックアップデータが復旧先の上にあります (復旧先のファイルシステムの中)。"
                "別のディスクに復旧して下さい。\n%s",
                plan.folder.c_str());
            break;
        case target_refusal::unreadable:
            print_message(err, "復旧先のイメージファイルを読めません: %s%s", target.c_str(),
                          system_reason(reason).c_str());
            break;
    }
    return kExitFailed;
}

// A target that holds anything is written only on purpose
// (cli/target_consent.h). kExitDone when it holds nothing or may be written.
int consent_to_holdings(restore_plan& plan, const target_check& check, std::uint64_t bytes,
                        std::FILE* err) {
    struct stat st {};
    const bool device = ::stat(plan.target.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
    const bool data = plan.holds_data || (device && starts_with_data(plan.target));
    const std::string holds = describe_holdings(check, data);
    if (holds.empty()) return kExitDone;
    const overwrite_request request{
        plan.target, holds,       describe_identity(identity_of(plan.target)), bytes, plan.force,
        plan.yes,    plan.dry_run};
    if (!agree_to_overwrite(request, err)) return kExitFailed;
    plan.over = holds;
    plan.restore.over_partitions = check.verdict == target_verdict::has_partitions;
    return kExitDone;
}

// Never written while mounted, --force or not: the kernel's file system
// would write its own blocks over the restore's, and the other way round.
int check_not_mounted(const std::string& target, std::FILE* err) {
    const std::string point = mounted_at(target, false);
    if (point.empty()) return kExitDone;
    print_message(
        err,
        "復旧先 %s (またはその上のもの) は %s にマウントされています。"
        "マウントされたディスクには復旧しません: アンマウントしてからもう一度実行して下さい。",
        target.c_str(), point.c_str());
    return kExitFailed;
}

// The target disk's verdict (engine/restore_target.h) for the set, or for
// its first bytes with --fit; what it holds only on purpose.
int check_restore_disk(restore_plan& plan, std::FILE* err) {
    const std::string& target = plan.target;
    // Before any other verdict: no other check makes such a disk right.
    if (const int sector_bytes =
            get_bytes_per_sector(open_physical_disk(kTargetDiskNumber, disk_mode::read));
        sector_bytes > 0 &&
        !sector_sizes_match(static_cast<std::uint32_t>(plan.restore.sector_bytes), sector_bytes,
                            target, err)) {
        return kExitFailed;
    }
    const target_check sized =
        check_restore_target(kTargetDiskNumber, plan.header.backup_bytes, file_system_probe::look,
                             plan.restore.sector_bytes);
    const auto target_bytes =
        static_cast<std::uint64_t>(sized.disk_bytes > 0 ? sized.disk_bytes : 0);
    plan.target_bytes = target_bytes / static_cast<std::uint64_t>(plan.restore.sector_bytes) *
                        static_cast<std::uint64_t>(plan.restore.sector_bytes);
    if (const std::string who = describe_device(target, target_bytes); !who.empty())
        print_message(err, "復旧先: %s - %s", target.c_str(), who.c_str());
    // --fit: a smaller target takes the set's first bytes when all that
    // matters lies there (the set is read for it once the target passed
    // its own checks).
    if (plan.fit && sized.verdict == target_verdict::too_small && sized.value >= 512)
        plan.restore.fit_bytes = static_cast<std::uint64_t>(sized.value) / 512 * 512;
    const target_check check =
        plan.restore.fit_bytes != 0
            ? check_restore_target(kTargetDiskNumber, plan.write_bytes(), file_system_probe::look,
                                   plan.restore.sector_bytes)
            : sized;
    if (!explain(check, target, plan.write_bytes(), err)) {
        if (sized.verdict == target_verdict::too_small && !plan.fit && sized.value >= 512)
            advise_fit(plan.folder, plan.header.backup_bytes,
                       static_cast<std::uint64_t>(sized.value) / 512 * 512, plan.yes, err);
        return kExitFailed;
    }
    if (const int status = check_not_mounted(target, err); status != kExitDone) return status;
    if (const int status = consent_to_holdings(plan, check, target_bytes, err); status != kExitDone)
        return status;
    if (plan.restore.fit_bytes == 0) return kExitDone;
    return check_set_fits(plan.folder, plan.header.backup_bytes, plan.restore.fit_bytes, plan.yes,
                          &plan.restore, err);
}

// A GPT set: its protective MBR and primary header are written last, and
// onto a disk of another size mended with the backup moved to the disk's
// end, all worked out before anything is written.
int plan_gpt(restore_plan& plan, std::FILE* err) {
    set_image image(plan.folder, plan.header.backup_bytes, 1);
    silent_progress quiet;
    // A set that does not open is the engine's to name; one whose files
    // are not all at hand (it spans media) is restored as it is.
    if (!image.open(quiet)) {
        print_message(err,
                      "注意: バックアップデータを前もって読めないため、GPT があっても予備ヘッダを"
                      "移さず、そのまま復旧します。");
        return kExitDone;
    }
    const std::uint64_t target_bytes = plan.make_image               ? plan.header.backup_bytes
                                       : plan.restore.fit_bytes != 0 ? plan.restore.fit_bytes
                                                                     : plan.target_bytes;
    std::string why;
    switch (plan_gpt_mend(image, static_cast<std::uint32_t>(plan.restore.sector_bytes),
                          target_bytes, &plan.restore, &why)) {
        case gpt_mend_result::none:
            return kExitDone;
        case gpt_mend_result::planned:
            if (!plan.restore.last_tail.empty())
                print_message(err,
                              "GPT の予備ヘッダとパーテーション表を復旧先ディスクの終わりに移し、"
                              "主ヘッダと保護 MBR をそれに合わせて最後に書き込みます。");
            return kExitDone;
        case gpt_mend_result::failed:
            break;
    }
    print_message(err,
                  "GPT を復旧先ディスクの大きさに合わせられません (%s)。何も書き込んでいません。",
                  why.c_str());
    return kExitFailed;
}

// Every check of a restore, in the order the user hears of them; writes
// nothing (reads the set for --fit). kExitDone when the restore may go ahead.
int check_restore(restore_plan& plan, const disk_paths_scope& disks, std::FILE* err) {
    if (const int status = check_restore_set(plan, err); status != kExitDone) return status;
    if (const int status = check_restore_path(plan, err); status != kExitDone) return status;
    std::error_code error;
    plan.make_image = !fs::exists(plan.target, error);
    plan.restore.sector_bytes = static_cast<int>(set_sector_bytes(plan.folder));
    // An image file is a disk of 512-byte sectors.
    if (plan.make_image &&
        !sector_sizes_match(static_cast<std::uint32_t>(plan.restore.sector_bytes),
                            static_cast<int>(kSectorBytes), plan.target, err))
        return kExitFailed;
    if (plan.make_image) {
        if (const int status = check_image_can_be_made(plan.target, err); status != kExitDone)
            return status;
    }
    // Which disk the set was made from, and which is about to be
    // overwritten, where two look alike.
    if (source_disk made_from;
        read_source_disk(plan.folder.c_str(), &made_from) == source_disk_read::read) {
        if (prove_side_file(plan.folder.c_str(), kSourceDiskFileName) == side_proof::unproven) {
            print_message(
                err,
                "バックアップ元 (" KIRODA_SOURCE_DISK_FILE_NAME
                " がダイジェストファイルの記録と一致しないため、確かめられない記録です): %s",
                describe_source(made_from).c_str());
        } else {
            print_message(err, "バックアップ元: %s", describe_source(made_from).c_str());
        }
    }
    // An image still to be made is empty and of the set's size: the engine
    // checks it once it is there.
    if (!plan.make_image) {
        disks.add(kTargetDiskNumber, plan.target);
        if (const int status = check_restore_disk(plan, err); status != kExitDone) return status;
    }
    if (const int status = plan_gpt(plan, err); status != kExitDone) return status;
    // A rescue set: say before writing what the disk will lack.
    report_bad_sectors(plan.folder, err, "");
    return kExitDone;
}

// The plan in words, for --dry-run.
void print_restore_plan(const restore_plan& plan, std::FILE* out) {
    char bytes[kGroupedTextSize];
    format_uint64_grouped(bytes, plan.write_bytes());
    print(out, "予定: %s のバックアップデータから %s バイトを %s に書き込みます。\n",
          plan.folder.c_str(), bytes, plan.target.c_str());
    if (plan.make_image)
        print(out, "  復旧先のイメージファイルを作ります: %s\n", plan.target.c_str());
    if (!plan.over.empty())
        print(out, "  復旧先の %s を上書きします (--force)\n", plan.over.c_str());
    print(out, "  %s\n",
          plan.restore.read_back ? localized("MBR を書く前に読み戻して確認します")
                                 : localized("読み戻し確認はしません (--no-readback)"));
    print(out, "--dry-run: 何も書き込んでいません。\n");
}

// The summary of a finished restore: a line, or with --json an object.
void report_restore(const restore_plan& plan, double seconds, std::FILE* out) {
    if (plan.json) {
        json_writer json(out);
        json.begin_object();
        json.text("result", "done");
        json.text("target", plan.target);
        json.number("bytes", plan.write_bytes());
        json.number("milliseconds", static_cast<std::uint64_t>(seconds * 1000));
        json.boolean("read_back", plan.restore.read_back);
        json.end_object();
        return;
    }
    char bytes[kGroupedTextSize];
    format_uint64_grouped(bytes, plan.write_bytes());
    print(out, "復旧完了: %s バイトを %s に書き込み%sました (%.1f MB/s、経過 %s)%s\n", bytes,
          plan.target.c_str(), plan.restore.read_back ? localized("、読み戻して確認し") : "",
          static_cast<double>(plan.write_bytes()) / 1e6 / (seconds > 0 ? seconds : 1e-9),
          clock_text(seconds).c_str(), bad_sector_summary(plan.folder).c_str());
}

// Carries out a checked plan: the image, the engine, the summary.
int run_restore(const restore_plan& plan, const disk_paths_scope& disks, std::FILE* out,
                std::FILE* err) {
    restore_options restore = plan.restore;
    if (plan.make_image && !create_image(plan.target, plan.header.backup_bytes, err))
        return kExitFailed;
    made_image image(plan.target, plan.make_image, err);
    disks.add(kTargetDiskNumber, plan.target);
    restore.target_is_zeros = plan.make_image || plan.zeros_image;
    // A spinning disk would seek between the read-back and the writes: it is
    // read back after the last write instead.
    if (identity_of(plan.target).rotational != 1) restore.read_back_behind = kReadBehindBytes;
    const std::uint64_t backup_bytes = plan.header.backup_bytes;
    // The engine reads the whole set (with --fit it checks that what the
    // target cannot take is zeros) and writes what fits; what is read back
    // after the last write is all of that, or what the read-back behind the
    // writes has not done yet.
    run_display display = plan.display;
    if (restore.read_back)
        display.read_back_bytes = restore.read_back_behind == 0
                                      ? plan.write_bytes()
                                      : std::min(plan.write_bytes(), kReadBehindBytes);
    const engine_outcome outcome = run_engine(
        err, backup_bytes, plan.yes,
        [&](progress& p) {
            return restore_disk(p, kTargetDiskNumber, plan.folder.c_str(), backup_bytes, restore);
        },
        display);
    if (outcome.exit_status != kExitDone) return outcome.exit_status;
    image.keep();
    report_restore(plan, outcome.seconds, out);
    return kExitDone;
}

}  // namespace

int run_restore_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    restore_plan plan;
    if (const int status = parse_restore(args, &plan, err); status != kExitDone) return status;
    const disk_paths_scope disks;
    if (const int status = check_restore(plan, disks, err); status != kExitDone)
        return with_json_outcome(plan.json, status, out);
    if (plan.dry_run) {
        print_restore_plan(plan, out);
        return kExitDone;
    }
    return with_json_outcome(plan.json, run_restore(plan, disks, out, err), out);
}

}  // namespace kiroda::cli
