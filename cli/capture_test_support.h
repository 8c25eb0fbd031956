// Test helper: a FILE* whose text the test can read back.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"

namespace kiroda::cli::test_support {

class captured_stream {
  public:
    captured_stream();
    ~captured_stream();
    captured_stream(const captured_stream&) = delete;
    captured_stream& operator=(const captured_stream&) = delete;

    std::FILE* get() const { return file_; }
    // Everything written so far.
    std::string text();

  private:
    std::FILE* file_;
};

// One command run in-process with its output captured.
struct command_result {
    int status;
    std::string out;
    std::string err;
};
command_result run_command(command_function f, const std::vector<std::string>& args);

}  // namespace kiroda::cli::test_support
