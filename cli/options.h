// The options of one krdtool command: "--name" flags and "--name VALUE"
// options, before or after the operands; "--" ends the options.
#pragma once

#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kiroda::cli {

struct parsed_options {
    std::vector<std::string> operands;
    std::set<std::string> flags;
    std::map<std::string, std::string> values;
    std::string error;  // empty when the arguments parsed

    bool has(const std::string& flag) const { return flags.count(flag) != 0; }
};

// `operands`: the names of the operands the command takes (SOURCE,
// SETDIR); one missing, or one too many, is an error that names it.
parsed_options parse_options(const std::vector<std::string>& args,
                             std::initializer_list<const char*> flags,
                             std::initializer_list<const char*> valued = {},
                             std::initializer_list<const char*> operands = {});

}  // namespace kiroda::cli
