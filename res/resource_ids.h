/* Identifiers shared by kiroda.rc and the code (plain defines: the resource
   compiler reads this file too). */
#pragma once

/* Status dialogs KR2 and NP1. */
#define KRD_ID_STATUS_LINE 101
#define KRD_ID_DETAIL_LINE 102
#define KRD_ID_STATUS_BUTTON 301

/* Command dialog KRBCR. */
#define KRD_ID_COMMAND_BACKUP 101
#define KRD_ID_COMMAND_VERIFY 102
#define KRD_ID_COMMAND_RESTORE 103
#define KRD_ID_COMMAND_EXIT 201
#define KRD_ID_COMMAND_NEXT 202
#define KRD_ID_COMMAND_HELP 301

/* Disk dialogs KRMOTO and KRRESTDISK. The hint at the bottom of both also
   carries id 101; the combo box comes first, so the id reaches the box. */
#define KRD_ID_DISK_NUMBER 101
#define KRD_ID_DISK_SIZE 102
#define KRD_ID_DISK_PARTITION_1 103
#define KRD_ID_DISK_PARTITION_2 104
#define KRD_ID_DISK_PARTITION_3 105
#define KRD_ID_DISK_PARTITION_4 106
#define KRD_ID_DISK_SECTOR_SIZE 107
#define KRD_ID_DISK_MEDIA 108
#define KRD_ID_DISK_MARK 109
#define KRD_ID_DISK_VERDICT 110
#define KRD_ID_DISK_SHUTDOWN 201
#define KRD_ID_DISK_CANCEL 301
#define KRD_ID_DISK_NEXT 302
#define KRD_ID_DISK_HELP 401

#ifndef RC_INVOKED
namespace kiroda {
constexpr int kCommandExitButton = KRD_ID_COMMAND_EXIT;
constexpr int kCommandHelpButton = KRD_ID_COMMAND_HELP;
constexpr int kCommandBackupRadio = KRD_ID_COMMAND_BACKUP;
constexpr int kCommandVerifyRadio = KRD_ID_COMMAND_VERIFY;
constexpr int kCommandRestoreRadio = KRD_ID_COMMAND_RESTORE;
constexpr int kCommandNextButton = KRD_ID_COMMAND_NEXT;

constexpr int kDiskNumberBox = KRD_ID_DISK_NUMBER;
constexpr int kDiskSizeField = KRD_ID_DISK_SIZE;
constexpr int kDiskPartitionField1 = KRD_ID_DISK_PARTITION_1;  // 103-106 for entries 1-4
constexpr int kDiskSectorSizeField = KRD_ID_DISK_SECTOR_SIZE;
constexpr int kDiskMediaField = KRD_ID_DISK_MEDIA;
constexpr int kDiskMarkField = KRD_ID_DISK_MARK;
constexpr int kDiskVerdictField = KRD_ID_DISK_VERDICT;
constexpr int kDiskShutdownCheck = KRD_ID_DISK_SHUTDOWN;
constexpr int kDiskCancelButton = KRD_ID_DISK_CANCEL;
constexpr int kDiskNextButton = KRD_ID_DISK_NEXT;
constexpr int kDiskHelpButton = KRD_ID_DISK_HELP;
}  // namespace kiroda
#endif
