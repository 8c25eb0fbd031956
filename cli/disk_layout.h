// The partition table of a registered disk as krdtool judges it: its own
// checks of a GPT (engine/gpt_layout.h) read through the disk table, the
// verdict in krdtool's words, and the layout a set records of its source.
#pragma once

#include <cstdint>
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

}  // namespace kiroda::cli
