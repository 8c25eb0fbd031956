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

// A target image that does not exist yet is made at the set's size (sparse).
// `created` tells whether this call made it.
bool create_image_if_missing(const std::string& target, std::uint64_t bytes, std::FILE* err,
                             bool* created) {
    std::error_code error;
    *created = false;
    if (fs::exists(target, error)) return true;
    if (!may_create_at(target)) {
        say(err, "復旧先のデバイスがありません: %s", target.c_str());
        return false;
    }
    // Exclusive: a file that appears meanwhile is not truncated, and only
    // a file made here is ever removed again.
    const int fd =
        ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        say(err, "復旧先のイメージファイルを作れません: %s (%s)", target.c_str(),
            std::strerror(errno));
        return false;
    }
    *created = true;
    const bool sized = ::ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    const int size_error = errno;
    ::close(fd);
    if (!sized) {
        say(err, "復旧先のイメージファイルを作れません: %s (%s)", target.c_str(),
            std::strerror(size_error));
        ::unlink(target.c_str());
        *created = false;
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
            say(err_,
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

bool explain(const target_check& check, const std::string& target, std::uint64_t bytes,
             std::FILE* err) {
    char need[kGroupedTextSize], have[kGroupedTextSize];
    switch (check.verdict) {
        case target_verdict::ok:
            return true;
        case target_verdict::cannot_open:
            say(err, "復旧先ディスクを開けません: %s%s", target.c_str(),
                system_reason(take_system_error()).c_str());
            break;
        case target_verdict::bad_sector_size:
            say(err, "復旧先ディスクのセクタサイズ(%lld)には対応していません。",
                static_cast<long long>(check.value));
            break;
        case target_verdict::bad_media:
            say(err, "復旧先ディスクのメディアタイプ(%s)には対応していません。",
                localized(media_type_name(static_cast<std::uint8_t>(check.value))));
            break;
        case target_verdict::too_small:
            format_uint64_grouped(need, bytes);
            format_int64_grouped(have, check.value);
            say(err, "復旧先ディスクが小さすぎます: %s バイト必要ですが、%s バイトです。", need,
                have);
            break;
        case target_verdict::cannot_seek:
        case target_verdict::cannot_read:
            say(err, "復旧先ディスクの先頭セクタを読めません: %s%s", target.c_str(),
                system_reason(take_system_error()).c_str());
            break;
        case target_verdict::has_partitions:
            say(err,
                "復旧先ディスクにはパーテーションがあります。空のディスクにのみ復旧できます: %s",
                target.c_str());
            break;
    }
    return false;
}

// --fit onto a target of `target_bytes`, smaller than the set: reads the
// set for its partitions' reach and the data past the target's end, and says
// what keeps it from fitting. kExitDone when it fits.
int check_set_fits(const std::string& folder, std::uint64_t backup_bytes,
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
        say(err,
            "復旧先ディスクはバックアップデータより小さいため、先頭の %s バイトだけを書き込みます"
            " (パーテーションは %s バイトまでで、その後ろはすべて 0 です)。",
            target, reach);
        return kExitDone;
    }
    if (check.chain_cut) {
        say(err,
            "バックアップデータの拡張パーテーションの連鎖が途切れているため、"
            "復旧先に収まるかどうか分かりません。");
    }
    if (check.partitions_end > target_bytes) {
        say(err,
            "復旧先ディスクに収まりません: パーテーションはセクタ %s (%s バイト) まで使いますが、"
            "復旧先ディスクは %s バイトです。",
            sector, reach, target);
    }
    if (check.nonzero_past_end > 0) {
        char nonzero[kGroupedTextSize];
        format_uint64_grouped(nonzero, check.nonzero_past_end);
        say(err,
            "復旧先ディスクに収まりません: 復旧先ディスクの終わり (%s バイト) より後ろに、"
            "0 でないデータが %s バイトあります。",
            target, nonzero);
    }
    return kExitFailed;
}

}  // namespace

int run_restore_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const parsed_options options =
        parse_options(args, {"--fit", "--no-readback", "--force", "--yes"});
    if (!options.error.empty() || options.operands.size() != 2) {
        if (!options.error.empty()) print(err, "krdtool restore: %s\n", options.error.c_str());
        print(err,
              "使い方: krdtool restore [--force] [--fit] [--no-readback] [--yes] SETDIR TARGET\n");
        return kExitUsage;
    }
    const std::string& folder = options.operands[0];
    const std::string& target = options.operands[1];
    restore_options restore;
    restore.read_back = !options.has("--no-readback");
    restore.threads = worker_threads_from_environment();
    // A damaged digest file leaves the set unproven: only --force goes on.
    restore.digests = options.has("--force") ? damaged_digests::go_on : damaged_digests::refuse;
    backup_header header{};
    {
        terminal_messages messages(err, answers_for(err, options.has("--yes")));
        if (read_header_file(nullptr, folder.c_str(), &header) != header_read::read)
            return kExitFailed;
        if (confirm_header_version(nullptr, header) != kIdOk) return kExitFailed;
    }
    const bool force = options.has("--force");
    int reason = 0;
    switch (check_target_path(folder, target, force, &reason)) {
        case target_refusal::none:
            break;
        case target_refusal::not_a_disk:
            say(err, "復旧先はブロックデバイスでもイメージファイルでもありません: %s",
                target.c_str());
            return kExitFailed;
        case target_refusal::inside_the_set:
            say(err,
                "復旧先がバックアップデータのフォルダの中にあります。バックアップデータを壊すため、復旧できません: %s",
                target.c_str());
            return kExitFailed;
        case target_refusal::holds_the_set:
            say(err,
                "バックアップデータが復旧先の上にあります (復旧先のファイルシステムの中)。"
                "別のディスクに復旧して下さい。\n%s",
                folder.c_str());
            return kExitFailed;
        case target_refusal::holds_data:
            say(err,
                "復旧先のイメージファイルには既にデータがあります: %s\n"
                "上書きしてよい場合は --force を付けて下さい。",
                target.c_str());
            return kExitFailed;
        case target_refusal::unreadable:
            say(err, "復旧先のイメージファイルを読めません: %s%s", target.c_str(),
                system_reason(reason).c_str());
            return kExitFailed;
    }
    bool created = false;
    if (!create_image_if_missing(target, header.backup_bytes, err, &created)) return kExitFailed;
    made_image image(target, created, err);
    register_disk_path(kTargetDiskNumber, target);
    // Which disk the set was made from, and which is about to be
    // overwritten, where two look alike.
    if (source_disk made_from;
        read_source_disk(folder.c_str(), &made_from) == source_disk_read::read)
        say(err, "バックアップ元: %s", describe_source(made_from).c_str());
    const target_check sized = check_restore_target(kTargetDiskNumber, header.backup_bytes);
    const auto target_bytes =
        static_cast<std::uint64_t>(sized.disk_bytes > 0 ? sized.disk_bytes : 0);
    if (const std::string who = describe_device(target, target_bytes); !who.empty())
        say(err, "復旧先: %s - %s", target.c_str(), who.c_str());
    // --fit: a smaller target takes the set's first bytes when all that
    // matters lies there (the set is read for it once the target passed
    // its own checks).
    if (options.has("--fit") && sized.verdict == target_verdict::too_small && sized.value >= 512)
        restore.fit_bytes = static_cast<std::uint64_t>(sized.value) / 512 * 512;
    const std::uint64_t write_bytes =
        restore.fit_bytes != 0 ? restore.fit_bytes : header.backup_bytes;
    if (!explain(
            restore.fit_bytes != 0 ? check_restore_target(kTargetDiskNumber, write_bytes) : sized,
            target, write_bytes, err)) {
        clear_disk_paths();
        return kExitFailed;
    }
    // A file system written straight onto the disk has no partition table
    // for the rules to see, but it is in use all the same.
    if (const char* found = find_target_signature(kTargetDiskNumber); found != nullptr && !force) {
        say(err,
            "復旧先の先頭に %s があります (パーテーションのないファイルシステム): %s\n"
            "上書きしてよい場合は --force を付けて下さい。",
            found, target.c_str());
        clear_disk_paths();
        return kExitFailed;
    }
    if (restore.fit_bytes != 0) {
        const int fits = check_set_fits(folder, header.backup_bytes, restore.fit_bytes,
                                        options.has("--yes"), err);
        if (fits != kExitDone) {
            clear_disk_paths();
            return fits;
        }
    }
    restore.target_is_zeros = created;
    // A spinning disk would seek between the read-back and the writes: it is
    // read back after the last write instead.
    if (identity_of(target).rotational != 1) restore.read_back_behind = kReadBehindBytes;
    // A rescue set: say before writing what the disk will lack.
    report_bad_sectors(folder, err, "");
    const engine_outcome outcome =
        run_engine(err, header.backup_bytes, options.has("--yes"), [&](progress& p) {
            return restore_disk(p, kTargetDiskNumber, folder.c_str(), header.backup_bytes, restore);
        });
    clear_disk_paths();
    if (outcome.exit_status != kExitDone) return outcome.exit_status;
    image.keep();
    char bytes[kGroupedTextSize];
    format_uint64_grouped(bytes, write_bytes);
    print(out, "復旧完了: %s バイトを %s に書き込み%sました (%.1f MB/s)%s\n", bytes, target.c_str(),
          restore.read_back ? localized("、読み戻して確認し") : "",
          static_cast<double>(write_bytes) / 1e6 / (outcome.seconds > 0 ? outcome.seconds : 1e-9),
          bad_sector_summary(folder).c_str());
    return kExitDone;
}

}  // namespace kiroda::cli
