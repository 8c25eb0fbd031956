#include "cli/terminal_messages.h"

#include "cli/stop_signals.h"
#include "disk/disk_registry.h"

#include <unistd.h>

#include <cstring>
#include <string>

namespace kiroda::cli {

std::string name_disks_by_path(const std::string& text) {
    std::string named = text;
    for (int number = 0; number < 3; ++number) {
        registered_disk disk;
        if (!find_registered_disk(number, &disk)) continue;
        const std::string wizard_name = "(ディスク " + std::to_string(number) + ")";
        for (std::size_t at = named.find(wizard_name); at != std::string::npos;
             at = named.find(wizard_name, at + disk.path.size() + 2)) {
            named.replace(at, wizard_name.size(), "(" + disk.path + ")");
        }
    }
    return named;
}

bool terminal_can_ask() { return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1; }

terminal_messages::terminal_messages(std::FILE* err, bool can_ask, void (*before_message)(void*),
                                     void* context) {
    previous_ = set_message_sink([=](const message& m) {
        if (before_message != nullptr) before_message(context);
        std::fprintf(err, "%s\n", name_disks_by_path(m.text).c_str());
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
        // Ctrl-C at the question interrupts the read: that is a stop.
        if (std::fgets(answer, sizeof answer, stdin) == nullptr || stop_signalled()) {
            std::fputc('\n', err);
            return kIdCancel;
        }
        return (answer[0] == 'q' || answer[0] == 'Q') ? kIdCancel : kIdOk;
    });
}

terminal_messages::~terminal_messages() { set_message_sink(std::move(previous_)); }

}  // namespace kiroda::cli
