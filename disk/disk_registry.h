// The table of disk numbers -> paths used by the path-backed disks: block
// devices and image files on Linux (krdtool registers the paths it is given),
// image files in the Windows test programs; and the volumes of fake drive
// letters.
//
// It holds paths only. The faults a test injects live beside it, in the
// test programs' own disk layer (disk/faulty_disk_test_support.h).
//
// The product's Windows disk layer opens \\.\PHYSICALDRIVE%d and never looks
// at this table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kiroda {

// Disk `number` (0 or above) is the device or image file at `path`; an
// earlier path of that number is replaced.
void register_disk_path(int number, std::string path);
// The volume of drive `letter` lies on these disks; an empty list makes the
// extents query fail. Letters not registered name no volume.
void register_drive_extents(char letter, std::vector<int> disk_numbers);
// Forgets every path and drive letter.
void clear_disk_paths();

// ---- Used by the path-backed disk implementations ----

struct registered_disk {
    std::string path;
    // Tells this registration of the number from every other one, earlier
    // or later, the same path registered again included: what is kept about
    // a disk beside this table lasts only as long as its registration.
    std::uint64_t registration = 0;
};

// False when `number` has no path.
[[nodiscard]] bool find_registered_disk(int number, registered_disk* disk);

// True with the disk numbers of `letter`, false when the letter is not
// registered.
[[nodiscard]] bool find_drive_extents(char letter, std::vector<int>* disk_numbers);

}  // namespace kiroda
