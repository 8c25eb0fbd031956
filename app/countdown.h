// The shutdown countdown's arithmetic: sixty one-second ticks, and the line
// that shows the seconds left. The dialog around it is countdown_win32.cpp.
#pragma once

#include <cstddef>

namespace kiroda {

constexpr int kCountdownTicks = 60;
constexpr unsigned kCountdownTickMs = 1000;

struct countdown {
    int ticks = 0;  // ticks seen since the countdown started

    // One tick; true when it was the last one.
    bool tick();
    int seconds_left() const { return kCountdownTicks - ticks; }
};

// "あと %d 秒" with the seconds left, into `text`.
void format_seconds_left(char* text, std::size_t capacity, int seconds);

// The fixed texts of the countdown dialog.
extern const char kCountdownHeadline[];  // "シャットダウンします"
extern const char kCountdownCancel[];    // "キャンセル"

}  // namespace kiroda
