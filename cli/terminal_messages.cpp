#include "cli/terminal_messages.h"

#include "cli/output.h"
#include "cli/stop_signals.h"
#include "ui/translation.h"
#include "disk/disk_registry.h"
#include "format/packed_block.h"
#include "util/system_error.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kiroda::cli {

std::string name_disks_by_path(const std::string& text) {
    std::string named = text;
    for (int number = 0; number < 3; ++number) {
        registered_disk disk;
        if (!find_registered_disk(number, &disk)) continue;
        // The engines' texts name a disk "(ディスク 1)", in English "(disk 1)".
        char wizard_name[64];
        std::snprintf(wizard_name, sizeof wizard_name, localized("(ディスク %d)"), number);
        const std::size_t length = std::strlen(wizard_name);
        for (std::size_t at = named.find(wizard_name); at != std::string::npos;
             at = named.find(wizard_name, at + disk.path.size() + 2)) {
            named.replace(at, length, "(" + disk.path + ")");
        }
    }
    return named;
}

std::string with_reasons(const std::string& text, int system_error) {
    std::string said = text;
    // A block's failure code is shown after what it means.
    const std::string code_label = "MeltReadSize = ";
    const std::size_t at = said.find(code_label);
    if (at != std::string::npos) {
        const long code = std::strtol(said.c_str() + at + code_label.size(), nullptr, 10);
        if (const char* reason = block_result_reason(static_cast<std::int32_t>(code))) {
            std::size_t end = at + code_label.size();
            while (end < said.size() &&
                   (said[end] == '-' || (said[end] >= '0' && said[end] <= '9')))
                ++end;
            said.replace(at, end - at,
                         std::string(localized(reason)) + " (" + said.substr(at, end - at) + ")");
        }
    }
    if (system_error != 0) {
        char reason[512];
        std::snprintf(reason, sizeof reason, localized("\n(システムのエラー: %s)"),
                      std::strerror(system_error));
        said += reason;
    }
    return said;
}

bool terminal_can_ask() {
    return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1;
}

question_answer answers_for(std::FILE* err, bool yes) {
    if (yes) return question_answer::yes;
    return err == stderr && terminal_can_ask() ? question_answer::ask : question_answer::cancel;
}

terminal_messages::terminal_messages(std::FILE* err, question_answer answer,
                                     void (*before_message)(void*), void* context) {
    previous_ = set_message_sink([=, last_yes = std::string()](const message& m) mutable {
        if (before_message != nullptr) before_message(context);
        std::string text = name_disks_by_path(m.text);
        if ((m.type & 0xF) == kMbOk) text = with_reasons(text, take_system_error());
        print(err, "%s\n", text.c_str());
        if ((m.type & 0xF) != kMbOkCancel) {
            std::fflush(err);
            return kIdOk;
        }
        if (answer == question_answer::yes) {
            const bool again = text == last_yes;
            last_yes = text;
            print(err, again ? "(--yes: 同じ質問が続くため、キャンセルとして扱います)\n"
                             : "(--yes: はい)\n");
            std::fflush(err);
            return again ? kIdCancel : kIdOk;
        }
        if (answer == question_answer::cancel) {
            print(err, "(端末がないため、キャンセルとして扱います)\n");
            std::fflush(err);
            return kIdCancel;
        }
        print(err, "続けるには Enter、やめるには q と Enter を押して下さい: ");
        std::fflush(err);
        char typed[64];
        // Ctrl-C at the question interrupts the read: that is a stop.
        if (std::fgets(typed, sizeof typed, stdin) == nullptr || stop_signalled()) {
            std::fputc('\n', err);
            return kIdCancel;
        }
        return (typed[0] == 'q' || typed[0] == 'Q') ? kIdCancel : kIdOk;
    });
}

terminal_messages::~terminal_messages() {
    set_message_sink(std::move(previous_));
}

}  // namespace kiroda::cli
