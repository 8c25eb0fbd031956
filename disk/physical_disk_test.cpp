// The disk functions over an installed table: what they work out from its
// answers, and that a handle stays with the table that opened it.
#include "disk/physical_disk.h"

#include <gtest/gtest.h>

#include <vector>

namespace kiroda {
namespace {

// A table whose answers a test sets; it counts the handles it closed.
struct scripted {
    geometry_reply geometry = geometry_reply::answered;
    volume_reply volume = volume_reply::found;
    std::vector<int> disks;
    int closed = 0;
};
scripted g_script;

const disk_ops kScripted{
    [](int, disk_mode) -> native_disk { return 7; },
    [](native_disk) { ++g_script.closed; },
    [](native_disk, std::uint64_t) { return true; },
    [](native_disk, std::uint32_t, void*) { return true; },
    [](native_disk, std::uint32_t, const void*) { return true; },
    [](native_disk) { return true; },
    [](native_disk) -> std::int64_t { return 4096; },
    [](native_disk, disk_geometry* g) {
        g->bytes_per_sector = 2048;
        g->media_type = 0x10B;  // only the low byte is the media type
        return g_script.geometry;
    },
    [](native_disk) { return 4; },
    [](char, std::vector<int>* numbers) {
        *numbers = g_script.disks;
        return g_script.volume;
    },
};

class InstalledDisks : public testing::Test {
  protected:
    void SetUp() override {
        g_script = scripted{};
        install_disk_ops(&kScripted);
    }
    void TearDown() override { install_disk_ops(before_); }

  private:
    const disk_ops* before_ = &installed_disk_ops();
};

TEST_F(InstalledDisks, TheQueriesAreWorkedOutFromTheGeometry) {
    const struct {
        geometry_reply reply;
        int bytes_per_sector;
        std::uint8_t media;
    } cases[] = {
        {geometry_reply::answered, 2048, kMediaRemovable},
        {geometry_reply::failed, kSectorSizeQueryFailed, kMediaUnknown},
        {geometry_reply::too_long, kSectorSizeReplyTooLong, kMediaUnknown},
    };
    for (const auto& c : cases) {
        g_script.geometry = c.reply;
        const disk_handle d = open_physical_disk(0, disk_mode::read);
        disk_geometry g;
        EXPECT_EQ(get_bytes_per_sector(d), c.bytes_per_sector);
        EXPECT_EQ(get_media_type(d), c.media);
        EXPECT_EQ(get_disk_geometry(d, &g), c.reply == geometry_reply::answered);
    }
}

TEST_F(InstalledDisks, ADriveLetterNamesTheFirstDiskOfItsVolume) {
    const struct {
        volume_reply reply;
        std::vector<int> disks;
        int number;
        std::size_t listed;
    } cases[] = {
        {volume_reply::found, {3, 1}, 3, 2},
        {volume_reply::not_opened, {}, kVolumeNotOpened, 0},
        {volume_reply::query_failed, {}, kExtentsQueryFailed, 0},
        // A table that says "found" with no disk names none.
        {volume_reply::found, {}, kExtentsQueryFailed, 0},
    };
    for (const auto& c : cases) {
        g_script.volume = c.reply;
        g_script.disks = c.disks;
        EXPECT_EQ(drive_letter_to_disk_number('E'), c.number);
        EXPECT_EQ(drive_letter_disk_numbers('E').size(), c.listed);
    }
}

TEST_F(InstalledDisks, AHandleClosesThroughTheTableThatOpenedIt) {
    {
        const disk_handle d = open_physical_disk(0, disk_mode::write);
        install_disk_ops(&platform_disk_ops());
        EXPECT_EQ(get_partition_count(d), 4);  // still the scripted table's
    }
    EXPECT_EQ(g_script.closed, 1);
}

}  // namespace
}  // namespace kiroda
