#include "cli/dispatch.h"

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/output.h"
#include "cli/stop_signals.h"
#include "cli/terminal_progress.h"
#include "ui/translation.h"

namespace kiroda::cli {

namespace {

constexpr char kExitCodes[] = "終了コード: 0 完了, 1 失敗, 2 使い方の誤り, 3 中止\n";

// Where a line too long for the terminal goes on: under an option's text
// ("  --force   text"), else at the line's own indentation (two columns in
// for a line that has none).
std::size_t hanging_indent(const std::string& line) {
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) return 0;
    const std::size_t gap = line.find("  ", start);
    if (line[start] == '-' && start <= 4 && gap != std::string::npos) {
        const std::size_t text = line.find_first_not_of(' ', gap);
        if (text != std::string::npos && text < 40) return text;
    }
    // A command's line in the usage ("  krdtool backup [...]") goes on
    // under its arguments' start, past the command's name.
    if (line.compare(start, 8, "krdtool ") == 0) return start + 4;
    return start == 0 ? 2 : start;
}

// True when the UTF-8 character that starts at `at` is a wide one
// (Japanese), between which a line may break as at a space.
bool wide_at(const std::string& text, std::size_t at) {
    return at < text.size() && static_cast<unsigned char>(text[at]) >= 0xE0;
}

// The help's paragraphs: a line indented as the one before it goes on
// (its lines were broken for 80 columns), so it is joined to it. Options
// start within the first columns; a dash further in is text.
std::vector<std::string> paragraphs(const std::string& text) {
    std::vector<std::string> joined;
    std::size_t at = 0;
    for (std::size_t end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        const std::size_t start = line.find_first_not_of(' ');
        const bool goes_on =
            !joined.empty() && !joined.back().empty() && joined.back()[0] == ' ' &&
            start != std::string::npos && start > 0 && (line[start] != '-' || start > 4) &&
            start == hanging_indent(joined.back()) && start != joined.back().find_first_not_of(' ');
        if (goes_on) {
            // Japanese runs on without a space.
            std::size_t last = joined.back().size() - 1;
            while (last > 0 && (static_cast<unsigned char>(joined.back()[last]) & 0xC0) == 0x80)
                --last;
            const bool wide = wide_at(joined.back(), last) || wide_at(line, start);
            joined.back() += (wide ? "" : " ") + line.substr(start);
        } else {
            joined.push_back(line);
        }
    }
    return joined;
}

// Where `rest` may break before `room` columns, past `indent`: the last
// space, or the last place before or after a wide character; npos: none.
std::size_t break_point(const std::string& rest, std::size_t indent, int room) {
    std::size_t cut = std::string::npos;
    for (std::size_t at = indent + 1; at < rest.size(); ++at) {
        const auto byte = static_cast<unsigned char>(rest[at]);
        if ((byte & 0xC0) == 0x80) continue;  // inside a character
        if (display_width(rest.substr(0, at)) > room) break;
        std::size_t lead = at - 1;
        while (lead > 0 && (static_cast<unsigned char>(rest[lead]) & 0xC0) == 0x80) --lead;
        if (rest[at] == ' ' || wide_at(rest, at) || wide_at(rest, lead)) cut = at;
    }
    return cut;
}

// One line broken to fit `room` columns, never inside a word.
void wrap_line(const std::string& line, int room, std::string* wrapped) {
    const std::string indent(hanging_indent(line), ' ');
    std::string rest = line;
    bool first = true;
    while (display_width(rest) > room) {
        const std::size_t cut = break_point(rest, first ? 0 : indent.size(), room);
        if (cut == std::string::npos || cut <= indent.size()) break;  // one long word: whole
        *wrapped += rest.substr(0, cut) + "\n";
        const std::size_t next = rest.find_first_not_of(' ', cut);
        rest = indent + (next == std::string::npos ? "" : rest.substr(next));
        first = false;
    }
    *wrapped += rest + "\n";
}

// `text` as the terminal `to` shows it: lines wrapped at its width (80
// columns when `to` is no terminal), a column left free.
void put_wrapped(const std::string& text, std::FILE* to) {
    const int room = (::isatty(::fileno(to)) == 1 ? terminal_columns(to) : 80) - 1;
    std::string wrapped;
    for (const std::string& line : paragraphs(text)) wrap_line(line, room, &wrapped);
    std::fputs(wrapped.c_str(), to);
}

const command* find_command(std::span<const command> commands, const char* name) {
    for (const command& c : commands) {
        if (std::strcmp(name, c.name) == 0) return &c;
    }
    return nullptr;
}

void print_command_help(const command& c, std::FILE* out) {
    put_wrapped(
        format_text("使い方: krdtool %s %s\n  %s\n", c.name, c.arguments, localized(c.summary)) +
            localized(c.help) + localized(kExitCodes),
        out);
}

int unknown_command(const char* name, std::FILE* err) {
    print(err, "krdtool: 不明なコマンド '%s' です (krdtool --help で一覧を表示します)\n", name);
    return kExitUsage;
}

// COMMAND --help (or -h) anywhere before "--".
bool asks_for_help(int argc, char** argv) {
    for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
    }
    return false;
}

int run(const command& c, int argc, char** argv, std::FILE* out, std::FILE* err) {
    install_stop_signals();
    int status = c.run(std::vector<std::string>(argv + 2, argv + argc), out, err);
    // A stop signal that ended the command at a question, or before its
    // work began, is a stop, not a failure.
    if (status == kExitFailed && stop_signalled()) {
        print(err, "中止しました。\n");
        status = kExitStopped;
    }
    return status;
}

}  // namespace

void print_usage(std::span<const command> commands, std::FILE* to) {
    std::string text = format_text("使い方: krdtool COMMAND [ARGS...]\n");
    for (const command& c : commands)
        text +=
            format_text("  krdtool %s %s\n      %s\n", c.name, c.arguments, localized(c.summary));
    text += format_text(
        "krdtool help COMMAND (または krdtool COMMAND --help) で各コマンドの説明を表示します\n");
    put_wrapped(text + localized(kExitCodes), to);
}

int dispatch(std::span<const command> commands, int argc, char** argv, std::FILE* out,
             std::FILE* err) {
    if (argc < 2) {
        print_usage(commands, err);
        return kExitUsage;
    }
    const char* name = argv[1];
    const bool help = std::strcmp(name, "help") == 0;
    if (help && argc > 2) {
        const command* c = find_command(commands, argv[2]);
        if (c == nullptr) return unknown_command(argv[2], err);
        print_command_help(*c, out);
        return kExitDone;
    }
    if (help || std::strcmp(name, "-h") == 0 || std::strcmp(name, "--help") == 0) {
        print_usage(commands, out);
        return kExitDone;
    }
    if (std::strcmp(name, "--version") == 0) {
        if (argc > 2) {
            print(err, "krdtool: --version には引数を付けません: %s\n", argv[2]);
            return kExitUsage;
        }
        std::fputs("krdtool " KIRODA_CLI_VERSION "\n", out);
        return kExitDone;
    }
    const command* c = find_command(commands, name);
    if (c == nullptr) return unknown_command(name, err);
    if (asks_for_help(argc, argv)) {
        print_command_help(*c, out);
        return kExitDone;
    }
    return run(*c, argc, argv, out, err);
}

}  // namespace kiroda::cli
