// Picks the command named by the first argument and runs it.
#pragma once

#include <cstdio>
#include <span>

#include "cli/command.h"

namespace kiroda::cli {

// Prints the usage text: every command with its arguments and summary.
void print_usage(std::span<const command> commands, std::FILE* to);

// argv[1] names the command, the rest are its arguments. No command or an
// unknown one is a usage error; "help", "-h" and "--help" print the usage.
[[nodiscard]] int dispatch(std::span<const command> commands, int argc, char** argv, std::FILE* out,
                           std::FILE* err);

}  // namespace kiroda::cli
