#include "disk/device_path.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace kiroda {
namespace {

TEST(DevicePath, PhysicalDrivesAreNumberedInDecimalWithoutPadding) {
    struct row {
        int number;
        const char* path;
    };
    const row rows[] = {
        {0, "\\\\.\\PHYSICALDRIVE0"},
        {7, "\\\\.\\PHYSICALDRIVE7"},
        {123, "\\\\.\\PHYSICALDRIVE123"},
        {-1, "\\\\.\\PHYSICALDRIVE-1"},
        {INT_MIN, "\\\\.\\PHYSICALDRIVE-2147483648"},
    };
    for (const auto& r : rows) {
        char path[kPhysicalDrivePathSize];
        format_physical_drive_path(path, r.number);
        EXPECT_STREQ(path, r.path);
    }
}

TEST(DevicePath, VolumePathPutsTheLetterAsItComes) {
    struct row {
        char letter;
        const char* path;
    };
    const row rows[] = {{'C', "\\\\.\\C:"}, {'d', "\\\\.\\d:"}, {'\\', "\\\\.\\\\:"}};
    for (const auto& r : rows) {
        char path[kVolumePathSize];
        format_volume_path(path, r.letter);
        EXPECT_STREQ(path, r.path);
        EXPECT_EQ(std::strlen(path), 6u);
    }
}

}  // namespace
}  // namespace kiroda
