/* Identifiers shared by kiroda.rc and the code (plain defines: the resource
   compiler reads this file too). */
#pragma once

/* Status dialogs KR2 and NP1. */
#define KRD_ID_STATUS_LINE 101
#define KRD_ID_DETAIL_LINE 102
#define KRD_ID_STATUS_BUTTON 301

/* Command dialog KRBCR. */
#define KRD_ID_COMMAND_EXIT 201
#define KRD_ID_COMMAND_HELP 301
/* Controls of the placeholder command dialog only. */
#define KRD_ID_PLACEHOLDER_COMPLETED 901
#define KRD_ID_PLACEHOLDER_FAILED 902
#define KRD_ID_PLACEHOLDER_SHUTDOWN 903

#ifndef RC_INVOKED
namespace kiroda {
constexpr int kCommandExitButton = KRD_ID_COMMAND_EXIT;
constexpr int kCommandHelpButton = KRD_ID_COMMAND_HELP;
constexpr int kPlaceholderCompletedButton = KRD_ID_PLACEHOLDER_COMPLETED;
constexpr int kPlaceholderFailedButton = KRD_ID_PLACEHOLDER_FAILED;
constexpr int kPlaceholderShutdownCheck = KRD_ID_PLACEHOLDER_SHUTDOWN;
}  // namespace kiroda
#endif
