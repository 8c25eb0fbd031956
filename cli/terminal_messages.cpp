#include "cli/terminal_messages.h"

#include "cli/output.h"
#include "cli/own_words.h"
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

namespace {

// Labels the engines (and the wizard, whose texts stay as they are) put
// before a number that only a developer can read; krdtool says what the
// number means in their place. The labels are looked up in the messages'
// language, as the texts that hold them were.
struct coded_label {
    const char* label;
    const char* closing;  // what ends the coded part after the number
    bool sectors_left;    // the number counts sectors, else it is a block code
};
constexpr coded_label kCodedLabels[] = {
    {"MeltReadSize = ", "", false},
    {"(読み込み結果 ", ")", false},
    {"DiskRead(元ディスク読込み中) Error\n残りｾｸﾀ      = ", "(Sect)", true},
};

// What a block's read result means: a failure code, or the size of a block
// that holds no whole number of sectors.
std::string block_code_meaning(long long code) {
    if (const char* reason = block_result_reason(static_cast<std::int32_t>(code)))
        return localized(reason);
    char text[160];
    if (code >= 0) {
        std::snprintf(text, sizeof text,
                      localized("ブロックの大きさ (%lld バイト) がセクタの倍数ではありません"),
                      code);
    } else {
        std::snprintf(text, sizeof text, localized("ブロックを読めません (%lld)"), code);
    }
    return text;
}

}  // namespace

std::string with_reasons(const std::string& text, int system_error, bool question) {
    std::string said = text;
    for (const coded_label& c : kCodedLabels) {
        const char* label = localized(c.label);
        const std::size_t at = said.find(label);
        if (at == std::string::npos) continue;
        const char* number = said.c_str() + at + std::strlen(label);
        char* after = nullptr;
        const long long value = std::strtoll(number, &after, 10);
        if (after == number || std::strncmp(after, c.closing, std::strlen(c.closing)) != 0)
            continue;
        const std::size_t end =
            static_cast<std::size_t>(after - said.c_str()) + std::strlen(c.closing);
        std::string meaning = block_code_meaning(value);
        if (c.sectors_left) {
            char line[160];
            if (value == 1) {
                std::snprintf(line, sizeof line, "%s",
                              localized("元ディスクを読めません (残り 1 セクタ)"));
            } else {
                std::snprintf(line, sizeof line,
                              localized("元ディスクを読めません (残り %lld セクタ)"), value);
            }
            meaning = line;
        }
        said.replace(at, end - at, meaning);
    }
    // A question's reason belongs to what failed, before what is asked.
    const std::size_t asked = question ? said.find("\n\n") : std::string::npos;
    if (asked != std::string::npos) return said.insert(asked, system_reason(system_error));
    return said + system_reason(system_error);
}

std::string system_reason(int system_error) {
    if (system_error == 0) return "";
    char reason[512];
    std::snprintf(reason, sizeof reason, localized("\n(システムのエラー: %s)"),
                  std::strerror(system_error));
    return reason;
}

bool terminal_can_ask() {
    return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1;
}

question_answer answers_for(std::FILE* err, bool yes) {
    if (yes) return question_answer::yes;
    return err == stderr && terminal_can_ask() ? question_answer::ask : question_answer::cancel;
}

namespace {

// The engines' questions end with a paragraph naming the dialog's buttons
// ("続ける: OK　　中止: キャンセル"); krdtool is answered y or n instead.
std::string without_buttons(const std::string& text) {
    const std::size_t last = text.rfind("\n\n");
    if (last == std::string::npos || text.find("OK", last) == std::string::npos) return text;
    return text.substr(0, last);
}

// A y/n answer: only "y" or "yes" (any case) is yes; plain Enter takes the
// safe answer, no.
bool typed_yes(const char* typed) {
    std::string word(typed);
    while (!word.empty() && (word.back() == '\n' || word.back() == '\r' || word.back() == ' '))
        word.pop_back();
    for (char& c : word) c = static_cast<char>(c | 0x20);
    return word == "y" || word == "yes";
}

// Asks on the terminal; Ctrl-C or the end of input at the question is no.
int ask_on_terminal(std::FILE* err) {
    print(err, "続けますか? [y/N] ");
    std::fflush(err);
    char typed[64];
    if (std::fgets(typed, sizeof typed, stdin) == nullptr || stop_signalled()) {
        std::fputc('\n', err);
        return kIdCancel;
    }
    return typed_yes(typed) ? kIdOk : kIdCancel;
}

// Answers a question as `answer` says; `last_yes` is the last one --yes
// answered.
int answer_question(std::FILE* err, question_answer answer, const std::string& text,
                    std::string& last_yes) {
    if (answer == question_answer::yes) {
        const bool again = text == last_yes;
        last_yes = text;
        print(err, again ? "(--yes: 同じ質問が続くため、キャンセルとして扱います)\n"
                         : "(--yes: はい)\n");
        std::fflush(err);
        return again ? kIdCancel : kIdOk;
    }
    if (answer == question_answer::cancel) {
        print(err, "(端末がないため「いいえ」として扱います)\n");
        std::fflush(err);
        return kIdCancel;
    }
    return ask_on_terminal(err);
}

}  // namespace

terminal_messages::terminal_messages(std::FILE* err, question_answer answer,
                                     void (*before_message)(void*), void* context) {
    previous_ = set_message_sink([=, last_yes = std::string()](const message& m) mutable {
        if (before_message != nullptr) before_message(context);
        std::string text = own_message_words(name_disks_by_path(m.text));
        const unsigned buttons = m.type & 0xF;
        if (buttons == kMbOkCancel) text = without_buttons(text);
        if (buttons == kMbOk || buttons == kMbOkCancel)
            text = with_reasons(text, take_system_error(), buttons == kMbOkCancel);
        print(err, "%s\n", text.c_str());
        if (buttons != kMbOkCancel) {
            std::fflush(err);
            return kIdOk;
        }
        return answer_question(err, answer, text, last_yes);
    });
}

terminal_messages::~terminal_messages() {
    set_message_sink(std::move(previous_));
}

}  // namespace kiroda::cli
