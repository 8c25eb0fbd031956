#include "engine/sequential_reads.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kiroda {
namespace {

constexpr std::uint64_t kK = 1024;
constexpr std::uint64_t kWindow = 32 * kK * kK;

struct a_read {
    std::uint64_t offset, length;
};

// Each read's answer, "-" for nothing, "offset+length" in KiB otherwise.
std::string answers(const std::vector<a_read>& reads) {
    sequential_reads stream(kWindow);
    std::string text;
    for (const a_read& r : reads) {
        const byte_range ahead = stream.after_read(r.offset, r.length);
        text += text.empty() ? "" : " ";
        text += ahead.length == 0
                    ? "-"
                    : std::to_string(ahead.offset / kK) + "+" + std::to_string(ahead.length / kK);
    }
    return text;
}

TEST(SequentialReads, ReadsAheadOfAStreamThatGoesOnAndOfNoOther) {
    const std::uint64_t g = kK * kK * kK;
    const struct {
        const char* what;
        std::vector<a_read> reads;
        const char* answers;
    } cases[] = {
        {"a lone read", {{0, 128 * kK}}, "-"},
        {"reads in order: the window, then what each adds",
         {{0, 128 * kK}, {128 * kK, 128 * kK}, {256 * kK, 128 * kK}},
         "- 256+32768 33024+128"},
        {"out of order within the slack",
         {{0, 128 * kK}, {256 * kK, 128 * kK}, {128 * kK, 128 * kK}},
         "- 384+32768 -"},
        {"a jump starts a new run",
         {{0, 128 * kK}, {128 * kK, 128 * kK}, {g, 4 * kK}, {g + 4 * kK, 4 * kK}},
         "- 256+32768 - 1048584+32768"},
        {"scattered reads",
         {{5 * g, 4 * kK}, {g, 4 * kK}, {3 * g, 4 * kK}, {0, 4 * kK}},
         "- - - -"},
        {"just past the slack",
         {{0, 4 * kK}, {4 * kK + sequential_reads::kSlack + 1, 4 * kK}},
         "- -"},
    };
    for (const auto& c : cases) EXPECT_EQ(answers(c.reads), c.answers) << c.what;
}

}  // namespace
}  // namespace kiroda
