// krdtool disks [PATH...]: the disks of this machine, or the devices and
// image files named, with their size, sector size, partitions, media type and
// their verdicts as source and as target.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "disk/block_devices_posix.h"
#include "disk/disk_survey.h"
#include "engine/restore_target.h"

namespace kiroda::cli {

[[nodiscard]] int run_disks_command(const std::vector<std::string>& args, std::FILE* out,
                                    std::FILE* err);

// Who a block device is (vendor, model, serial, transport) from sysfs and
// udev; nothing for an image file.
disk_identity identity_of(const std::string& path);
// The identity in words, the fields there are: "SanDisk Ultra (シリアル番号
// 4C530001), usb"; "" when there are none.
std::string describe_identity(const disk_identity& identity);

// Prints one surveyed disk found at `path`, with the restore's verdict on it
// as a target (engine/restore_target.h).
void print_disk_report(const disk_record& record, const std::string& path, std::FILE* out,
                       const target_check& as_target);

}  // namespace kiroda::cli
