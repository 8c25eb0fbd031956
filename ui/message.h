// Message boxes.
//
// Every message of the program goes through show_message. On Windows it
// becomes a MessageBoxA; in krdtool and in the test programs it goes to the
// installed message sink, which prints, records or answers it. Lower layers
// (disk access, the block codec, utilities) never show messages.
#pragma once

#include <cstdarg>
#include <functional>

namespace kiroda {

// An owner window; opaque outside the Windows files.
using window_handle = void*;

// Message box types (the Windows MB_ flags) and answers (IDOK, IDCANCEL).
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbOkCancel = 0x1;
constexpr unsigned kMbYesNo = 0x4;
constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbSetForeground = 0x10000;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
constexpr int kNoAnswer = 0;  // no box could be shown; callers take it as a refusal

// The formatted text holds at most this many characters; longer ones are cut.
constexpr int kMessageTextLimit = 8191;

struct message {
    window_handle owner;
    unsigned type;
    const char* caption;
    const char* text;
};

// Receives every message while installed; returns the answer.
using message_sink = std::function<int(const message&)>;

// Installs `sink` (an empty one restores the platform's default: a message
// box on Windows, standard error elsewhere) and returns the previous one.
// Install before any worker thread starts.
message_sink set_message_sink(message_sink sink);

// printf-style message box; returns the answer (kIdOk, kIdCancel, kNoAnswer).
#if defined(__GNUC__)
__attribute__((format(printf, 4, 5)))
#endif
int show_message(window_handle owner, unsigned type, const char* caption, const char* format,
                 ...);

int show_message_v(window_handle owner, unsigned type, const char* caption, const char* format,
                   std::va_list values);

// The platform's own message box (MessageBoxA on Windows; a line on standard
// error elsewhere, answered with kNoAnswer).
int platform_message_box(const message& m);

}  // namespace kiroda
