// The arithmetic of device geometry replies, apart from the device calls so
// that it can be tested on every build.
#pragma once

#include <cstdint>
#include <functional>

#include "disk/physical_disk.h"

namespace kiroda {

// Reply sizes of the two geometry queries: DISK_GEOMETRY is 24 bytes;
// DISK_GEOMETRY_EX adds the 64-bit DiskSize at byte 24 (40 bytes with padding).
constexpr std::uint32_t kGeometryReplyBytes = 24;
constexpr std::uint32_t kGeometryExDiskSizeOffset = 24;
constexpr std::uint32_t kGeometryExReplyBytes = 40;

// Past this sector size the probe is not tried (its scratch buffer is 8 KiB).
constexpr std::uint32_t kProbeMaxSectorBytes = 8192;

// Reads a DISK_GEOMETRY reply (24 little-endian bytes).
disk_geometry parse_disk_geometry(const unsigned char* reply);

// Cylinders x TracksPerCylinder x SectorsPerTrack x BytesPerSector, left to
// right in 64 bits. False (and `bytes` untouched) when the cylinder count is
// negative or the product does not fit a signed 64-bit size.
bool geometry_product_bytes(const disk_geometry& geometry, std::int64_t* bytes);

// One cylinder's sectors: the most the probe reads past the last whole
// cylinder. A device that answers every read would otherwise keep the survey
// reading for ever.
std::uint64_t probe_limit_sectors(const disk_geometry& geometry);

// The device calls the probe needs.
struct size_probe {
    // Positions the device at byte `offset`; false when it cannot.
    std::function<bool(std::uint64_t offset)> seek;
    // Reads one sector of `bytes` bytes; false at the end of the device.
    std::function<bool(std::uint32_t bytes)> read_sector;
};

// Size of a device that answers only the basic geometry query: the cylinder
// product plus one sector for every sector that can still be read past it, at
// most probe_limit_sectors. No probe when the sector size is 0 or above
// kProbeMaxSectorBytes, or when the seek fails. kDiskSizeQueryFailed when the
// product is not a size.
std::int64_t probed_disk_size(const disk_geometry& geometry, const size_probe& probe);

}  // namespace kiroda
