#include "ui/message.h"

#include "ui/translation.h"

#include <cstdio>
#include <utility>

namespace kiroda {

namespace {
message_sink g_sink;
}  // namespace

message_sink set_message_sink(message_sink sink) {
    return std::exchange(g_sink, std::move(sink));
}

int show_message_v(window_handle owner, unsigned type, const char* caption, const char* format,
                   std::va_list values) {
    // One buffer per call, on the caller's stack: workers may call this too.
    char text[kMessageTextLimit + 1];
    // The translation keeps every conversion of the format, in order.
    const int n = std::vsnprintf(text, sizeof text, localized(format), values);
    if (n < 0) text[0] = '\0';
    const message m{owner, type, localized(caption), text};
    return g_sink ? g_sink(m) : platform_message_box(m);
}

int show_message(window_handle owner, unsigned type, const char* caption, const char* format, ...) {
    std::va_list values;
    va_start(values, format);
    const int answer = show_message_v(owner, type, caption, format, values);
    va_end(values);
    return answer;
}

}  // namespace kiroda
