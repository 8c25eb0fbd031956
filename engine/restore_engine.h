// The restore engine: a backup set back onto an empty disk. Sector 0 (the
// partition table) is held back and written last, after the rest is on the
// disk, so a restore that stops or fails leaves the target's sector 0 as it
// was and the disk never looks partitioned with half its data.
#pragma once

#include <cstdint>

#include "engine/progress.h"

namespace kiroda {

// Writes `backup_bytes` bytes of the set in `folder` onto disk `target_disk`.
// kEngineDone after sector 0 was written; kEngineStopped on a stop;
// kEngineFailed after a message.
int restore_disk(progress& p, int target_disk, const char* folder, std::uint64_t backup_bytes);

}  // namespace kiroda
