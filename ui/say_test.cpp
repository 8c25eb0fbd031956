#include "ui/say.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/recording_sink_test_support.h"

namespace kiroda {
namespace {

using test_support::recording_sink;

constexpr enciphered_text kPercentAlone{"100% full"};
constexpr enciphered_text kWithValues{"disk %d: %s"};

// Every way of speaking shows its text in the program's caption, with the
// type asked for, and hands back the answer.
TEST(Say, ShowsTheTextInTheCaptionAndReturnsTheAnswer) {
    const struct {
        const char* name;
        int (*speak)();
        unsigned type;
        const char* text;
    } cases[] = {
        {"stored, no values", [] { return say(nullptr, kMbOkCancel, kPercentAlone); }, kMbOkCancel,
         "100% full"},
        {"stored, values", [] { return say(nullptr, kMbOk, kWithValues, 3, "x"); }, kMbOk,
         "disk 3: x"},
        {"plain", [] { return say_plain(nullptr, kMbYesNo, "%s (%d)", "y", 7); }, kMbYesNo,
         "y (7)"},
    };
    for (const auto& c : cases) {
        recording_sink sink({kIdCancel});
        EXPECT_EQ(c.speak(), kIdCancel) << c.name;
        ASSERT_EQ(sink.seen.size(), 1u) << c.name;
        EXPECT_EQ(sink.seen[0].type, c.type) << c.name;
        EXPECT_EQ(sink.seen[0].caption, std::string(program_caption())) << c.name;
        EXPECT_EQ(sink.seen[0].text, c.text) << c.name;
    }
}

}  // namespace
}  // namespace kiroda
