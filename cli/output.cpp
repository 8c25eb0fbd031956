#include "cli/output.h"

#include <cstdarg>

#include "ui/translation.h"

namespace kiroda::cli {

void print(std::FILE* to, const char* format, ...) {
    std::va_list values;
    va_start(values, format);
    std::vfprintf(to, localized(format), values);
    va_end(values);
}

void print_message(std::FILE* err, const char* format, ...) {
    std::va_list values;
    va_start(values, format);
    std::vfprintf(err, localized(format), values);
    va_end(values);
    std::fputc('\n', err);
}

}  // namespace kiroda::cli
