// backup --used-only: the source's unused blocks (cli/unused_blocks.h) handed
// to the engine as sectors to store as zeros, and recorded in KRDDISK.TXT.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/backup_engine.h"
#include "format/source_disk.h"

namespace kiroda::cli {

// Reads the file systems of disk `number` and fills `backup->zero_runs`
// and `record`; says which partitions are stored used-only and which whole.
// False after a message when the disk cannot be read for it.
bool plan_used_only(int number, std::uint64_t disk_bytes, std::uint64_t backup_sectors,
                    backup_options* backup, source_disk* record, std::FILE* out, std::FILE* err);

// For verify --against of the set in `folder`: when KRDDISK.TXT says it was
// made with --used-only, the sectors it stored as zeros unread (found again
// in the set's own file systems, whose allocation maps it holds whole), and
// a line that says so. False after a message when they cannot be found
// again as recorded.
bool used_only_not_compared(const std::string& folder, std::uint64_t backup_bytes,
                            std::vector<sector_run>* runs, std::FILE* out, std::FILE* err);

}  // namespace kiroda::cli
