#include "engine/header_file.h"

#include "ui/program.h"
#include "ui/stored_text.h"
#include "util/path.h"

namespace kiroda {

namespace {

constexpr enciphered_text kCreateFailed{"バックアップのヘッダファイルを作成できません。\n\n%s"};
constexpr enciphered_text kWriteFailed{
    "バックアップのヘッダファイルへの書き込みに失敗しました。\n\n%s"};
constexpr enciphered_text kOpenFailed{"バックアップのヘッダファイルを開けません。\n\n%s"};
constexpr enciphered_text kReadFailed{
    "バックアップのヘッダファイルを読み込めません。\n(ファイルが短すぎます)\n\n%s"};
constexpr enciphered_text kDamaged{
    "バックアップのヘッダファイルが壊れているか、\nこのプログラムのヘッダファイルではありません。\n\n%s"};
constexpr enciphered_text kVersionDiffers{
    "バックアップを作成したプログラムのバージョンが違います。\n\n"
    "このプログラム: V%.2f\nバックアップ: V%.2f\n\n続けますか?"};

}  // namespace

bool write_header_file(window_handle owner, std::int32_t source_disk, const char* folder,
                       std::uint64_t backup_bytes, digest128* written) {
    char path[kPathCapacity + 16];
    const header_write result =
        store_header_file(source_disk, folder, backup_bytes, written, path, sizeof path);
    if (result == header_write::written) return true;
    const stored_text text = result == header_write::cannot_create ? stored_text(kCreateFailed)
                                                                   : stored_text(kWriteFailed);
    show_message(owner, kMbOk, program_caption(), get_stored_text(text), path);
    return false;
}

header_read read_header_file(window_handle owner, const char* folder, backup_header* header) {
    char path[kPathCapacity + 16];
    const header_read result = load_header_file(folder, header, path, sizeof path);
    const stored_text text = result == header_read::cannot_open  ? stored_text(kOpenFailed)
                             : result == header_read::short_read ? stored_text(kReadFailed)
                                                                 : stored_text(kDamaged);
    if (result != header_read::read)
        show_message(owner, kMbOk, program_caption(), get_stored_text(text), path);
    return result;
}

int confirm_header_version(window_handle owner, const backup_header& header) {
    if (header.version == kProgramVersion) return kIdOk;
    return show_message(owner, kMbOkCancel, program_caption(), get_stored_text(kVersionDiffers),
                        kProgramVersion, header.version);
}

}  // namespace kiroda
