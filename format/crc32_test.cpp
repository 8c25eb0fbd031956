#include "format/crc32.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kiroda {
namespace {

TEST(Crc32, KnownValues) {
    const struct {
        const char* text;
        std::uint32_t crc;
    } cases[] = {
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"123456789", 0xCBF43926u},  // the standard check value
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(crc32(reinterpret_cast<const unsigned char*>(c.text), std::strlen(c.text)), c.crc)
            << c.text;
    }
}

TEST(Crc32, EveryByteValueMatters) {
    unsigned char data[256];
    for (int i = 0; i < 256; ++i) data[i] = static_cast<unsigned char>(i);
    const std::uint32_t base = crc32(data, sizeof data);
    EXPECT_EQ(base, 0x29058C73u);
    data[200] ^= 0x01;
    EXPECT_NE(crc32(data, sizeof data), base);
}

}  // namespace
}  // namespace kiroda
