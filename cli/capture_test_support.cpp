#include "cli/capture_test_support.h"

#include <stdexcept>

namespace kiroda::cli::test_support {

captured_stream::captured_stream() : file_(std::tmpfile()) {
    if (!file_) throw std::runtime_error("no temporary file for captured output");
}

captured_stream::~captured_stream() {
    std::fclose(file_);
}

std::string captured_stream::text() {
    std::fflush(file_);
    std::string out;
    std::rewind(file_);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) out.append(buffer, n);
    return out;
}

command_result run_command(command_function f, const std::vector<std::string>& args) {
    captured_stream out, err;
    const int status = f(args, out.get(), err.get());
    return {status, out.text(), err.text()};
}

}  // namespace kiroda::cli::test_support
