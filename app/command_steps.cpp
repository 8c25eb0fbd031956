#include "app/command_steps.h"

#include <cstring>

#include "engine/engine_texts.h"
#include "ui/program.h"
#include "ui/say.h"
#include "ui/stored_text.h"
#include "disk/physical_disk.h"
#include "engine/header_file.h"
#include "engine/restore_target.h"
#include "util/number_format.h"

namespace kiroda {

namespace {

constexpr enciphered_text kFolderOnSource{
    "バックアップ先のフォルダが元ディスク上にあります。\n"
    "元ディスク以外のディスクのフォルダを指定して下さい。\n\n"
    "元ディスク: ディスク %d\nフォルダのディスク: ディスク %d\n%s"};
constexpr enciphered_text kConfirmBackup{
    "ディスクのバックアップを行います。\n\n元ディスク: ディスク %d\nバックアップ先: %s\n"
    "バックアップ範囲: %s\nNULLPASS(空き領域のゼロ埋め): %s\n\nよろしいですか?"};
constexpr enciphered_text kConfirmVerify{
    "バックアップしたデータの検査を行います。\n\nバージョン: V%.2f\n作成日: %d/%d/%d\n"
    "元ディスク: ディスク %d\nバックアップサイズ: %s バイト\nバックアップデータ: %s\n\n"
    "よろしいですか?"};
constexpr enciphered_text kNoFullPath{
    "バックアップデータのフォルダ名を完全なパスにできません。\n\n%s"};
constexpr enciphered_text kSetOnTarget{
    "バックアップデータが復旧先ディスク上にあります。\n"
    "バックアップデータのあるディスクには復旧できません。\n\n"
    "復旧先ディスク: ディスク %d\nフォルダのディスク: ディスク %d\n%s"};
constexpr enciphered_text kTargetTooSmall{
    "復旧先ディスクの容量が足りません。\n\n復旧先ディスク: %s バイト\nバックアップ: %s バイト"};
constexpr enciphered_text kCannotReadTarget{"復旧先ディスクの先頭セクタを読み込めません。"};
constexpr enciphered_text kTargetHasPartitions{
    "復旧先ディスク(ディスク %d)にはパーテーションがあります。\n"
    "パーテーションのない空のディスクにのみ復旧できます。\n\n"
    "第1パーテーション: %s バイト\n第2パーテーション: %s バイト\n"
    "第3パーテーション: %s バイト\n第4パーテーション: %s バイト"};
constexpr enciphered_text kConfirmRestore{
    "ディスクの復旧を行います。\n復旧先ディスクの内容はすべて失われます。\n\n"
    "復旧先ディスク: ディスク %d (%s バイト)\n\nバージョン: V%.2f\n作成日: %d/%d/%d\n"
    "元ディスク: ディスク %d\nバックアップサイズ: %s バイト\nバックアップデータ: %s\n\n"
    "復旧が終わるとシャットダウンします。\nよろしいですか?"};

// The same, when the target holds a file system without a partition table.
constexpr enciphered_text kConfirmRestoreOverFileSystem{
    "ディスクの復旧を行います。\n復旧先ディスクの内容はすべて失われます。\n\n"
    "復旧先ディスク: ディスク %d (%s バイト)\n"
    "※復旧先ディスクの先頭に %s があります。その内容も失われます。\n\nバージョン: V%.2f\n作成日: %d/%d/%d\n"
    "元ディスク: ディスク %d\nバックアップサイズ: %s バイト\nバックアップデータ: %s\n\n"
    "復旧が終わるとシャットダウンします。\nよろしいですか?"};

// Plain texts: the target's sector size (%d) and media type name (%s).
constexpr const char* kBadTargetSectorSize =
    "復旧ディスクのセクタサイズが異常です。\n本プログラムは、５１２Ｂのみに対応です。\n　(%d)";
constexpr const char* kBadTargetMedia =
    "復旧ディスクのメディアタイプが異常です。\n本プログラムは、固定ディスクとリムーバブルディスク\n"
    "のみに対応しています。\n　(%s)";

// The chosen set folder without a trailing backslash ("E:\" gives "E:").
void drop_trailing_separator(char* folder) {
    char normal[kPathCapacity];
    if (normalise_folder(folder, normal, sizeof normal)) std::strcpy(folder, normal);
}

// Reads the header of the set folder: 1 read, nothing when the dialog stays
// open (damaged), -1 otherwise. Every failure has shown its message.
std::optional<outcome> read_set_header(const wizard_ui& ui, wizard_state& s) {
    switch (read_header_file(ui.owner(), s.set_folder, &s.header)) {
        case header_read::read:
            return kEngineDone;
        case header_read::damaged:
            return std::nullopt;
        case header_read::cannot_open:
        case header_read::short_read:
            break;
    }
    return kEngineFailed;
}

// Shows why the target disk cannot take the set; false for a usable disk.
bool refuse_target(const wizard_ui& ui, const wizard_state& s, const target_check& c) {
    char have[kGroupedTextSize], need[kGroupedTextSize];
    char parts[4][kGroupedTextSize];
    switch (c.verdict) {
        case target_verdict::ok:
            return false;
        case target_verdict::cannot_open:
            say(ui.owner(), kMbOk, kCannotOpenTarget, s.target_disk);
            break;
        case target_verdict::bad_sector_size:
            say_plain(ui.owner(), kMbOk, kBadTargetSectorSize, static_cast<int>(c.value));
            break;
        case target_verdict::bad_media:
            say_plain(ui.owner(), kMbOk, kBadTargetMedia,
                      media_type_name(static_cast<std::uint8_t>(c.value)));
            break;
        case target_verdict::too_small:
            format_int64_grouped(have, c.value);
            format_uint64_grouped(need, s.header.backup_bytes);
            say(ui.owner(), kMbOk, kTargetTooSmall, have, need);
            break;
        case target_verdict::cannot_seek:
            say(ui.owner(), kMbOk, kCannotSeekTarget, s.target_disk);
            break;
        case target_verdict::cannot_read:
            say(ui.owner(), kMbOk, kCannotReadTarget);
            break;
        case target_verdict::has_partitions:
            for (int i = 0; i < 4; ++i) format_uint64_grouped(parts[i], c.partition_bytes[i]);
            say(ui.owner(), kMbOk, kTargetHasPartitions, s.target_disk, parts[0], parts[1],
                parts[2], parts[3]);
            break;
    }
    return true;
}

}  // namespace

std::optional<outcome> run_backup_path(wizard_ui& ui, wizard_state& s) {
    enumerate_disks(s.disks);
    const int chosen = ui.choose_disk(disk_role::source, s.disks, &s.source_disk);
    if (chosen != 1) return chosen == 0 ? kEngineStopped : kEngineFailed;
    for (;;) {
        if (ui.choose_backup_folder(s.backup_folder) != 1) return kEngineStopped;
        // Any extent: a spanned volume may lie partly on the disk being read.
        if (!path_on_disk(s.backup_folder, s.source_disk)) break;
        say(ui.owner(), kMbOk, kFolderOnSource, s.source_disk, path_disk_number(s.backup_folder),
            s.backup_folder);
    }
    backup_request request;
    request.source_disk = s.source_disk;
    request.folder = s.backup_folder;
    request.scope = kScopeWholeDisk;
    request.zero_fill = 0;
    // Only an explicit Cancel stops here; the flow asks its own last question.
    if (say(ui.owner(), kMbOkCancel, kConfirmBackup, s.source_disk, s.backup_folder,
            backup_scope_text(request.scope), zero_fill_text(request.zero_fill)) == kIdCancel) {
        return kEngineStopped;
    }
    return ui.run_backup(request);
}

std::optional<outcome> run_verify_path(wizard_ui& ui, wizard_state& s) {
    if (ui.choose_header_file(s.set_folder) != 1) return kEngineStopped;
    drop_trailing_separator(s.set_folder);
    const std::optional<outcome> read = read_set_header(ui, s);
    if (read != kEngineDone) return read;
    if (confirm_header_version(ui.owner(), s.header) != kIdOk) return kEngineStopped;
    char bytes[kGroupedTextSize];
    format_uint64_grouped(bytes, s.header.backup_bytes);
    if (say(ui.owner(), kMbOkCancel, kConfirmVerify, s.header.version, int{s.header.created.year},
            int{s.header.created.month}, int{s.header.created.day}, int{s.header.source_disk},
            bytes, s.set_folder) != kIdOk) {
        return kEngineStopped;
    }
    return ui.run_verify(s.set_folder, s.header.backup_bytes);
}

std::optional<outcome> run_restore_path(wizard_ui& ui, wizard_state& s) {
    if (ui.choose_header_file(s.set_folder) != 1) return kEngineStopped;
    drop_trailing_separator(s.set_folder);
    enumerate_disks(s.disks);
    const int chosen = ui.choose_disk(disk_role::target, s.disks, &s.target_disk);
    if (chosen != 1) return chosen == 0 ? kEngineStopped : kEngineFailed;

    char full[kFullPathCapacity];
    if (!ui.full_path(s.set_folder, full, sizeof full)) {
        say(ui.owner(), kMbOk, kNoFullPath, s.set_folder);
        return kEngineFailed;
    }
    // Any extent, as for a backup folder: the set must survive the restore.
    if (path_on_disk(full, s.target_disk)) {
        say(ui.owner(), kMbOk, kSetOnTarget, s.target_disk, path_disk_number(s.set_folder),
            s.set_folder);
        return kEngineFailed;
    }
    const std::optional<outcome> read = read_set_header(ui, s);
    if (read != kEngineDone) return read;
    if (confirm_header_version(ui.owner(), s.header) != kIdOk) return kEngineStopped;

    // The restore engine repeats these checks just before it writes.
    const target_check check = check_restore_target(s.target_disk, s.header.backup_bytes);
    if (refuse_target(ui, s, check)) return kEngineFailed;

    char target_bytes[kGroupedTextSize], bytes[kGroupedTextSize];
    format_int64_grouped(target_bytes, check.disk_bytes);
    format_uint64_grouped(bytes, s.header.backup_bytes);
    // A file system straight on the disk is written over only when the
    // question that names it is answered.
    const char* found = check.file_system;
    const int answer =
        !check.needs_consent()
            ? say(ui.owner(), kMbOkCancel, kConfirmRestore, s.target_disk, target_bytes,
                  s.header.version, int{s.header.created.year}, int{s.header.created.month},
                  int{s.header.created.day}, int{s.header.source_disk}, bytes, s.set_folder)
            : say(ui.owner(), kMbOkCancel, kConfirmRestoreOverFileSystem, s.target_disk,
                  target_bytes, found, s.header.version, int{s.header.created.year},
                  int{s.header.created.month}, int{s.header.created.day}, int{s.header.source_disk},
                  bytes, s.set_folder);
    if (answer != kIdOk) return kEngineStopped;
    // A confirmed restore always ends in the shutdown countdown when it completes.
    g_shutdown_at_end = 1;
    return ui.run_restore(s.target_disk, s.set_folder, s.header.backup_bytes);
}

}  // namespace kiroda
