#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <filesystem>

#include "cli/bad_sector_report.h"
#include "cli/command.h"
#include "cli/disks_command.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/target_guard.h"
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
            print_message(
                err,
                "復旧先ディスクにはパーテーションがあります。空のディスクにのみ復旧できます: %s",
                target.c_str());
            break;
    }
    return false;
}

// --fit onto a target of `target_bytes`, smaller than the set: reads the
// set for its partitions' reach and the data past the target's end, and says
// what keeps it from fitting. kExitDone when it fits.
[[nodiscard]] int check_set_fits(const std::string& folder, std::uint64_t backup_bytes,
                                 std::uint64_t target_bytes, bool yes, std::FILE* err) {
    fit_check check;
    const engine_outcome outcome =
        run_engine(err, backup_bytes - target_bytes, yes, [&](progress& p) {
            return check_fit(p, folder.c_str(), backup_bytes, target_bytes, &check);
        });
    if (outcome.exit_status != kExitDone) return outcome.exit_status;
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
    if (check.partitions_end > target_bytes) {
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
    backup_header header{};
    restore_options restore;
    bool make_image = false;                 // the target image is made at the set's size
    const char* over_file_system = nullptr;  // --force: the file system written over

    std::uint64_t write_bytes() const {
        return restore.fit_bytes != 0 ? restore.fit_bytes : header.backup_bytes;
    }
};

// Options and operands; kExitUsage after the usage text.
int parse_restore(const std::vector<std::string>& args, restore_plan* plan, std::FILE* err) {
    const parsed_options options =
        parse_options(args, {"--dry-run", "--fit", "--no-readback", "--force", "--yes"});
    if (!options.error.empty() || options.operands.size() != 2) {
        if (!options.error.empty()) print(err, "krdtool restore: %s\n", options.error.c_str());
        print(err,
              "使い方: krdtool restore [--dry-run] [--force] [--fit] [--no-readback] [--yes] "
              "SETDIR TARGET\n");
        return kExitUsage;
    }
    plan->folder = options.operands[0];
    plan->target = options.operands[1];
    plan->force = options.has("--force");
    plan->fit = options.has("--fit");
    plan->yes = options.has("--yes");
    plan->dry_run = options.has("--dry-run");
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
int check_restore_path(const restore_plan& plan, std::FILE* err) {
    const std::string& target = plan.target;
    int reason = 0;
    switch (check_target_path(plan.folder, target, plan.force, &reason)) {
        case target_refusal::none:
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
        case target_refusal::holds_data:
            print_message(err,
                          "復旧先のイメージファイルには既にデータがあります: %s\n"
                          "上書きしてよい場合は --force を付けて下さい。",
                          target.c_str());
            break;
        case target_refusal::unreadable:
            print_message(err, "復旧先のイメージファイルを読めません: %s%s", target.c_str(),
                          system_reason(reason).c_str());
            break;
    }
    return kExitFailed;
}

// The target disk's verdict (engine/restore_target.h) for the set, or for
// its first bytes with --fit; a file system on it only with --force.
int check_restore_disk(restore_plan& plan, std::FILE* err) {
    const std::string& target = plan.target;
    const target_check sized = check_restore_target(kTargetDiskNumber, plan.header.backup_bytes);
    const auto target_bytes =
        static_cast<std::uint64_t>(sized.disk_bytes > 0 ? sized.disk_bytes : 0);
    if (const std::string who = describe_device(target, target_bytes); !who.empty())
        print_message(err, "復旧先: %s - %s", target.c_str(), who.c_str());
    // --fit: a smaller target takes the set's first bytes when all that
    // matters lies there (the set is read for it once the target passed
    // its own checks).
    if (plan.fit && sized.verdict == target_verdict::too_small && sized.value >= 512)
        plan.restore.fit_bytes = static_cast<std::uint64_t>(sized.value) / 512 * 512;
    const target_check check = plan.restore.fit_bytes != 0
                                   ? check_restore_target(kTargetDiskNumber, plan.write_bytes())
                                   : sized;
    if (!explain(check, target, plan.write_bytes(), err)) return kExitFailed;
    // A file system written straight onto the disk has no partition table
    // for the rules to see, but it is in use all the same.
    if (check.needs_consent() && !plan.force) {
        print_message(err,
                      "復旧先の先頭に %s があります (パーテーションのないファイルシステム): %s\n"
                      "上書きしてよい場合は --force を付けて下さい。",
                      check.file_system, target.c_str());
        return kExitFailed;
    }
    if (check.needs_consent()) plan.over_file_system = check.file_system;
    if (plan.restore.fit_bytes == 0) return kExitDone;
    return check_set_fits(plan.folder, plan.header.backup_bytes, plan.restore.fit_bytes, plan.yes,
                          err);
}

// Every check of a restore, in the order the user hears of them; writes
// nothing (reads the set for --fit). kExitDone when the restore may go ahead.
int check_restore(restore_plan& plan, const disk_paths_scope& disks, std::FILE* err) {
    if (const int status = check_restore_set(plan, err); status != kExitDone) return status;
    if (const int status = check_restore_path(plan, err); status != kExitDone) return status;
    std::error_code error;
    plan.make_image = !fs::exists(plan.target, error);
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
    if (plan.over_file_system != nullptr)
        print(out, "  先頭の %s を上書きします (--force)\n", plan.over_file_system);
    print(out, "  %s\n",
          plan.restore.read_back ? localized("MBR を書く前に読み戻して確認します")
                                 : localized("読み戻し確認はしません (--no-readback)"));
    print(out, "--dry-run: 何も書き込んでいません。\n");
}

// Carries out a checked plan: the image, the engine, the summary.
int run_restore(const restore_plan& plan, const disk_paths_scope& disks, std::FILE* out,
                std::FILE* err) {
    restore_options restore = plan.restore;
    if (plan.make_image && !create_image(plan.target, plan.header.backup_bytes, err))
        return kExitFailed;
    made_image image(plan.target, plan.make_image, err);
    disks.add(kTargetDiskNumber, plan.target);
    restore.target_is_zeros = plan.make_image;
    // A spinning disk would seek between the read-back and the writes: it is
    // read back after the last write instead.
    if (identity_of(plan.target).rotational != 1) restore.read_back_behind = kReadBehindBytes;
    const std::uint64_t backup_bytes = plan.header.backup_bytes;
    const engine_outcome outcome = run_engine(err, backup_bytes, plan.yes, [&](progress& p) {
        return restore_disk(p, kTargetDiskNumber, plan.folder.c_str(), backup_bytes, restore);
    });
    if (outcome.exit_status != kExitDone) return outcome.exit_status;
    image.keep();
    char bytes[kGroupedTextSize];
    format_uint64_grouped(bytes, plan.write_bytes());
    print(out, "復旧完了: %s バイトを %s に書き込み%sました (%.1f MB/s)%s\n", bytes,
          plan.target.c_str(), restore.read_back ? localized("、読み戻して確認し") : "",
          static_cast<double>(plan.write_bytes()) / 1e6 /
              (outcome.seconds > 0 ? outcome.seconds : 1e-9),
          bad_sector_summary(plan.folder).c_str());
    return kExitDone;
}

}  // namespace

int run_restore_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    restore_plan plan;
    if (const int status = parse_restore(args, &plan, err); status != kExitDone) return status;
    const disk_paths_scope disks;
    if (const int status = check_restore(plan, disks, err); status != kExitDone) return status;
    if (plan.dry_run) {
        print_restore_plan(plan, out);
        return kExitDone;
    }
    return run_restore(plan, disks, out, err);
}

}  // namespace kiroda::cli
