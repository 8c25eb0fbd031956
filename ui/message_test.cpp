#include "ui/message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/recording_sink_test_support.h"

namespace kiroda {
namespace {

using test_support::recording_sink;

TEST(ShowMessage, FormatsAndPassesTypeCaptionAndAnswer) {
    recording_sink sink({kIdCancel});
    const int answer =
        show_message(nullptr, kMbOkCancel, "caption", "%s=%lld,%d", "size", 5000000000LL, 7);
    EXPECT_EQ(answer, kIdCancel);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].type, kMbOkCancel);
    EXPECT_EQ(sink.seen[0].caption, "caption");
    EXPECT_EQ(sink.seen[0].text, "size=5000000000,7");
}

TEST(ShowMessage, LongTextsAreCutAt8191Characters) {
    recording_sink sink;
    const struct {
        std::size_t length;
        std::size_t shown;
    } cases[] = {{8190, 8190}, {8191, 8191}, {8192, 8191}, {20000, 8191}};
    for (const auto& c : cases) {
        const std::string long_value(c.length, 'x');
        show_message(nullptr, kMbOk, "c", "%s", long_value.c_str());
        ASSERT_FALSE(sink.seen.empty());
        EXPECT_EQ(sink.seen.back().text.size(), c.shown) << c.length;
        EXPECT_EQ(sink.seen.back().text, long_value.substr(0, c.shown));
    }
}

TEST(ShowMessage, RestoringTheSinkStopsRecording) {
    std::vector<std::string> seen;
    auto previous = set_message_sink([&](const message& m) {
        seen.emplace_back(m.text);
        return kIdOk;
    });
    show_message(nullptr, kMbOk, "c", "one");
    set_message_sink(previous);
    {
        recording_sink inner;
        show_message(nullptr, kMbOk, "c", "two");
        EXPECT_EQ(inner.seen.size(), 1u);
    }
    EXPECT_EQ(seen, std::vector<std::string>{"one"});
}

}  // namespace
}  // namespace kiroda
