// The stored texts of start-up. Only their enciphered bytes are in the
// program; a test looks for the plain forms in KIRODA.EXE and must not find them.
#pragma once

#include "ui/stored_text.h"

namespace kiroda::startup_texts {

inline constexpr enciphered_text kSecondCopy{
    "KIRODA は既に起動しています。\n"
    "先に起動したプログラムを終了してから、もう一度実行して下さい。"};
inline constexpr enciphered_text kUnsupportedWindows{
    "このプログラムは Windows 2000 以降の Windows でのみ動作します。\n"
    "プログラムを終了します。"};
inline constexpr enciphered_text kNotCompleted{"処理を完了せずに終了します。"};
inline constexpr enciphered_text kCompleted{"処理が正常に終了しました。"};
inline constexpr enciphered_text kShutdownCancelled{
    "シャットダウンを取り消しました。\n処理は正常に終了しています。"};
inline constexpr enciphered_text kFailed{"処理を完了できませんでした。\nプログラムを終了します。"};
inline constexpr enciphered_text kMutexName{"KIRODA-TOVA-Whole-Disk-Backup-Instance"};

}  // namespace kiroda::startup_texts
