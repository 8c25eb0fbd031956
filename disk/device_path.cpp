#include "disk/device_path.h"

#include <cstdio>
#include <cstring>

namespace kiroda {

void format_physical_drive_path(char (&path)[kPhysicalDrivePathSize], int number) {
    std::snprintf(path, sizeof path, "\\\\.\\PHYSICALDRIVE%d", number);
}

void format_volume_path(char (&path)[kVolumePathSize], char letter) {
    std::memcpy(path, "\\\\.\\C:", kVolumePathSize);
    path[4] = letter;
}

}  // namespace kiroda
