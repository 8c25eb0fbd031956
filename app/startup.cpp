#include "app/startup.h"

#include "app/startup_texts.h"

namespace kiroda {

namespace {
// Windows error codes met by the mutex creation.
constexpr unsigned long kErrorAccessDenied = 5;
constexpr unsigned long kErrorAlreadyExists = 183;
constexpr unsigned long kPlatformWin32Nt = 2;
constexpr int kJapaneseKeyboard = 7;
constexpr int kPc98SubtypeByte = 0x0D00;
}  // namespace

const char kPc98Warning[] =
    "=======================================\n"
    "本プログラムは、PC-98x1用に作られていません。\n"
    "=======================================\n"
    "\n"
    "プログラムの実行に当っては十分に注意して下さい。";

instance_verdict judge_instance_mutex(bool created, unsigned long error) {
    // One creation decides it: testing first and creating afterwards would let
    // two copies started together both pass the test.
    if (created)
        return error == kErrorAlreadyExists ? instance_verdict::second_copy : instance_verdict::run;
    if (error == kErrorAccessDenied || error == kErrorAlreadyExists) {
        return instance_verdict::second_copy;
    }
    return instance_verdict::run_unprotected;
}

bool is_supported_windows(unsigned long platform_id, unsigned long major_version) {
    return platform_id == kPlatformWin32Nt && major_version >= 5;
}

bool is_pc98_keyboard(int keyboard_type, int keyboard_subtype) {
    return keyboard_type == kJapaneseKeyboard && (keyboard_subtype & 0xFF00) == kPc98SubtypeByte;
}

closing_action closing_for_command_result(int command_result, int shutdown_at_end) {
    if (command_result == 0) return closing_action::show_not_completed;
    if (command_result != 1) return closing_action::show_failed;
    return shutdown_at_end == 1 ? closing_action::run_countdown : closing_action::show_completed;
}

closing_action closing_after_countdown(int countdown_result) {
    return countdown_result == 1 ? closing_action::power_off
                                 : closing_action::show_shutdown_cancelled;
}

stored_text closing_message(closing_action action) {
    switch (action) {
        case closing_action::show_not_completed:
            return startup_texts::kNotCompleted;
        case closing_action::show_completed:
            return startup_texts::kCompleted;
        case closing_action::show_shutdown_cancelled:
            return startup_texts::kShutdownCancelled;
        case closing_action::show_failed:
            return startup_texts::kFailed;
        case closing_action::run_countdown:
        case closing_action::power_off:
            break;
    }
    return {nullptr, 0};
}

stored_text second_copy_message() {
    return startup_texts::kSecondCopy;
}
stored_text unsupported_windows_message() {
    return startup_texts::kUnsupportedWindows;
}
stored_text instance_mutex_name() {
    return startup_texts::kMutexName;
}

}  // namespace kiroda
