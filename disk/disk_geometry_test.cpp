#include "disk/disk_geometry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "util/le.h"

namespace kiroda {
namespace {

disk_geometry geometry(std::int64_t cylinders, std::uint32_t heads, std::uint32_t sectors,
                       std::uint32_t bytes) {
    disk_geometry g;
    g.cylinders = cylinders;
    g.media_type = kMediaFixed;
    g.tracks_per_cylinder = heads;
    g.sectors_per_track = sectors;
    g.bytes_per_sector = bytes;
    return g;
}

// A device behind the probe: counts the calls and answers `readable` reads.
struct fake_device {
    bool seek_ok = true;
    std::uint64_t readable = 0;  // reads that succeed; UINT64_MAX: every read
    std::uint64_t seek_offset = 0;
    std::uint64_t reads = 0;

    size_probe probe() {
        return {
            [this](std::uint64_t offset) {
                seek_offset = offset;
                return seek_ok;
            },
            [this](std::uint32_t) { return reads++ < readable; },
        };
    }
};

TEST(DiskGeometry, ParsesTheReplyFieldByField) {
    unsigned char reply[24];
    store_le64(reply, 0x123456789ULL);
    store_le32(reply + 8, 0x10C);  // only the low byte is the media code
    store_le32(reply + 12, 255);
    store_le32(reply + 16, 63);
    store_le32(reply + 20, 4096);
    const disk_geometry g = parse_disk_geometry(reply);
    EXPECT_EQ(g.cylinders, 0x123456789LL);
    EXPECT_EQ(g.media_type, 0x10Cu);
    EXPECT_EQ(g.tracks_per_cylinder, 255u);
    EXPECT_EQ(g.sectors_per_track, 63u);
    EXPECT_EQ(g.bytes_per_sector, 4096u);
}

TEST(DiskGeometry, ProductIsFormedIn64Bits) {
    struct row {
        disk_geometry g;
        bool ok;
        std::int64_t bytes;
    };
    const row rows[] = {
        // 1 TB disk: past 32 bits long before the last factor.
        {geometry(121601, 255, 63, 512), true, 1000202273280LL},
        {geometry(0, 255, 63, 512), true, 0},
        {geometry(1LL << 40, 255, 63, 512), true, 9043791001713377280LL},
        {geometry(1LL << 41, 255, 63, 512), false, 0},  // beyond a signed 64-bit size
        {geometry(-1, 255, 63, 512), false, 0},
        {geometry(INT64_MAX, 1, 1, 1), true, INT64_MAX},
        {geometry(INT64_MAX, 1, 1, 2), false, 0},
    };
    for (const auto& r : rows) {
        std::int64_t bytes = -7;
        EXPECT_EQ(geometry_product_bytes(r.g, &bytes), r.ok) << r.g.cylinders;
        EXPECT_EQ(bytes, r.ok ? r.bytes : -7) << r.g.cylinders;
    }
}

TEST(DiskSizeProbe, ADeviceThatAlwaysReadsStopsAfterOneCylinder) {
    fake_device device;
    device.readable = UINT64_MAX;
    const disk_geometry g = geometry(1000, 255, 63, 512);
    const std::int64_t size = probed_disk_size(g, device.probe());
    EXPECT_EQ(device.reads, 255u * 63u);
    EXPECT_EQ(size, 1000LL * 255 * 63 * 512 + 255LL * 63 * 512);
}

TEST(DiskSizeProbe, CountsTheSectorsPastTheLastWholeCylinder) {
    fake_device device;
    device.readable = 3;
    const disk_geometry g = geometry(10, 16, 63, 512);
    EXPECT_EQ(probed_disk_size(g, device.probe()), 10LL * 16 * 63 * 512 + 3 * 512);
    EXPECT_EQ(device.seek_offset, 10u * 16 * 63 * 512);
    EXPECT_EQ(device.reads, 4u);  // three sectors and the read that failed
}

TEST(DiskSizeProbe, IsNotTriedForLargeOrMissingSectorSizes) {
    for (const std::uint32_t bytes : {16384u, 0u}) {
        fake_device device;
        device.readable = UINT64_MAX;
        const disk_geometry g = geometry(10, 16, 63, bytes);
        EXPECT_EQ(probed_disk_size(g, device.probe()), 10LL * 16 * 63 * bytes);
        EXPECT_EQ(device.reads, 0u) << bytes;
    }
}

TEST(DiskSizeProbe, AFailedSeekGivesTheCylinderProduct) {
    fake_device device;
    device.seek_ok = false;
    device.readable = UINT64_MAX;
    EXPECT_EQ(probed_disk_size(geometry(10, 16, 63, 512), device.probe()), 10LL * 16 * 63 * 512);
    EXPECT_EQ(device.reads, 0u);
}

TEST(DiskSizeProbe, AGeometryThatIsNoSizeFailsTheQuery) {
    fake_device device;
    EXPECT_EQ(probed_disk_size(geometry(-5, 16, 63, 512), device.probe()), kDiskSizeQueryFailed);
    EXPECT_EQ(probed_disk_size(geometry(1LL << 41, 255, 63, 512), device.probe()),
              kDiskSizeQueryFailed);
    EXPECT_EQ(device.reads, 0u);
}

}  // namespace
}  // namespace kiroda
