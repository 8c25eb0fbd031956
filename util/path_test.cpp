#include "util/path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kiroda {
namespace {

// "ソ" in Shift-JIS: its trail byte is the byte of "\".
#define SO "\x83\x5C"

TEST(EnsureTrailingBackslash, AddsExactlyOneWhereNeeded) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"", "\\"},
        {"E:", "E:\\"},
        {"E:\\", "E:\\"},
        {"E:\\BK", "E:\\BK\\"},
        {"E:\\BK\\", "E:\\BK\\"},
        {"D:", "D:\\"},
        {"D:\\BACKUP", "D:\\BACKUP\\"},
        // The trail byte 0x5C of a double-byte character is not a backslash.
        {"E:\\" SO, "E:\\" SO "\\"},
        {"E:\\" SO "\\", "E:\\" SO "\\"},
        {SO, SO "\\"},
        {"\\\\server\\share", "\\\\server\\share\\"},
    };
    for (const auto& c : cases) {
        char buffer[64];
        std::strcpy(buffer, c.in);
        ASSERT_NE(ensure_trailing_backslash(buffer, sizeof buffer), nullptr) << c.in;
        EXPECT_STREQ(buffer, c.out) << c.in;
    }
}

TEST(EnsureTrailingBackslash, RefusesWhenTheBufferIsFullAndKeepsGuardBytes) {
    char buffer[8 + 4];
    std::memset(buffer, 'G', sizeof buffer);
    std::memcpy(buffer, "E:\\ABCD", 8);  // 7 characters, NUL at index 7
    EXPECT_EQ(ensure_trailing_backslash(buffer, 8), nullptr);
    EXPECT_STREQ(buffer, "E:\\ABCD");
    for (std::size_t i = 8; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 'G');
    EXPECT_NE(ensure_trailing_backslash(buffer, 9), nullptr);
    EXPECT_STREQ(buffer, "E:\\ABCD\\");
}

TEST(FindLastBackslash, StepsOverDoubleByteCharacters) {
    const char* text = "E:\\A" SO "B";
    EXPECT_EQ(find_last_backslash(text), text + 2);
    EXPECT_EQ(find_last_backslash(SO SO), nullptr);
    // A lead byte as the very last byte has no trail byte; nothing past the NUL is read.
    const char* lone = "A\\\x83";
    EXPECT_EQ(find_last_backslash(lone), lone + 1);
}

TEST(DirectoryOfPath, DropsTheNameAndOneSeparator) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"E:\\BK\\KRD00000.BIN", "E:\\BK"},
        {"E:\\KRD00000.BIN", "E:"},
        {"E:KRD00000.BIN", "E:"},
        {"E:\\" SO "\\KRD00000.BIN", "E:\\" SO},
        {"E:\\A" SO "KRD00000.BIN", "E:"},
        {"/srv/set/KRD00000.BIN", "/srv/set"},
        {"KRD00000.BIN", ""},
    };
    for (const auto& c : cases) {
        char out[64];
        ASSERT_TRUE(directory_of_path(c.in, out, sizeof out)) << c.in;
        EXPECT_STREQ(out, c.out) << c.in;
    }
    char small[4];
    EXPECT_FALSE(directory_of_path("E:\\LONGER\\X.BIN", small, sizeof small));
    EXPECT_STREQ(small, "");
}

TEST(JoinPath, AddsOneSeparatorAndRefusesWhatDoesNotFit) {
    char out[kPathCapacity];
#ifdef _WIN32
    ASSERT_TRUE(join_path("E:\\BK", "KRD00001.BIN", out, sizeof out));
    EXPECT_STREQ(out, "E:\\BK\\KRD00001.BIN");
    ASSERT_TRUE(join_path("E:\\", "KRD00001.BIN", out, sizeof out));
    EXPECT_STREQ(out, "E:\\KRD00001.BIN");
#else
    ASSERT_TRUE(join_path("/srv/set", "KRD00001.BIN", out, sizeof out));
    EXPECT_STREQ(out, "/srv/set/KRD00001.BIN");
    ASSERT_TRUE(join_path("/srv/set/", "KRD00001.BIN", out, sizeof out));
    EXPECT_STREQ(out, "/srv/set/KRD00001.BIN");
#endif
    // A 2,040-byte folder cannot take "\KRD00001.BIN" in a 2,048-byte buffer.
    std::string folder(2040, 'a');
    char guarded[kPathCapacity + 16];
    std::memset(guarded, 'G', sizeof guarded);
    EXPECT_FALSE(join_path(folder.c_str(), "KRD00001.BIN", guarded, kPathCapacity));
    EXPECT_STREQ(guarded, "");
    for (std::size_t i = kPathCapacity; i < sizeof guarded; ++i) EXPECT_EQ(guarded[i], 'G');
}

TEST(FreeSpaceRoot, VolumeRootWithoutTheExtendedQuery) {
    const struct {
        const char* folder;
        bool extended;
        const char* root;
    } cases[] = {
        {"E:\\BK", true, "E:\\BK\\"},
        {"E:\\BK", false, "E:\\"},
        {"E:", false, "E:\\"},
        {"E:\\" SO "\\X", false, "E:\\"},
        {"\\\\server\\share\\folder\\sub", false, "\\\\server\\share\\"},
        {"\\\\server\\share", false, "\\\\server\\share\\"},
        {"\\\\server", false, "\\\\server\\"},
        {"\\\\server\\" SO "\\sub", false, "\\\\server\\" SO "\\"},
        {"relative", false, "relative\\"},
    };
    for (const auto& c : cases) {
        char out[64];
        ASSERT_TRUE(free_space_root(c.folder, c.extended, out, sizeof out)) << c.folder;
        EXPECT_STREQ(out, c.root) << c.folder;
    }
    char small[4];
    EXPECT_FALSE(free_space_root("E:\\BK", true, small, sizeof small));
}

}  // namespace
}  // namespace kiroda
