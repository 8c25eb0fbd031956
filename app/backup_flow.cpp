#include "app/backup_flow.h"

#include <cstring>

#include "engine/engine_texts.h"
#include "ui/say.h"
#include "ui/stored_text.h"
#include "disk/physical_disk.h"
#include "engine/backup_resume.h"
#include "engine/data_file.h"
#include "format/header_file.h"
#include "util/free_space.h"
#include "util/number_format.h"
#include "util/path_query.h"

namespace kiroda {

namespace {

constexpr enciphered_text kFolderOnSource{
    "バックアップ先のフォルダが元ディスク上にあります。\n"
    "バックアップは、元ディスク以外のディスクに保存して下さい。\n\n"
    "元ディスク: ディスク %d\nフォルダのディスク: ディスク %d\n%s"};
constexpr enciphered_text kFolderTooLong{
    "バックアップ先のフォルダ名が長すぎます。\n(%d バイトまで)\n\n%s"};
constexpr enciphered_text kNotAFolder{"バックアップ先のフォルダがありません。\n\n%s"};
constexpr enciphered_text kProgramCopyThere{
    "バックアップ先のフォルダには既にプログラム(KIRODA.EXE)があります。\n"
    "別のフォルダを指定して下さい。\n\n%s"};
constexpr enciphered_text kSetThere{
    "バックアップ先のフォルダには既にバックアップデータがあります。\n"
    "別のフォルダを指定して下さい。\n\n%s"};
constexpr enciphered_text kBadSectorSize{
    "元ディスクのセクタサイズが異常です。\n本プログラムは、512 バイトのセクタのみに対応しています。\n"
    "(%d)"};
constexpr enciphered_text kSizeUnknown{
    "元ディスク(ディスク %d)の大きさを調べられないか、512 バイトに足りません。\n"
    "バックアップできません。"};
constexpr enciphered_text kSeekFailed{"元ディスクの先頭に移動できません。"};
constexpr enciphered_text kReadFailed{"元ディスクの先頭セクタを読み込めません。"};
constexpr enciphered_text kNoSignature{
    "元ディスクの先頭セクタにパーテーションテーブルがありません。(AA55)"};
constexpr enciphered_text kNoPartition{"元ディスクに有効なパーテーションがありません。"};
constexpr enciphered_text kSpaceMayBeShort{
    "バックアップ先の空き容量が足りない可能性があります。\n"
    "(データがあまり圧縮できないと、途中で容量が足りなくなります)\n\n"
    "元ディスク: ディスク %d\nバックアップするサイズ: %s バイト\nバックアップ先: %s\n"
    "空き容量: %s バイト\nバックアップ範囲: %s\nNULLPASS(空き領域のゼロ埋め): %s\n\n"
    "プログラム: %s\nコピー先: %s\n\nこのまま続けますか?"};
constexpr enciphered_text kLastQuestion{
    "次の内容でバックアップを開始します。\n\n"
    "元ディスク: ディスク %d\nバックアップするサイズ: %s バイト\nバックアップ先: %s\n"
    "空き容量: %s バイト\nバックアップ範囲: %s\nNULLPASS(空き領域のゼロ埋め): %s\n\n"
    "プログラム: %s\nコピー先: %s\n\nよろしいですか?"};
constexpr enciphered_text kOfferResume{
    "バックアップ先のフォルダには、このディスク(ディスク %d)の未完成のバックアップデータがあります。\n\n%s\n"
    "作成日時: %d/%d/%d %02d:%02d:%02d\n\n"
    "このバックアップデータを続けますか?\n"
    "(最後のブロックの次から続けます。中止すると、何も書き込まずに終わります)\n\n"
    "続ける: OK　　中止: キャンセル"};
constexpr enciphered_text kLastQuestionResume{
    "次の内容でバックアップを続けます。\n\n"
    "元ディスク: ディスク %d\nバックアップするサイズ: %s バイト\nバックアップ先: %s\n"
    "空き容量: %s バイト\nNULLPASS(空き領域のゼロ埋め): %s\n\nよろしいですか?"};
constexpr enciphered_text kCopyFailed{
    "プログラムをバックアップ先にコピーできませんでした。\n"
    "プログラムのコピーなしでバックアップを続けます。\n\n"
    "バックアップ先: %s\nプログラムのフォルダ: %s"};

// Plain text: the media type of the source disk is neither fixed nor removable.
constexpr const char* kBadMedia =
    "バックアップ元ディスクのメディアタイプが異常です。\n本プログラムは、固定ディスクとリムーバブルディスク\n"
    "のみに対応しています。\n　(%s)";

// The folder must exist and hold neither a program copy nor any file or
// folder named like part of a set: a set is never written over another.
bool folder_may_take_set(window_handle owner, const char* folder) {
    if (check_folder_is_folder(folder) != folder_outcome::ok) {
        say(owner, kMbOk, kNotAFolder, folder);
        return false;
    }
    // The folder is bounded already, so the program copy's path always forms.
    const folder_check held = check_folder_holds_no_set(folder);
    switch (held.outcome) {
        case folder_outcome::ok:
            return true;
        case folder_outcome::program_copy_there:
            say(owner, kMbOk, kProgramCopyThere, held.path);
            return false;
        case folder_outcome::set_there:
            say(owner, kMbOk, kSetThere, held.path);
            return false;
        default:
            say(owner, kMbOk, kFolderTooLong, static_cast<int>(kLongestBackupFolder), folder);
            return false;
    }
}

// Checks the source disk and works out the bytes to back up; false after
// the outcome's message.
bool measure_source(window_handle owner, const backup_request& r, std::uint64_t* backup_size) {
    const source_check c = check_source(r.source_disk, r.scope == kScopeValidPartitions
                                                           ? backup_extent::valid_partitions
                                                           : backup_extent::whole_disk);
    switch (c.outcome) {
        case source_outcome::ok:
            *backup_size = c.backup_bytes;
            return true;
        case source_outcome::cannot_open:
            say(owner, kMbOk, kCannotOpenSource, r.source_disk);
            break;
        case source_outcome::bad_sector_size:
            say(owner, kMbOk, kBadSectorSize, c.sector_size);
            break;
        case source_outcome::bad_media:
            say_plain(owner, kMbOk, kBadMedia, media_type_name(c.media));
            break;
        case source_outcome::size_unknown:
            say(owner, kMbOk, kSizeUnknown, r.source_disk);
            break;
        case source_outcome::cannot_seek:
            say(owner, kMbOk, kSeekFailed);
            break;
        case source_outcome::cannot_read:
            say(owner, kMbOk, kReadFailed);
            break;
        case source_outcome::no_signature:
            say(owner, kMbOk, kNoSignature);
            break;
        case source_outcome::no_partition:
            say(owner, kMbOk, kNoPartition);
            break;
    }
    return false;
}

int ask_to_start(window_handle owner, const backup_request& r, const char* folder,
                 std::uint64_t backup_size, double free_bytes, const char* program,
                 const char* program_copy) {
    char size_text[kGroupedTextSize];
    char free_text[kGroupedTextSize];
    format_uint64_grouped(size_text, backup_size);
    format_uint64_grouped(free_text, whole_free_bytes(free_bytes));
    if (check_folder_space(backup_size, free_bytes) != space_outcome::enough) {
        return say(owner, kMbOkCancel, kSpaceMayBeShort, r.source_disk, size_text, folder,
                   free_text, backup_scope_text(r.scope), zero_fill_text(r.zero_fill), program,
                   program_copy);
    }
    return say(owner, kMbOkCancel, kLastQuestion, r.source_disk, size_text, folder, free_text,
               backup_scope_text(r.scope), zero_fill_text(r.zero_fill), program, program_copy);
}

// Where the folder already holds part of a set: measures the source and,
// when that part is an unfinished set of this disk, offers to go on with it
// (`*resume`). kEngineDone to go on, kEngineStopped when the user declines,
// kEngineFailed after a message.
outcome offer_resume(window_handle owner, const backup_request& r, const char* folder,
                     std::uint64_t* backup_size, bool* resume) {
    char found[kPathCapacity];
    if (!is_directory(folder) || !find_set_file(folder, found, sizeof found)) return kEngineDone;
    if (!measure_source(owner, r, backup_size)) return kEngineFailed;
    backup_header kept{};
    if (!unfinished_set_of_disk(folder, r.source_disk, *backup_size / kSectorBytes) ||
        !read_header_silently(folder, &kept))
        return kEngineDone;
    const system_time& t = kept.created;
    if (say(owner, kMbOkCancel, kOfferResume, r.source_disk, folder, int{t.year}, int{t.month},
            int{t.day}, int{t.hour}, int{t.minute}, int{t.second}) != kIdOk)
        return kEngineStopped;
    *resume = true;
    return kEngineDone;
}

// The last question of a resumed backup, and the backup itself.
outcome go_on_with_set(window_handle owner, const backup_request& r, const char* folder,
                       std::uint64_t backup_size, double free_bytes, const char* program_copy,
                       const backup_flow_steps& steps) {
    char size_text[kGroupedTextSize];
    char free_text[kGroupedTextSize];
    format_uint64_grouped(size_text, backup_size);
    format_uint64_grouped(free_text, whole_free_bytes(free_bytes));
    // Going on with a set never fills the free space with zeros.
    if (say(owner, kMbOkCancel, kLastQuestionResume, r.source_disk, size_text, folder, free_text,
            zero_fill_text(0)) != kIdOk) {
        return kEngineStopped;
    }
    // The set keeps the copy its first run made; one is added only where
    // none is.
    if (!path_exists(program_copy) &&
        (!steps.copy_program || !steps.copy_program(steps.program_path, program_copy))) {
        say(owner, kMbOk, kCopyFailed, folder, steps.program_folder);
    }
    return steps.run_backup(folder, backup_size, true);
}

}  // namespace

bool path_on_disk(const char* path, int disk) {
    if (path == nullptr || path[0] == '\0') return false;
    for (const int number : drive_letter_disk_numbers(path[0])) {
        if (number == disk) return true;
    }
    return false;
}

int path_disk_number(const char* path) {
    if (path == nullptr || path[0] == '\0') return kVolumeNotOpened;
    return drive_letter_to_disk_number(path[0]);
}

bool normalise_folder(const char* folder, char* output, std::size_t capacity) {
    const std::size_t n = std::strlen(folder);
    if (n + 1 > capacity) return false;
    std::memcpy(output, folder, n + 1);
    if (ensure_trailing_separator(output, capacity) == nullptr) return false;
    const std::size_t with_separator = std::strlen(output);
    if (with_separator > 1) output[with_separator - 1] = '\0';
    return true;
}

const char* backup_scope_text(int scope) {
    return scope == kScopeValidPartitions ? "パーテーション有効部" : "ディスク全面";
}

const char* zero_fill_text(int zero_fill) {
    return zero_fill == 1 ? "実施する" : "実施しない";
}

outcome run_backup_flow(window_handle owner, const backup_request& r,
                        const backup_flow_steps& steps) {
    if (check_folder_off_source(path_on_disk(r.folder, r.source_disk)) != folder_outcome::ok) {
        say(owner, kMbOk, kFolderOnSource, r.source_disk, path_disk_number(r.folder), r.folder);
        return kEngineFailed;
    }
    // Bounded before anything else touches it: every name of the set must
    // still fit behind the folder.
    char folder[kPathCapacity];
    if (!normalise_folder(r.folder, folder, sizeof folder) ||
        check_folder_length(folder) != folder_outcome::ok) {
        say(owner, kMbOk, kFolderTooLong, static_cast<int>(kLongestBackupFolder), r.folder);
        return kEngineFailed;
    }
    std::uint64_t backup_size = 0;
    bool resume = false;
    if (const outcome offered = offer_resume(owner, r, folder, &backup_size, &resume);
        offered != kEngineDone)
        return offered;
    if (!resume && !folder_may_take_set(owner, folder)) return kEngineFailed;
    if (backup_size == 0 && !measure_source(owner, r, &backup_size)) return kEngineFailed;

    const double free_bytes = get_folder_free_bytes(folder);
    if (check_folder_space(backup_size, free_bytes) == space_outcome::none) {
        say(owner, kMbOk, kNoFreeSpace, folder);
        return kEngineFailed;
    }
    char program_copy[kPathCapacity];
    join_path(folder, kProgramCopyName, program_copy, sizeof program_copy);
    if (resume) {
        return go_on_with_set(owner, r, folder, backup_size, free_bytes, program_copy, steps);
    }
    if (ask_to_start(owner, r, folder, backup_size, free_bytes, steps.program_path, program_copy) !=
        kIdOk) {
        return kEngineStopped;
    }

    if (!steps.copy_program || !steps.copy_program(steps.program_path, program_copy)) {
        say(owner, kMbOk, kCopyFailed, folder, steps.program_folder);
    }
    if (r.zero_fill == 1 && steps.zero_fill) {
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            if (drive_letter_to_disk_number(letter) == r.source_disk) steps.zero_fill(letter);
        }
    }
    return steps.run_backup(folder, backup_size, false);
}

}  // namespace kiroda
