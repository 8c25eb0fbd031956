#include "engine/data_file.h"

#include <gtest/gtest.h>

#include <string>

namespace kiroda {
namespace {

TEST(DataFile, NamesAreNumberedWithFiveDigits) {
    char path[64];
#ifdef _WIN32
    ASSERT_TRUE(data_file_path("E:\\BK", 12, path, sizeof path));
    EXPECT_STREQ(path, "E:\\BK\\KRD00012.BIN");
    ASSERT_TRUE(data_file_path("X:", 1, path, sizeof path));  // a drive root
    EXPECT_STREQ(path, "X:\\KRD00001.BIN");
#else
    ASSERT_TRUE(data_file_path("/srv/bk", 12, path, sizeof path));
    EXPECT_STREQ(path, "/srv/bk/KRD00012.BIN");
#endif
    EXPECT_FALSE(data_file_path("/a/folder/name/that/is/long", 1, path, 20));
}

TEST(DataFile, SpaceNeededCoversBlockHeaders) {
    const struct {
        std::uint64_t sectors_left;
        std::uint64_t bytes;
    } cases[] = {
        {1, 512 + 32},
        {32768, 16777216 + 32},
        {32769, 16777216 + 512 + 64},
        {60ULL * 32768 - 1, 60ULL * 16777216 - 512 + 60 * 32},
        {60ULL * 32768, 60ULL * (16777216 + 32)},
        {1000ULL * 32768, 60ULL * (16777216 + 32)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(data_file_bytes_needed(c.sectors_left), c.bytes) << c.sectors_left;
    // A full file needs more than 60 bare chunks: with exactly that much free,
    // the 60th block would not fit.
    EXPECT_GT(data_file_bytes_needed(60ULL * 32768), 1006632960u);
}

TEST(DataFile, BytesLeftLine) {
    char line[64];
    format_bytes_left(line, sizeof line, 1500000000);
    EXPECT_STREQ(line, "残り 1,500(MB)");
    format_bytes_left(line, sizeof line, 999999);
    EXPECT_STREQ(line, "残り 0(MB)");
}

}  // namespace
}  // namespace kiroda
