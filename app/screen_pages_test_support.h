// The pages of the wizard that docs/screenshots pictures, one row each, in
// the order kiroda_screens shows them. tools/check-screens reads this file
// as text: it gathers the wizard's pages from the sources (the dialog
// templates of res/kiroda.rc, every status line of the progress dialog,
// every OK/Cancel question, the closing messages) and fails for a page no
// row pictures, for a row whose picture or README line is missing, and for
// a row whose page is gone. Keep each field of a row one plain string
// literal.
#pragma once

namespace kiroda {

struct screen_page {
    const char* name;  // docs/screenshots/NAME.png
    // What is pictured, as tools/check-screens finds it in the sources
    // (one or more, separated by spaces):
    //   dialog:TEMPLATE    a dialog template of res/kiroda.rc
    //   status:TEXT        the progress dialog with this status line
    //   ask:CONSTANT       an OK/Cancel question (its text constant, or the
    //                      set reader's text function)
    //   closing:CONSTANT   a closing message of start-up
    //   tell:CONSTANT      a notice or failure message (pictured by choice)
    //   file:CONSTANT      a file dialog, by its title constant
    const char* shows;
    // What kiroda_screens checks the page shows before it is pictured: a
    // part of a message box's text, or the status line of the progress
    // dialog ("" for the other dialogs: found by their controls).
    const char* expect;
    const char* caption;  // the line of docs/screenshots/README.md
};

inline constexpr screen_page kScreenPages[] = {
    // A backup: one sector unreadable, gone past; the set read back.
    {"command-KRBCR", "dialog:KRBCR", "", "Command dialog: backup, data test or restore"},
    {"source-disk-refused-KRMOTO", "dialog:KRMOTO", "",
     "A GPT disk is refused: red verdict, \"次へ >\" disabled"},
    {"source-disk-KRMOTO", "dialog:KRMOTO", "", "Source disk: sizes, sector size, media, verdict"},
    {"backup-folder", "file:kBackupFolderDialogTitle", "", "The folder of the new set"},
    {"confirm-backup", "ask:kConfirmBackup", "ディスクのバックアップを行います",
     "The confirmation before a backup"},
    {"backup-last-question", "ask:kLastQuestion", "次の内容でバックアップを開始します",
     "The last question: size, folder, free space, program copy"},
    {"backup-header-KR2", "status:ヘッダファイル作成中", "ヘッダファイル作成中",
     "Backup: the header file is written"},
    {"backup-progress-KR2", "status:ディスクバックアップ中", "ディスクバックアップ中",
     "Backup in progress, with the megabytes left"},
    {"backup-rescue-question", "ask:kRescueQuestion", "読めないセクタがあります",
     "Unreadable sectors: go on with zeros in their place, or stop"},
    {"backup-read-back-KR2", "status:書き込み確認中", "書き込み確認中",
     "Backup: each data file read back from its medium"},
    {"backup-done-KR2", "status:バックアップ完了", "バックアップ完了", "Backup: done"},
    {"backup-rescue-done", "tell:backup_engine.kRescueDone", "0 で埋めてあります",
     "After a rescue backup: how many sectors are zeros, and where they are listed"},
    {"closing-completed", "closing:kCompleted", "処理が正常に終了しました",
     "Closing message: the operation completed"},
    // A backup into a folder too small for the whole disk, cancelled.
    {"backup-space-short", "ask:kSpaceMayBeShort", "足りない可能性があります",
     "The last question when the free space may not hold the set"},
    {"closing-not-completed", "closing:kNotCompleted", "処理を完了せずに終了します",
     "Closing message: nothing was done"},
    // A backup that goes on with an unfinished set of the same disk.
    {"backup-resume-offer", "ask:kOfferResume", "未完成のバックアップデータがあります",
     "An unfinished set of this disk: go on with it"},
    {"backup-resume-last-question", "ask:kLastQuestionResume", "次の内容でバックアップを続けます",
     "The last question before going on with it"},
    {"backup-resume-check-KR2", "status:バックアップデータ確認中", "バックアップデータ確認中",
     "Resume: the blocks kept are checked against the disk"},
    // A backup whose medium does not keep what was written.
    {"backup-not-kept", "tell:set_read_back.kNotKept", "書き込んだ内容と異なるか、読めません",
     "The read-back found a data file the medium did not keep"},
    {"closing-failed", "closing:kFailed", "処理を完了できませんでした",
     "Closing message: the operation failed"},
    // A backup stopped from its progress dialog.
    {"backup-stopping-KR2", "status:終了処理中。", "終了処理中。",
     "Stopped: the worker finishes its step"},
    // A data test.
    {"header-file", "file:kHeaderFileDialogTitle", "",
     "The header file KRD00000.BIN of a set (data test and restore)"},
    {"confirm-verify", "ask:kConfirmVerify", "バックアップしたデータの検査を行います",
     "The confirmation before a data test"},
    {"verify-progress-KR2", "status:データテスト中", "データテスト中", "Data test in progress"},
    {"verify-done-KR2", "status:テスト完了", "テスト完了", "Data test: done"},
    // A data test of a set made by another version, and of a set whose
    // data file is missing.
    {"version-differs", "ask:kVersionDiffers", "バージョンが違います",
     "A set made by another version of the program: go on or not"},
    {"verify-missing-file", "ask:missing_file", "メディアと交換して下さい",
     "Data test: a data file is not there; change the medium and go on"},
    // A restore onto an empty disk, ending in the countdown, cancelled.
    {"target-disk-refused-KRRESTDISK", "dialog:KRRESTDISK", "",
     "Target disk: a disk with partitions is refused"},
    {"target-disk-KRRESTDISK", "dialog:KRRESTDISK", "",
     "Target disk of a restore: only an empty disk is accepted"},
    {"confirm-restore", "ask:kConfirmRestore", "ディスクの復旧を行います",
     "The confirmation before a restore"},
    {"restore-progress-KR2", "status:ディスク復旧中", "ディスク復旧中", "Restore in progress"},
    {"restore-read-back-KR2", "status:書き込み確認中", "書き込み確認中",
     "Restore: the target read back before sector 0 is written"},
    {"restore-done-KR2", "status:復旧完了", "復旧完了", "Restore: done"},
    {"restore-digests-damaged", "ask:kGoOnWithoutDigests", "ダイジェストを使わずに続けると",
     "Restore: the set's digest file does not read; go on on the checksums alone or not"},
    {"countdown-KR2", "dialog:KR2 status:シャットダウンします", "シャットダウンします",
     "After a restore: the shutdown countdown"},
    {"closing-shutdown-cancelled", "closing:kShutdownCancelled", "シャットダウンを取り消しました",
     "Closing message: the countdown was stopped"},
    // A restore onto a disk holding a file system, and of a set whose data
    // file is missing.
    {"confirm-restore-file-system", "ask:kConfirmRestoreOverFileSystem", "ext2/ext3/ext4",
     "The confirmation when the target holds a file system"},
    {"restore-missing-file", "ask:missing_file", "メディアと交換して下さい",
     "Restore: a data file is not there; change the medium and go on"},
    // The free-space zero fill (never run by a backup of this version).
    {"zero-fill-NP1", "dialog:NP1", "", "NULLPASS: the free-space zero fill"},
};

// The three lines (status, detail, button) of the progress dialog a page
// shows: its own for a stage, the dialog behind it for a question asked
// while an engine runs. kiroda_screens checks them before the picture; a
// line ending in '*' need only begin with what comes before it.
struct page_lines {
    const char* name;
    const char* lines;  // "STATUS\nDETAIL\nBUTTON"
};

inline constexpr page_lines kPageLines[] = {
    {"backup-header-KR2", "ヘッダファイル作成中\n*\nキャンセル"},
    {"backup-progress-KR2", "ディスクバックアップ中\n残り *\nキャンセル"},
    {"backup-rescue-question", "ディスクバックアップ中\n残り *\nキャンセル"},
    {"backup-read-back-KR2", "書き込み確認中\n残り *\nキャンセル"},
    {"backup-done-KR2", "バックアップ完了\n残り 0(MB)\nキャンセル"},
    {"backup-resume-check-KR2", "バックアップデータ確認中\n*\nキャンセル"},
    {"backup-not-kept", "書き込み確認中\n残り *\nキャンセル"},
    {"backup-stopping-KR2", "終了処理中。\nお待ちください。\nキャンセル"},
    {"verify-progress-KR2", "データテスト中\n残り *\nキャンセル"},
    {"verify-done-KR2", "テスト完了\n\nキャンセル"},
    {"verify-missing-file", "データテスト中\n残り *\nキャンセル"},
    {"restore-progress-KR2", "ディスク復旧中\n残り *\nキャンセル"},
    {"restore-read-back-KR2", "書き込み確認中\n残り *\nキャンセル"},
    {"restore-done-KR2", "復旧完了\nMBR 復旧中\nキャンセル"},
    {"restore-missing-file", "ディスク復旧中\n残り *\nキャンセル"},
    {"restore-digests-damaged", "ディスク復旧中\n残り *\nキャンセル"},
};

// Pages the sources name that the wizard never shows, with the reason;
// tools/check-screens takes them as pictured.
struct unshown_page {
    const char* shows;
    const char* why;
};

inline constexpr unshown_page kUnshownPages[] = {
    {"status:復旧先に収まるか確認中",
     "krdtool's restore --fit only: the wizard keeps its size rule"},
    {"tell:restore_fit.kUnreadableBlock", "krdtool's restore --fit only"},
    {"tell:set_image.kNotAllHere", "krdtool's mount and restore --fit only"},
    {"tell:set_image.kImageTexts.bad_block", "krdtool's mount and restore --fit only"},
    {"tell:set_image.kImageTexts.empty_block", "krdtool's mount and restore --fit only"},
};

}  // namespace kiroda
