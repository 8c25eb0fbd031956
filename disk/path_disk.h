// The disks that stand for a path (Linux block devices and image files,
// Windows test images): path_disk.cpp implements the table of disk
// operations (physical_disk.h) once, over the few file calls each platform
// provides here. On Linux it is the platform's own table; on Windows the
// test programs, the picture tool and the image benchmark install it.
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
[[nodiscard]] handle open(const std::string& path, bool writable, facts* facts,
                          bool uncached = false);
void close(handle file);

// Exactly `bytes` bytes at byte `offset`, or false.
[[nodiscard]] bool read_at(handle file, std::uint64_t offset, void* buffer, std::size_t bytes);
[[nodiscard]] bool write_at(handle file, std::uint64_t offset, const void* buffer,
                            std::size_t bytes);
[[nodiscard]] bool flush(handle file);

}  // namespace kiroda::path_file

namespace kiroda::path_disk {

// The table of the registered paths. Its open sets errno to ENODEV for a
// number without a path.
const disk_ops& ops();

}  // namespace kiroda::path_disk
