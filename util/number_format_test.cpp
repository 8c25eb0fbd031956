#include "util/number_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace kiroda {
namespace {

TEST(NumberFormat, SignedValuesAreGroupedByThousands) {
    const struct {
        std::int64_t value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {7, "7"},
        {999, "999"},
        {1000, "1,000"},
        {-999, "-999"},
        {-1234, "-1,234"},
        {1234567, "1,234,567"},
        {-100000, "-100,000"},
        {5000000000LL, "5,000,000,000"},
        {std::numeric_limits<std::int64_t>::max(), "9,223,372,036,854,775,807"},
        {std::numeric_limits<std::int64_t>::min(), "-9,223,372,036,854,775,808"},
    };
    for (const auto& c : cases) {
        char out[kGroupedTextSize];
        EXPECT_STREQ(format_int64_grouped(out, c.value), c.text) << c.value;
    }
}

TEST(NumberFormat, UnsignedValuesAreGroupedByThousands) {
    const struct {
        std::uint64_t value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {100, "100"},
        {1000, "1,000"},
        {1000204886016ULL, "1,000,204,886,016"},
        {std::numeric_limits<std::uint64_t>::max(), "18,446,744,073,709,551,615"},
    };
    for (const auto& c : cases) {
        char out[kGroupedTextSize];
        EXPECT_STREQ(format_uint64_grouped(out, c.value), c.text) << c.value;
    }
}

TEST(NumberFormat, LongestTextFitsTheDocumentedSizeExactly) {
    // Guard bytes after the 27-byte destination must survive the longest value.
    char buffer[kGroupedTextSize + 8];
    std::memset(buffer, 0x5A, sizeof buffer);
    format_uint64_grouped(buffer, std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(std::string(buffer).size(), 26u);
    for (std::size_t i = kGroupedTextSize; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0x5A);
}

TEST(NumberFormat, SixtyFourBitConversionFollowedByThirtyTwoBitValue) {
    // A 64-bit value followed by a 32-bit one must print both right in both
    // C runtimes; a wrong length modifier shifts the second argument.
    char text[64];
    std::snprintf(text, sizeof text, "%lld/%d", 5000000000LL, 42);
    EXPECT_STREQ(text, "5000000000/42");
    std::snprintf(text, sizeof text, "%llu/%d", 18446744073709551615ULL, -3);
    EXPECT_STREQ(text, "18446744073709551615/-3");
}

}  // namespace
}  // namespace kiroda
