#include "app/countdown.h"

#include <gtest/gtest.h>

#include <string>

namespace kiroda {
namespace {

TEST(Countdown, SixtyTicksCountFrom59DownTo0AndOnlyTheLastEndsIt) {
    countdown c;
    EXPECT_EQ(c.seconds_left(), 60);
    for (int tick = 1; tick <= 60; ++tick) {
        const bool last = c.tick();
        EXPECT_EQ(last, tick == 60) << tick;
        EXPECT_EQ(c.seconds_left(), 60 - tick);
    }
}

TEST(Countdown, LateTicksAfterTheEndNeverGoBelowZero) {
    // A timer message already queued when the dialog ends must not count on.
    countdown c;
    for (int i = 0; i < 60; ++i) c.tick();
    EXPECT_TRUE(c.tick());
    EXPECT_EQ(c.seconds_left(), 0);
}

TEST(Countdown, SecondsLeftText) {
    const struct {
        int seconds;
        const char* text;
    } cases[] = {{60, "あと 60 秒"}, {59, "あと 59 秒"}, {1, "あと 1 秒"}, {0, "あと 0 秒"}};
    for (const auto& c : cases) {
        char text[32];
        format_seconds_left(text, sizeof text, c.seconds);
        EXPECT_EQ(std::string(text), std::string(c.text)) << c.seconds;
    }
}

TEST(Countdown, SecondsLeftTextIsCutToItsBuffer) {
    char text[8] = "xxxxxxx";
    format_seconds_left(text, 5, 60);
    EXPECT_EQ(text[4], '\0');
    EXPECT_EQ(text[5], 'x');  // nothing written past the capacity
}

}  // namespace
}  // namespace kiroda
