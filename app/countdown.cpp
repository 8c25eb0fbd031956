#include "app/countdown.h"

#include <cstdio>

namespace kiroda {

const char kCountdownHeadline[] = "シャットダウンします";
const char kCountdownCancel[] = "キャンセル";

bool countdown::tick() {
    if (ticks < kCountdownTicks) ++ticks;
    return ticks == kCountdownTicks;
}

void format_seconds_left(char* text, std::size_t capacity, int seconds) {
    std::snprintf(text, capacity, "あと %d 秒", seconds);
}

}  // namespace kiroda
