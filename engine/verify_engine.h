// The data test: every block a set needs is read, unpacked and checked,
// without touching any disk.
#pragma once

#include <cstdint>

#include "engine/progress.h"

namespace kiroda {

// kEngineDone when blocks holding at least `backup_bytes` bytes were read
// and passed every check; kEngineStopped on a stop; kEngineFailed after a
// message.
int verify_backup_set(progress& p, const char* folder, std::uint64_t backup_bytes);

}  // namespace kiroda
