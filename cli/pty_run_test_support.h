// Test helper: krdtool itself run on a pseudo-terminal of a given width, or
// with its standard error piped, as a user or a script would run it.
#pragma once

#include <string>
#include <vector>

namespace kiroda::cli::test_support {

struct terminal_run {
    int columns = 80;                  // 0: no terminal, standard error and input piped
    std::string language = "C.UTF-8";  // LANG (ja_JP.UTF-8 for Japanese)
    std::string typed;                 // written to its input, line by line as asked
};

struct terminal_result {
    int status = -1;
    std::string out;     // standard output (always a pipe)
    std::string screen;  // what the terminal (or the piped standard error) got
};

terminal_result run_krdtool(const std::vector<std::string>& args, const terminal_run& how = {});

}  // namespace kiroda::cli::test_support
