#include "ui/say.h"

#include <cstdarg>

namespace kiroda {

int say_plain(window_handle owner, unsigned type, const char* format, ...) {
    std::va_list values;
    va_start(values, format);
    const int answer = show_message_v(owner, type, program_caption(), format, values);
    va_end(values);
    return answer;
}

}  // namespace kiroda
