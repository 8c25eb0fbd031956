// Message texts that an engine and the wizard's checks before it both show,
// or two engines: each defined once, so that the same failure reads the
// same wherever it is found.
#pragma once

#include "ui/stored_text.h"

namespace kiroda {

// Value: the source's disk number.
inline constexpr enciphered_text kCannotOpenSource{"元ディスク(ディスク %d)を開けません。"};
// Value: the backup folder.
inline constexpr enciphered_text kNoFreeSpace{
    "バックアップ先の空き容量を調べられないか、空きがありません。\n\n%s"};
// Value: the file (or folder) the commit failed on.
inline constexpr enciphered_text kCannotComplete{
    "バックアップファイルを書き終えられませんでした。\n(ディスクへの書き出しに失敗しました)\n\n%s"};
// Value: the target's disk number.
inline constexpr enciphered_text kCannotOpenTarget{"復旧先ディスク(ディスク %d)を開けません。"};
inline constexpr enciphered_text kCannotSeekTarget{
    "復旧先ディスク(ディスク %d)の先頭に移動できません。"};
inline constexpr enciphered_text kNoMemoryToRestore{"メモリが足りないため、復旧を始められません。"};

}  // namespace kiroda
