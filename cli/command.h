// What every krdtool command is: a name, its arguments, and a function that
// returns the exit status. Commands live one per file (disks_command.cpp,
// ...) and are listed in the table of krdtool.cpp.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kiroda::cli {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;  // a message on stderr says why
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 3;  // stopped by the user (Ctrl-C)

// `args` are the words after the command name. Results go to `out`,
// messages and progress to `err`.
using command_function = int (*)(const std::vector<std::string>& args, std::FILE* out,
                                 std::FILE* err);

struct command {
    const char* name;
    const char* arguments;  // as shown in the usage text
    const char* summary;    // one line, UTF-8
    command_function run;
    // COMMAND --help: options, exit status and an example, UTF-8 lines.
    const char* help = "";
};

}  // namespace kiroda::cli
