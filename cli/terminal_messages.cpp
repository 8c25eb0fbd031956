#include "cli/terminal_messages.h"

#include "cli/stop_signals.h"
#include "disk/disk_registry.h"
#include "format/packed_block.h"
#include "util/system_error.h"

#include <unistd.h>

#include <cstdlib>
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

std::string with_reasons(const std::string& text, int system_error) {
    std::string said = text;
    // A block's failure code is shown after what it means.
    const std::string code_label = "MeltReadSize = ";
    const std::size_t at = said.find(code_label);
    if (at != std::string::npos) {
        const long code = std::strtol(said.c_str() + at + code_label.size(), nullptr, 10);
        if (const char* reason = block_result_reason(static_cast<std::int32_t>(code))) {
            std::size_t end = at + code_label.size();
            while (end < said.size() && (said[end] == '-' || (said[end] >= '0' && said[end] <= '9'))) ++end;
            said.replace(at, end - at, std::string(reason) + " (" + said.substr(at, end - at) + ")");
        }
    }
    if (system_error != 0) said += std::string("\n(システムのエラー: ") + std::strerror(system_error) + ")";
    return said;
}

bool terminal_can_ask() { return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1; }

terminal_messages::terminal_messages(std::FILE* err, bool can_ask, void (*before_message)(void*),
                                     void* context) {
    previous_ = set_message_sink([=](const message& m) {
        if (before_message != nullptr) before_message(context);
        std::string text = name_disks_by_path(m.text);
        if ((m.type & 0xF) == kMbOk) text = with_reasons(text, take_system_error());
        std::fprintf(err, "%s\n", text.c_str());
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
