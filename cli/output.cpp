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

std::string format_text(const char* format, ...) {
    std::va_list values;
    va_start(values, format);
    std::va_list again;
    va_copy(again, values);
    const int length = std::vsnprintf(nullptr, 0, localized(format), values);
    va_end(values);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, localized(format), again);
    va_end(again);
    return text;
}

void print_message(std::FILE* err, const char* format, ...) {
    std::va_list values;
    va_start(values, format);
    std::vfprintf(err, localized(format), values);
    va_end(values);
    std::fputc('\n', err);
}

}  // namespace kiroda::cli
