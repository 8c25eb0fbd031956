#include "cli/options.h"

#include <cstdio>
#include <cstring>

#include "ui/translation.h"

namespace kiroda::cli {

namespace {

bool listed(std::initializer_list<const char*> names, const std::string& arg) {
    for (const char* name : names) {
        if (arg == name) return true;
    }
    return false;
}

// A usage error naming the option: `format` holds one %s.
std::string with_option(const char* format, const std::string& option) {
    char text[512];
    std::snprintf(text, sizeof text, format, option.c_str());
    return text;
}

// The short options every command that has the long one takes.
constexpr struct {
    const char* short_name;
    const char* long_name;
} kShortOptions[] = {
    {"-f", "--force"}, {"-y", "--yes"}, {"-q", "--quiet"}, {"-v", "--verbose"}, {"-l", "--long"},
};

// "-f" as "--force" where the command takes --force; otherwise as it is.
std::string long_form(std::initializer_list<const char*> flags, const std::string& arg) {
    for (const auto& o : kShortOptions) {
        if (arg == o.short_name && listed(flags, o.long_name)) return o.long_name;
    }
    return arg;
}

}  // namespace

parsed_options parse_options(const std::vector<std::string>& args,
                             std::initializer_list<const char*> flags,
                             std::initializer_list<const char*> valued,
                             std::initializer_list<const char*> operands) {
    parsed_options parsed;
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string arg = options_ended ? args[i] : long_form(flags, args[i]);
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            parsed.operands.push_back(arg);
        } else if (arg == "--") {
            options_ended = true;
        } else if (listed(flags, arg)) {
            parsed.flags.insert(arg);
        } else if (listed(valued, arg)) {
            if (i + 1 == args.size()) {
                parsed.error = with_option(localized("%s には値が必要です"), arg);
                return parsed;
            }
            parsed.values[arg] = args[++i];
        } else {
            parsed.error = with_option(localized("不明なオプションです: %s"), arg);
            return parsed;
        }
    }
    if (operands.size() == 0) return parsed;
    if (parsed.operands.size() < operands.size()) {
        parsed.error =
            with_option(localized("%s がありません"), operands.begin()[parsed.operands.size()]);
    } else if (parsed.operands.size() > operands.size()) {
        parsed.error =
            with_option(localized("余分な引数です: %s"), parsed.operands[operands.size()]);
    }
    return parsed;
}

}  // namespace kiroda::cli
