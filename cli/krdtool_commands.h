// krdtool's commands: name, arguments, summary, help and function of each,
// in the order --help lists them. Texts are Japanese; they are shown
// through the translation.
#pragma once

#include <span>

#include "cli/command.h"

namespace kiroda::cli {

std::span<const command> krdtool_commands();

}  // namespace kiroda::cli
