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

}  // namespace

parsed_options parse_options(const std::vector<std::string>& args,
                             std::initializer_list<const char*> flags,
                             std::initializer_list<const char*> valued) {
    parsed_options parsed;
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
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
    return parsed;
}

}  // namespace kiroda::cli
