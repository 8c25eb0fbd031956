// The disk operations over registered image files. The same tests run
// natively (Linux implementation) and under Wine (the Windows test build's
// image-backed implementation).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "disk/faulty_disk_test_support.h"
#include "disk/disk_image_test_support.h"
#include "disk/physical_disk.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::make_mbr;
using test_support::make_mbr_one_partition;
using test_support::pattern_sector;
using test_support::temp_folder;
using test_support::write_image;
using bytes = std::vector<unsigned char>;

bytes sectors_of(std::uint64_t first, std::uint32_t count) {
    bytes out;
    for (std::uint32_t i = 0; i < count; ++i) {
        const bytes s = pattern_sector(first + i);
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

bytes read_file_sectors(const std::string& path, std::uint64_t first, std::uint32_t count) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(first * 512));
    bytes out(count * 512u);
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    out.resize(static_cast<std::size_t>(in.gcount()));
    return out;
}

class PathDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        clear_disk_paths();
        image_ = dir_.file("disk0.img");
        write_image(image_, 64);
        register_disk_path(0, image_);
    }
    void TearDown() override { clear_disk_paths(); }

    void set_faults(const disk_faults& f) { set_disk_faults(0, f); }

    temp_folder dir_;
    std::string image_;
};

TEST_F(PathDisk, ReadsContinueFromTheSoughtSector) {
    const disk_handle d = open_physical_disk(0, disk_mode::read);
    ASSERT_TRUE(d.valid());
    bytes buffer(3 * 512);
    ASSERT_TRUE(seek_sector(d, 10));
    ASSERT_TRUE(read_sectors(d, 3, buffer.data()));
    EXPECT_EQ(buffer, sectors_of(10, 3));
    ASSERT_TRUE(read_sectors(d, 2, buffer.data()));
    EXPECT_EQ(bytes(buffer.begin(), buffer.begin() + 1024), sectors_of(13, 2));
}

TEST_F(PathDisk, AccessModes) {
    for (const disk_mode mode :
         {disk_mode::read, disk_mode::write, disk_mode::read_back, disk_mode::source}) {
        EXPECT_TRUE(open_physical_disk(0, mode).valid()) << static_cast<int>(mode);
    }
    // A value outside the modes opens nothing.
    for (const int mode : {-1, 4, 99}) {
        EXPECT_FALSE(open_physical_disk(0, static_cast<disk_mode>(mode)).valid()) << mode;
    }
}

TEST_F(PathDisk, AReadHandleDoesNotWriteAndAWriteHandleDoesNotRead) {
    bytes buffer(512, 0x5A);
    for (const disk_mode mode : {disk_mode::read, disk_mode::source}) {
        const disk_handle r = open_physical_disk(0, mode);
        ASSERT_TRUE(seek_sector(r, 1));
        EXPECT_FALSE(write_sectors(r, 1, buffer.data())) << static_cast<int>(mode);
        EXPECT_FALSE(flush_disk(r)) << static_cast<int>(mode);
    }
    {
        const disk_handle w = open_physical_disk(0, disk_mode::write);
        ASSERT_TRUE(seek_sector(w, 1));
        EXPECT_FALSE(read_sectors(w, 1, buffer.data()));
    }
    EXPECT_EQ(read_file_sectors(image_, 1, 1), pattern_sector(1));
}

TEST_F(PathDisk, NumbersWithoutAPathOpenNothing) {
    EXPECT_FALSE(open_physical_disk(1, disk_mode::read).valid());
    EXPECT_FALSE(open_physical_disk(-1, disk_mode::read).valid());
    register_disk_path(2, dir_.file("missing.img"));
    EXPECT_FALSE(open_physical_disk(2, disk_mode::read).valid());
    register_disk_path(3, dir_.text());  // a folder holds no sectors
    EXPECT_FALSE(open_physical_disk(3, disk_mode::read).valid());
}

TEST_F(PathDisk, TransfersNotWhollyInsideTheDiskFail) {
    const disk_handle d = open_physical_disk(0, disk_mode::read);
    bytes buffer(4 * 512);
    struct row {
        std::uint64_t sector;
        std::uint32_t count;
        int result;
    };
    const row rows[] = {{63, 1, 1}, {63, 2, 0}, {60, 4, 1},
                        {61, 4, 0}, {64, 1, 0}, {1ULL << 40, 1, 0}};
    for (const auto& r : rows) {
        ASSERT_TRUE(seek_sector(d, r.sector));
        EXPECT_EQ(read_sectors(d, r.count, buffer.data()), r.result) << r.sector << "+" << r.count;
    }
}

TEST_F(PathDisk, WritesBeyondTheEndFailAndTheImageKeepsItsSize) {
    const auto size_before = std::filesystem::file_size(image_);
    {
        const disk_handle d = open_physical_disk(0, disk_mode::write);
        const bytes data(2 * 512, 0xA5);
        ASSERT_TRUE(seek_sector(d, 63));
        EXPECT_FALSE(write_sectors(d, 2, data.data()));
        ASSERT_TRUE(seek_sector(d, 64));
        EXPECT_FALSE(write_sectors(d, 1, data.data()));
    }
    EXPECT_EQ(std::filesystem::file_size(image_), size_before);
    EXPECT_EQ(read_file_sectors(image_, 63, 1), pattern_sector(63));
}

TEST_F(PathDisk, WrittenSectorsReadBackAndNeighboursStay) {
    const bytes data = sectors_of(1000, 2);
    {
        const disk_handle w = open_physical_disk(0, disk_mode::write);
        ASSERT_TRUE(seek_sector(w, 5));
        ASSERT_TRUE(write_sectors(w, 2, data.data()));
        EXPECT_TRUE(flush_disk(w));
    }
    const disk_handle r = open_physical_disk(0, disk_mode::read);
    bytes buffer(4 * 512);
    ASSERT_TRUE(seek_sector(r, 4));
    ASSERT_TRUE(read_sectors(r, 4, buffer.data()));
    EXPECT_EQ(bytes(buffer.begin(), buffer.begin() + 512), pattern_sector(4));
    EXPECT_EQ(bytes(buffer.begin() + 512, buffer.begin() + 1536), data);
    EXPECT_EQ(bytes(buffer.begin() + 1536, buffer.end()), pattern_sector(7));
}

TEST_F(PathDisk, SeekingPast4GiBKeepsTheHighPart) {
    // Sector 8,388,608 is byte 2^32: a seek that dropped the high part would
    // land on sector 0.
    const std::string big = dir_.file("big.img");
    write_image(big, 1, make_mbr({}));
    std::filesystem::resize_file(big, (8388608ULL + 2) * 512);
    register_disk_path(1, big);
    const bytes marker = pattern_sector(77);
    {
        const disk_handle w = open_physical_disk(1, disk_mode::write);
        ASSERT_TRUE(seek_sector(w, 8388608));
        ASSERT_TRUE(write_sectors(w, 1, marker.data()));
    }
    EXPECT_EQ(read_file_sectors(big, 8388608, 1), marker);
    EXPECT_EQ(read_file_sectors(big, 0, 1), make_mbr({}));
    const disk_handle r = open_physical_disk(1, disk_mode::read);
    bytes buffer(512);
    ASSERT_TRUE(seek_sector(r, 8388608));
    ASSERT_TRUE(read_sectors(r, 1, buffer.data()));
    EXPECT_EQ(buffer, marker);
    EXPECT_EQ(get_disk_size_bytes(r), static_cast<std::int64_t>((8388608ULL + 2) * 512));
}

TEST_F(PathDisk, CountsWhoseByteLengthWouldWrapFail) {
    const disk_handle d = open_physical_disk(0, disk_mode::read);
    bytes buffer(512, 0x11);
    ASSERT_TRUE(seek_sector(d, 0));
    // 8,388,608 x 512 is 2^32: 0 in 32 bits, which would "succeed" reading nothing.
    EXPECT_FALSE(read_sectors(d, kMaxTransferSectors + 1, buffer.data()));
    EXPECT_FALSE(read_sectors(d, 0xFFFFFFFFu, buffer.data()));
    EXPECT_EQ(buffer, bytes(512, 0x11));
}

TEST_F(PathDisk, ImagesReportSizeSectorSizeAndFixedMedia) {
    const disk_handle d = open_physical_disk(0, disk_mode::read);
    EXPECT_EQ(get_disk_size_bytes(d), 64 * 512);
    EXPECT_EQ(get_bytes_per_sector(d), 512);
    EXPECT_EQ(get_media_type(d), kMediaFixed);
    disk_geometry g;
    ASSERT_TRUE(get_disk_geometry(d, &g));
    EXPECT_EQ(g.bytes_per_sector, 512u);
    EXPECT_EQ(g.media_type, kMediaFixed);
}

TEST_F(PathDisk, LayoutCountsThePrimarySlotsOfAnMbr) {
    struct row {
        const char* name;
        bytes sector0;
        int count;
    };
    const row rows[] = {
        {"one partition", make_mbr_one_partition(2048, 100), 4},
        {"empty table", make_mbr({}), 4},
        {"no signature", make_mbr({}, false), 0},
    };
    for (const auto& r : rows) {
        write_image(image_, 8, r.sector0);
        const disk_handle d = open_physical_disk(0, disk_mode::read);
        EXPECT_EQ(get_partition_count(d), r.count) << r.name;
    }
    EXPECT_EQ(get_partition_count(open_physical_disk(0, disk_mode::write)), kLayoutQueryFailed);
}

TEST_F(PathDisk, AnImageShorterThanASectorHasNoSectorZero) {
    test_support::write_file(image_, bytes(100, 0));
    const disk_handle d = open_physical_disk(0, disk_mode::read);
    ASSERT_TRUE(d.valid());
    EXPECT_EQ(get_disk_size_bytes(d), 100);
    EXPECT_EQ(get_partition_count(d), kLayoutQueryFailed);
    bytes buffer(512);
    ASSERT_TRUE(seek_sector(d, 0));
    EXPECT_FALSE(read_sectors(d, 1, buffer.data()));
}

TEST_F(PathDisk, AnInvalidHandleFailsEveryOperation) {
    const disk_handle d;
    bytes buffer(512);
    disk_geometry g;
    EXPECT_FALSE(seek_sector(d, 0));
    EXPECT_FALSE(read_sectors(d, 1, buffer.data()));
    EXPECT_FALSE(write_sectors(d, 1, buffer.data()));
    EXPECT_FALSE(flush_disk(d));
    EXPECT_EQ(get_disk_size_bytes(d), kDiskSizeInvalidHandle);
    EXPECT_EQ(get_bytes_per_sector(d), kSectorSizeQueryFailed);
    EXPECT_EQ(get_media_type(d), kMediaUnknown);
    EXPECT_FALSE(get_disk_geometry(d, &g));
    EXPECT_EQ(get_partition_count(d), kLayoutQueryFailed);
}

TEST_F(PathDisk, AReadFaultFailsTheReadsThatTouchItsSector) {
    disk_faults f;
    f.fail_read_at = 20;
    set_faults(f);
    const disk_handle d = open_physical_disk(0, disk_mode::read);
    bytes buffer(8 * 512);
    ASSERT_TRUE(seek_sector(d, 16));
    EXPECT_TRUE(read_sectors(d, 4, buffer.data()));
    EXPECT_FALSE(read_sectors(d, 4, buffer.data()));
    ASSERT_TRUE(seek_sector(d, 21));
    EXPECT_TRUE(read_sectors(d, 4, buffer.data()));
}

TEST_F(PathDisk, AWriteFaultWritesNothing) {
    disk_faults f;
    f.fail_write_at = 3;
    set_faults(f);
    {
        const disk_handle d = open_physical_disk(0, disk_mode::write);
        const bytes data(4 * 512, 0xEE);
        ASSERT_TRUE(seek_sector(d, 2));
        EXPECT_FALSE(write_sectors(d, 4, data.data()));
    }
    EXPECT_EQ(read_file_sectors(image_, 2, 4), sectors_of(2, 4));
}

TEST_F(PathDisk, AFullDiskTakesWhatFitsAndFailsTheWrite) {
    disk_faults f;
    f.write_budget_sectors = 5;
    set_faults(f);
    const bytes data(4 * 512, 0xEE);
    {
        const disk_handle d = open_physical_disk(0, disk_mode::write);
        ASSERT_TRUE(seek_sector(d, 0));
        EXPECT_TRUE(write_sectors(d, 4, data.data()));
        EXPECT_FALSE(write_sectors(d, 4, data.data()));
        ASSERT_TRUE(seek_sector(d, 40));
        EXPECT_FALSE(write_sectors(d, 1, data.data()));
    }
    EXPECT_EQ(read_file_sectors(image_, 0, 5), bytes(5 * 512, 0xEE));
    EXPECT_EQ(read_file_sectors(image_, 5, 1), pattern_sector(5));
    EXPECT_EQ(read_file_sectors(image_, 40, 1), pattern_sector(40));
}

TEST_F(PathDisk, QueryFaults) {
    disk_faults f;
    f.size_query_fails = true;
    f.layout_query_fails = true;
    f.flush_fails = true;
    set_faults(f);
    const disk_handle r = open_physical_disk(0, disk_mode::read);
    EXPECT_EQ(get_disk_size_bytes(r), kDiskSizeQueryFailed);
    EXPECT_EQ(get_partition_count(r), kLayoutQueryFailed);
    EXPECT_FALSE(flush_disk(open_physical_disk(0, disk_mode::write)));
}

TEST_F(PathDisk, GeometryFaultsStandForOtherDevices) {
    disk_faults f;
    f.bytes_per_sector = 4096;
    f.media_type = kMediaRemovable;
    set_faults(f);
    const disk_handle r = open_physical_disk(0, disk_mode::read);
    EXPECT_EQ(get_bytes_per_sector(r), 4096);
    EXPECT_EQ(get_media_type(r), kMediaRemovable);
    f.bytes_per_sector = 0;
    f.media_type = kMediaUnknown;
    set_faults(f);
    const disk_handle unknown = open_physical_disk(0, disk_mode::read);
    EXPECT_EQ(get_bytes_per_sector(unknown), 512);
    EXPECT_EQ(get_media_type(unknown), kMediaUnknown);
}

TEST_F(PathDisk, EventsRecordOpensWritesAndFlushesInOrder) {
    std::vector<disk_event> events;
    disk_faults f;
    f.on_event = [&events](const disk_event& e) { events.push_back(e); };
    set_faults(f);
    const bytes data(8 * 512, 0x42);
    {
        const disk_handle d = open_physical_disk(0, disk_mode::write);
        ASSERT_TRUE(seek_sector(d, 1));
        ASSERT_TRUE(write_sectors(d, 8, data.data()));
        ASSERT_TRUE(flush_disk(d));
        ASSERT_TRUE(seek_sector(d, 0));
        ASSERT_TRUE(write_sectors(d, 1, data.data()));
        ASSERT_TRUE(flush_disk(d));
        ASSERT_TRUE(seek_sector(d, 63));
        EXPECT_FALSE(write_sectors(d, 2, data.data()));
    }
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].kind, disk_event::kOpen);
    EXPECT_EQ(events[0].mode, disk_mode::write);
    EXPECT_EQ(events[1].kind, disk_event::kWrite);
    EXPECT_EQ(events[1].first_sector, 1u);
    EXPECT_EQ(events[1].count, 8u);
    EXPECT_EQ(events[2].kind, disk_event::kFlush);
    EXPECT_EQ(events[3].kind, disk_event::kWrite);
    EXPECT_EQ(events[3].first_sector, 0u);
    EXPECT_EQ(events[3].count, 1u);
    EXPECT_EQ(events[4].kind, disk_event::kFlush);
    EXPECT_EQ(events[5].kind, disk_event::kWrite);
    EXPECT_EQ(events[5].first_sector, 63u);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(events[static_cast<std::size_t>(i)].ok) << i;
    EXPECT_FALSE(events[5].ok);
}

TEST_F(PathDisk, TheDiskCanChangeJustBeforeItOpens) {
    // A disk swapped between a check and the write: the second open finds a
    // partition that the first did not.
    int opens = 0;
    disk_faults f;
    f.on_open = [&](int number, disk_mode mode) {
        EXPECT_EQ(number, 0);
        if (++opens == 2) {
            EXPECT_EQ(mode, disk_mode::write);
            write_image(image_, 64, make_mbr_one_partition(2048, 100));
        }
    };
    write_image(image_, 64, make_mbr({}));
    set_faults(f);
    bytes sector(512);
    {
        const disk_handle first = open_physical_disk(0, disk_mode::read);
        ASSERT_TRUE(read_sectors(first, 1, sector.data()));
        EXPECT_EQ(sector, make_mbr({}));
    }
    { const disk_handle second = open_physical_disk(0, disk_mode::write); }
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(read_file_sectors(image_, 0, 1), make_mbr_one_partition(2048, 100));
}

TEST_F(PathDisk, TheOpenHookCanPutAnotherDiskUnderTheNumber) {
    const std::string other = dir_.file("other.img");
    write_image(other, 8, make_mbr_one_partition(1, 7));
    disk_faults f;
    f.on_open = [&other](int number, disk_mode) { register_disk_path(number, other); };
    set_faults(f);
    const disk_handle d = open_physical_disk(0, disk_mode::read);
    ASSERT_TRUE(d.valid());
    EXPECT_EQ(get_disk_size_bytes(d), 8 * 512);
    bytes sector(512);
    ASSERT_TRUE(read_sectors(d, 1, sector.data()));
    EXPECT_EQ(sector, make_mbr_one_partition(1, 7));
}

TEST_F(PathDisk, DriveLettersMapToTheirRegisteredDisks) {
    register_drive_extents('E', {2, 0});
    register_drive_extents('F', {});
    EXPECT_EQ(drive_letter_to_disk_number('E'), 2);
    EXPECT_EQ(drive_letter_disk_numbers('E'), (std::vector<int>{2, 0}));
    EXPECT_EQ(drive_letter_to_disk_number('F'), kExtentsQueryFailed);
    EXPECT_TRUE(drive_letter_disk_numbers('F').empty());
    EXPECT_EQ(drive_letter_to_disk_number('\\'), kVolumeNotOpened);
    EXPECT_TRUE(drive_letter_disk_numbers('\\').empty());
}

}  // namespace
}  // namespace kiroda
