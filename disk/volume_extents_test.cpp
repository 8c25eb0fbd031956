#include "disk/volume_extents.h"

#include <gtest/gtest.h>

#include <vector>

#include "util/le.h"

namespace kiroda {
namespace {

// A reply naming `count` extents and holding the extents of `disks`.
std::vector<unsigned char> reply(std::uint32_t count, const std::vector<std::uint32_t>& disks) {
    std::vector<unsigned char> r(kExtentsHeaderBytes + kExtentBytes * disks.size(), 0xCC);
    store_le32(r.data(), count);
    for (std::size_t i = 0; i < disks.size(); ++i) {
        unsigned char* e = r.data() + kExtentsHeaderBytes + kExtentBytes * i;
        store_le32(e, disks[i]);
        store_le64(e + 8, 1048576);      // starting offset
        store_le64(e + 16, 1000000000);  // length
    }
    return r;
}

TEST(VolumeExtents, EveryExtentOfASpannedVolumeCounts) {
    const auto r = reply(2, {2, 0});
    EXPECT_EQ(parse_volume_extents(r.data(), r.size()), (std::vector<int>{2, 0}));
}

TEST(VolumeExtents, RepliesThatNameNoWholeListGiveNothing) {
    struct row {
        const char* what;
        std::vector<unsigned char> bytes;
    };
    const row rows[] = {
        {"no extent", reply(0, {})},
        {"more extents named than held", reply(3, {1, 2})},
        {"count near 2^32", reply(0xFFFFFFFFu, {1})},
        {"shorter than the header", std::vector<unsigned char>(7, 0)},
    };
    for (const auto& r : rows) {
        EXPECT_TRUE(parse_volume_extents(r.bytes.data(), r.bytes.size()).empty()) << r.what;
    }
}

TEST(VolumeExtents, ExtraBytesAfterTheListAreIgnored) {
    auto r = reply(1, {5, 9});  // room for two, one named
    EXPECT_EQ(parse_volume_extents(r.data(), r.size()), (std::vector<int>{5}));
}

}  // namespace
}  // namespace kiroda
