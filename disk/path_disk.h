// The disks that stand for a path (Linux block devices and image files,
// Windows test images): path_disk.cpp implements the disk operations of
// physical_disk.h once, over the few file calls each platform provides here.
//
// The operations are named here (path_disk::) and not as the seam itself:
// physical_disk_paths.cpp makes them the seam, one for one, in krdtool and
// every other program; test programs link faulty_disk_test_support.cpp in
// its place, which injects faults around the same operations. So the
// product's disk layer holds no fault branch, and the tests still run every
// check it makes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "disk/physical_disk.h"

namespace kiroda::path_file {

// An open file or device; kNone when there is none.
using handle = std::intptr_t;
constexpr handle kNone = -1;

struct facts {
    bool size_known = false;
    std::uint64_t size_bytes = 0;
    std::uint32_t bytes_per_sector = 0;  // 0 when the device does not say
    std::uint8_t media_type = 0;
};

// Opens an existing file or block device for reading or for writing, and
// tells its size, sector size and media type. kNone on failure, with the
// system's error code left for the caller's message.
// `uncached` (read-only handles): reads bypass the system's cache where the
// file system allows it, and otherwise the cached pages are dropped first.
handle open(const std::string& path, bool writable, facts* facts, bool uncached = false);
void close(handle file);

// Exactly `bytes` bytes at byte `offset`, or false.
bool read_at(handle file, std::uint64_t offset, void* buffer, std::size_t bytes);
bool write_at(handle file, std::uint64_t offset, const void* buffer, std::size_t bytes);
bool flush(handle file);

}  // namespace kiroda::path_file

namespace kiroda::path_disk {

// Whether `mode` is one open_physical_disk accepts ('r', 'R', 'w', 'W', 'v',
// 's').
bool known_mode(char mode);

// The operations of physical_disk.h on the native value of a handle
// (kInvalidDisk fails each of them at once). open sets errno to ENODEV for
// a number without a path.
native_disk open(int number, char mode);
void close(native_disk disk);
int seek(native_disk disk, std::uint64_t sector);
int read(native_disk disk, std::uint32_t count, void* buffer);
int write(native_disk disk, std::uint32_t count, const void* buffer);
int flush(native_disk disk);
std::int64_t size_bytes(native_disk disk);
int geometry(native_disk disk, disk_geometry* geometry);
int partition_count(native_disk disk);

// What read and write check before they touch the device.
enum class transfer_check {
    refused,  // an invalid handle, the wrong access mode, or too many sectors
    outside,  // not wholly inside the disk
    whole,    // the transfer may go ahead
};
// The check for `count` sectors from the handle's position; `first_sector`
// receives that position (in sectors) whenever the handle is valid.
transfer_check check_transfer(native_disk disk, std::uint32_t count, bool write,
                              std::uint64_t* first_sector);

// Whether the handle was opened for writing; false for an invalid handle.
bool writable(native_disk disk);

// What the device told when it was opened; false for an invalid handle.
bool device_facts(native_disk disk, path_file::facts* facts);
// The geometry those facts give: 1, or 0 when the device gave no sector size.
int geometry_of(const path_file::facts& facts, disk_geometry* geometry);

}  // namespace kiroda::path_disk
