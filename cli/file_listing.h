// How krdtool ls shows partitions and files: as lines of text or as JSON.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cli/file_system_view.h"
#include "cli/json_writer.h"

namespace kiroda::cli {

// "5  0x83  ext4  79,872  20 MB  LABEL" (the type in hex, the size in MB).
std::string partition_line(const fs_partition& p);
void write_partition_json(json_writer& w, const fs_partition& p);

// The characters of `folder` and its slash that begin every path under it.
std::size_t path_prefix_length(const std::string& folder);

// "2026-12-10 02:41:51" in local time.
std::string time_text(std::int64_t seconds);

// One row a file: its path under the folder listed, and the entry.
using file_row = std::pair<std::string, fs_entry>;
void print_file_rows(const std::vector<file_row>& rows, bool long_form, bool json, int partition,
                     std::FILE* out);

}  // namespace kiroda::cli
