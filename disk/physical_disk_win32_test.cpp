// The product's raw-disk layer. Wine has no physical disks, so these tests
// stay with what holds on any machine: refusals and failures.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "disk/disk_survey.h"
#include "disk/physical_disk.h"

namespace kiroda {
namespace {

constexpr DWORD kUntouched = 0x1234ABCD;

// The program's disks are the image files of the test layer; these tests
// install the raw disks for themselves.
class PhysicalDiskWin32 : public testing::Test {
  protected:
    void SetUp() override { install_disk_ops(&platform_disk_ops()); }
    void TearDown() override { install_disk_ops(before_); }

  private:
    const disk_ops* before_ = &installed_disk_ops();
};

TEST_F(PhysicalDiskWin32, AModeOtherThanReadOrWriteAsksTheSystemNothing) {
    for (const int mode : {-1, 4, 99}) {
        // CreateFileA sets the last error on every path; an untouched value
        // shows it was never called.
        SetLastError(kUntouched);
        const disk_handle d = open_physical_disk(0, static_cast<disk_mode>(mode));
        EXPECT_FALSE(d.valid()) << static_cast<int>(mode);
        EXPECT_EQ(d.get(), kInvalidDisk);
        EXPECT_EQ(GetLastError(), kUntouched) << static_cast<int>(mode);
    }
}

TEST_F(PhysicalDiskWin32, ADiskNumberWithoutADeviceOpensNothing) {
    SetLastError(kUntouched);
    EXPECT_FALSE(open_physical_disk(97, disk_mode::read).valid());
    EXPECT_NE(GetLastError(), kUntouched);  // the system was asked, and said no
    EXPECT_FALSE(open_physical_disk(-1, disk_mode::write).valid());
}

TEST_F(PhysicalDiskWin32, AnInvalidHandleFailsEveryOperation) {
    const disk_handle d;
    std::vector<unsigned char> buffer(512, 0x33);
    disk_geometry g;
    SetLastError(kUntouched);
    EXPECT_FALSE(seek_sector(d, 1));
    EXPECT_FALSE(read_sectors(d, 1, buffer.data()));
    EXPECT_FALSE(write_sectors(d, 1, buffer.data()));
    EXPECT_EQ(get_disk_size_bytes(d), kDiskSizeInvalidHandle);
    EXPECT_EQ(GetLastError(), kUntouched);  // failed without a system call
    EXPECT_FALSE(flush_disk(d));
    EXPECT_EQ(get_bytes_per_sector(d), kSectorSizeQueryFailed);
    EXPECT_EQ(get_media_type(d), kMediaUnknown);
    EXPECT_FALSE(get_disk_geometry(d, &g));
    EXPECT_EQ(get_partition_count(d), kLayoutQueryFailed);
    EXPECT_EQ(buffer, std::vector<unsigned char>(512, 0x33));
}

TEST_F(PhysicalDiskWin32, AFileIsNoDiskForTheQueries) {
    // A handle that is not a disk device answers no disk query: the queries
    // must fail cleanly, not report what an unfilled reply holds.
    char path[MAX_PATH];
    char folder[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof folder, folder), 0u);
    ASSERT_NE(GetTempFileNameA(folder, "krd", 0, path), 0u);
    const HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    {
        const disk_handle d(reinterpret_cast<native_disk>(h), &platform_disk_ops());
        disk_geometry g;
        EXPECT_FALSE(get_disk_geometry(d, &g));
        EXPECT_EQ(get_bytes_per_sector(d), kSectorSizeQueryFailed);
        EXPECT_EQ(get_media_type(d), kMediaUnknown);
        EXPECT_EQ(get_disk_size_bytes(d), kDiskSizeQueryFailed);
        EXPECT_EQ(get_partition_count(d), kLayoutQueryFailed);
    }
    DeleteFileA(path);
}

TEST_F(PhysicalDiskWin32, ALetterWithoutAVolumeMapsToNoDisk) {
    // A network path's first character is a backslash: never a volume.
    EXPECT_EQ(drive_letter_to_disk_number('\\'), kVolumeNotOpened);
    EXPECT_TRUE(drive_letter_disk_numbers('\\').empty());
}

TEST_F(PhysicalDiskWin32, TheSurveyListsOnlyDisksThatOpen) {
    disk_table table;
    enumerate_disks(table);
    int previous = -1;
    bool ended = false;
    for (const auto& r : table) {
        if (r.number == kNoDisk) {
            ended = true;
            continue;
        }
        EXPECT_FALSE(ended) << "an entry after an unused one";
        EXPECT_GT(r.number, previous);
        EXPECT_LT(r.number, kDiskTableSize);
        EXPECT_TRUE(open_physical_disk(r.number, disk_mode::read).valid()) << r.number;
        previous = r.number;
    }
}

}  // namespace
}  // namespace kiroda
