// The reply of the volume extents query (VOLUME_DISK_EXTENTS): which physical
// disks a volume lies on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kiroda {

// Reply layout: NumberOfDiskExtents (32 bits), 4 bytes of padding, then one
// 24-byte DISK_EXTENT per extent whose first 32 bits are the DiskNumber.
constexpr std::size_t kExtentsHeaderBytes = 8;
constexpr std::size_t kExtentBytes = 24;
// The reply buffer drive_letter_to_disk_number asks with.
constexpr std::size_t kExtentsBufferBytes = 2048;

// Disk numbers of every extent in a reply of `reply_bytes` bytes, in reply
// order. Empty when the reply names no extent or names more extents than it
// holds: a list that may miss a disk must never pass for the whole list.
std::vector<int> parse_volume_extents(const unsigned char* reply, std::size_t reply_bytes);

}  // namespace kiroda
