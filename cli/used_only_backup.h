// backup --used-only: the source's unused blocks (cli/unused_blocks.h) handed
// to the engine as sectors to store as zeros, and recorded in KRDDISK.TXT.
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/backup_engine.h"
#include "format/source_disk.h"

namespace kiroda::cli {

// Reads the file systems of disk `number` and fills `backup->zero_runs`
// and `record`; says which partitions are stored used-only and which whole.
// False after a message when the disk cannot be read for it.
bool plan_used_only(int number, std::uint64_t disk_bytes, std::uint64_t backup_sectors,
                    backup_options* backup, source_disk* record, std::FILE* out, std::FILE* err);

}  // namespace kiroda::cli
