// Names of the Windows devices a disk number or a drive letter stands for.
#pragma once

#include <cstddef>

namespace kiroda {

// "\\.\PHYSICALDRIVE" and a decimal int with its sign, and the NUL.
constexpr std::size_t kPhysicalDrivePathSize = 32;
// "\\.\C:" and the NUL.
constexpr std::size_t kVolumePathSize = 7;

// "\\.\PHYSICALDRIVE<number>", decimal, no padding.
void format_physical_drive_path(char (&path)[kPhysicalDrivePathSize], int number);

// "\\.\C:" with `letter` in place of C, taken as it comes (a network path's
// backslash gives a path that opens nothing). No trailing backslash: the path
// names the volume device, not its root folder.
void format_volume_path(char (&path)[kVolumePathSize], char letter);

}  // namespace kiroda
