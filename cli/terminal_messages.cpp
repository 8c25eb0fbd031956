#include "cli/terminal_messages.h"

#include <unistd.h>

#include <cstring>
#include <string>

namespace kiroda::cli {

bool terminal_can_ask() { return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1; }

terminal_messages::terminal_messages(std::FILE* err, bool can_ask, void (*before_message)(void*),
                                     void* context) {
    previous_ = set_message_sink([=](const message& m) {
        if (before_message != nullptr) before_message(context);
        std::fprintf(err, "%s\n", m.text);
        if ((m.type & 0xF) != kMbOkCancel) {
            std::fflush(err);
            return kIdOk;
        }
        if (!can_ask) {
            std::fputs("(端末がないため、キャンセルとして扱います)\n", err);
            std::fflush(err);
            return kIdCancel;
        }
        std::fputs("続けるには Enter、やめるには q と Enter を押して下さい: ", err);
        std::fflush(err);
        char answer[64];
        if (std::fgets(answer, sizeof answer, stdin) == nullptr) return kIdCancel;
        return (answer[0] == 'q' || answer[0] == 'Q') ? kIdCancel : kIdOk;
    });
}

terminal_messages::~terminal_messages() { set_message_sink(std::move(previous_)); }

}  // namespace kiroda::cli
