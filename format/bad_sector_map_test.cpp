#include "format/bad_sector_map.h"

#include <gtest/gtest.h>

#include <string>

namespace kiroda {
namespace {

TEST(BadSectorMap, TextRoundTripAndOtherToolsStates) {
    bad_sector_map map;
    map.add(0, 100, sector_state::read);
    map.add(100, 1, sector_state::unreadable);
    map.add(101, 27, sector_state::not_tried);
    map.add(128, 1000, sector_state::read);
    const std::string text = encode_bad_sector_map(map, true);
    EXPECT_NE(text.find("0x0000C800  0x00000200  -"), std::string::npos) << text;
    bad_sector_map back;
    int bad_line = -1;
    ASSERT_TRUE(parse_bad_sector_map(text, &back, &bad_line));
    ASSERT_EQ(back.runs().size(), map.runs().size());
    for (std::size_t i = 0; i < map.runs().size(); ++i) {
        EXPECT_EQ(back.runs()[i].first, map.runs()[i].first);
        EXPECT_EQ(back.runs()[i].count, map.runs()[i].count);
        EXPECT_EQ(back.runs()[i].state, map.runs()[i].state);
    }
    const struct {
        const char* text;
        int line;
    } bad[] = {
        {"# only comments\n", 2},
        {"0x0 + 1\n0x0 0x200 X\n", 2},
        {"0x0 + 1\n0x400 0x200 +\n0x0 0x200 +\n", 3},
        {"0x0 + 1\n0x0 0x0 +\n", 2},
        {"0x0 + 1\n0xFFFFFFFFFFFFFE00 0x1FF -\n", 2},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(parse_bad_sector_map(b.text, &back, &bad_line)) << b.text;
        EXPECT_EQ(bad_line, b.line) << b.text;
    }
}

}  // namespace
}  // namespace kiroda
