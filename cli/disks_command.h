// krdtool disks [PATH...]: the disks of this machine, or the devices and
// image files named, with their size, sector size, partitions, media type and
// their verdicts as source and as target.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "disk/disk_survey.h"

namespace kiroda::cli {

int run_disks_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// Prints one surveyed disk found at `path`.
// `signature`: a file system found at the start of the disk (nullptr: none).
void print_disk_report(const disk_record& record, const std::string& path, std::FILE* out,
                       const char* signature = nullptr);

}  // namespace kiroda::cli
