#include "zerofill/drive_volume_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace kiroda {
namespace {

// A drive letter that names no volume on this machine, or 0.
char missing_drive() {
    const DWORD drives = GetLogicalDrives();
    for (char letter = 'Q'; letter <= 'Y'; ++letter) {
        if ((drives & (1u << (letter - 'A'))) == 0) return letter;
    }
    return 0;
}

TEST(DriveVolume, TheSystemDrivesFileSystemIsReadAndKept) {
    char windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 2u);
    const std::string root = std::string(1, windows[0]) + ":\\";
    char name[32] = {};
    ASSERT_TRUE(GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name,
                                      sizeof name));
    EXPECT_EQ(get_file_system_kind(root.c_str()), file_system_kind_of_name(name));
    EXPECT_STREQ(last_file_system_name(), name);

    // A failed query returns -1 and keeps the name read before.
    const char letter = missing_drive();
    ASSERT_NE(letter, 0);
    const std::string missing = std::string(1, letter) + ":\\";
    EXPECT_EQ(get_file_system_kind(missing.c_str()), kFileSystemQueryFailed);
    EXPECT_STREQ(last_file_system_name(), name);
}

TEST(DriveVolume, FreeBytesOfADriveAndOfAnyPathOnIt) {
    char windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 2u);
    ULARGE_INTEGER available{}, total{}, total_free{};
    const std::string root = std::string(1, windows[0]) + ":\\";
    ASSERT_TRUE(GetDiskFreeSpaceExA(root.c_str(), &available, &total, &total_free));
    // A path on the drive is asked about its root; free space moves a little
    // while other programs write, so compare within a megabyte.
    for (const std::string& path : {root, std::string(windows), std::string(1, windows[0]) + ":"}) {
        const std::int64_t free = get_drive_free_bytes(path.c_str());
        EXPECT_GT(free, 0) << path;
        EXPECT_LT(std::llabs(free - static_cast<std::int64_t>(available.QuadPart)), 1 << 20)
            << path;
    }
    const char letter = missing_drive();
    ASSERT_NE(letter, 0);
    EXPECT_EQ(get_drive_free_bytes((std::string(1, letter) + ":\\ZEROTEMP").c_str()), -1);
}

TEST(DriveVolume, TheVolumeObjectAsksItsOwnRoot) {
    const char letter = missing_drive();
    ASSERT_NE(letter, 0);
    drive_volume volume(std::string(1, letter) + ":\\");
    EXPECT_EQ(volume.query_file_system_kind(), kFileSystemQueryFailed);
    EXPECT_EQ(volume.free_bytes(), -1);
}

}  // namespace
}  // namespace kiroda
