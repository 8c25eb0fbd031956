// The zero fill's stored messages (their plain forms are not in the program).
#pragma once

#include "ui/stored_text.h"

namespace kiroda::zero_fill_texts {

// The NTFS temporary file could not be deleted (file path).
inline constexpr enciphered_text kFileNotDeleted{
    "一時ファイル「%s」を削除できませんでした。\n"
    "お手数ですが、このファイルを削除して下さい。"};
// Some FAT temporary files could not be deleted (drive letter, count).
inline constexpr enciphered_text kFilesNotDeleted{
    "%c: ドライブの一時ファイルのうち %d 個を削除できませんでした。\n"
    "お手数ですが、ZEROTEMP フォルダ内のファイルを削除して下さい。"};
// The ZEROTEMP folder could not be removed (drive letter).
inline constexpr enciphered_text kFolderNotRemoved{
    "%c: ドライブの一時フォルダ ZEROTEMP を削除できませんでした。"};
// The worker thread of the fill could not be started.
inline constexpr enciphered_text kCannotStart{
    "ゼロ書込み処理を開始できませんでした。\nメモリが不足している可能性があります。"};

}  // namespace kiroda::zero_fill_texts
