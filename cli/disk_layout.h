// The partition table of a registered disk as krdtool judges it: its own
// checks of a GPT (engine/gpt_layout.h) read through the disk table, the
// verdict in krdtool's words, and the layout a set records of its source.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/gpt_layout.h"
#include "format/source_disk.h"

namespace kiroda::cli {

// The GPT of disk `number` (its size and logical sector size asked of the
// disk); state none when it has none or does not open.
gpt_layout read_disk_gpt(int number);

// What a GPT's state means for a backup, in krdtool's words (one sentence).
const char* gpt_state_sentence(gpt_state state);

// The name of a GPT entry's type: the partitioning library's, or its GUID.
std::string gpt_type_text(const gpt_entry& entry);

// Adds the layout of disk `number` to a set's record of its source: the
// logical sector size, the table and its partitions (GPT entries, or the
// MBR's as the wizard's reader finds them).
void record_layout(int number, source_disk* disk);

// The logical sector size of the disk the set in `folder` was made from (its
// KRDDISK.TXT; 512 for a set without one, as the wizard makes).
std::uint32_t set_sector_bytes(const std::string& folder);

// A set goes only onto a disk of its own logical sector size: false after a
// message naming both sizes and why, when `disk_sector_bytes` (of the disk
// at `path`) differs from `set_bytes`.
[[nodiscard]] bool sector_sizes_match(std::uint32_t set_bytes, int disk_sector_bytes,
                                      const std::string& path, std::FILE* err);

}  // namespace kiroda::cli
