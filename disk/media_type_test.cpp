#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "disk/physical_disk.h"

namespace kiroda {
namespace {

// The names as bytes: Shift-JIS in the Windows build (half-width katakana are
// single bytes A1-DF there), UTF-8 natively. A wrong execution character set
// or a full-width katakana typed by mistake shows here.
struct media_name_case {
    int code;
    const char* sjis_hex;
    const char* utf8_hex;
};

constexpr media_name_case kCases[] = {
    {0, "957396be82c8d2c3dea8b1", "e4b88de6988ee381aaefbe92efbe83efbe9eefbda8efbdb1"},
    {11, "d8d1b0cadeccded9", "efbe98efbe91efbdb0efbe8aefbe9eefbe8cefbe9eefbe99"},
    {12, "8cc592e8c3dea8bdb8", "e59bbae5ae9aefbe83efbe9eefbda8efbdbdefbdb8"},
    {13, "957396be82c8d2c3dea8b1", "e4b88de6988ee381aaefbe92efbe83efbe9eefbda8efbdb1"},
    {200, "957396be82c8d2c3dea8b1", "e4b88de6988ee381aaefbe92efbe83efbe9eefbda8efbdb1"},
    {255, "957396be82c8d2c3dea8b1", "e4b88de6988ee381aaefbe92efbe83efbe9eefbda8efbdb1"},
};

std::string hex(const char* text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char* p = text; *p; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

TEST(MediaTypeName, JapaneseNamesHaveTheirExactBytes) {
    for (const auto& c : kCases) {
#ifdef _WIN32
        const char* expected = c.sjis_hex;
#else
        const char* expected = c.utf8_hex;
#endif
        EXPECT_EQ(hex(media_type_name(static_cast<std::uint8_t>(c.code))), expected) << c.code;
    }
}

TEST(MediaTypeName, FloppyNamesUseTheAsciiDoubleQuoteAsInchMark) {
    struct floppy {
        int code;
        const char* name;
    };
    const floppy floppies[] = {
        {1, "5\"1.2MB"},   {2, "3.5\"1.44MB"}, {3, "3.5\"2.88MB"}, {4, "3.5\"20MB"},
        {5, "3.5\"720KB"}, {6, "5\"360KB"},    {7, "5\"320KB"},    {8, "5\"320/1k"},
        {9, "5\"180KB"},   {10, "5\"160KB"},
    };
    for (const auto& f : floppies) {
        EXPECT_STREQ(media_type_name(static_cast<std::uint8_t>(f.code)), f.name) << f.code;
    }
    EXPECT_EQ(std::strlen(media_type_name(1)), 7u);
    EXPECT_EQ(media_type_name(1)[1], 34);
}

}  // namespace
}  // namespace kiroda
