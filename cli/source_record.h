// The source disk's identity kept in a set (KRDDISK.TXT): taken when a
// backup starts, shown by info and before a restore.
#pragma once

#include <cstdint>
#include <string>

#include "format/source_disk.h"

namespace kiroda::cli {

// The record of the source at `path`, `bytes` long: its absolute path and
// what sysfs and udev say of it (nothing more for an image file).
source_disk record_of_source(const std::string& path, std::uint64_t bytes);

// "/dev/sdb - SanDisk Ultra (シリアル番号 4C530001), usb, 32.0 GB": the
// fields the record has.
std::string describe_source(const source_disk& disk);

// What the system says of the block device at `path`, with its size when
// `bytes` is known (not 0): "SanDisk Ultra (シリアル番号 4C530001), usb,
// 32.0 GB"; "" for an image file or a device nothing is known of.
std::string describe_device(const std::string& path, std::uint64_t bytes);

}  // namespace kiroda::cli
