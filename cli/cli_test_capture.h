// Test helper: a FILE* whose text the test can read back.
#pragma once

#include <cstdio>
#include <string>

namespace kiroda::cli::testing {

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

}  // namespace kiroda::cli::testing
