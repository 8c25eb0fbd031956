// Chunk buffers: big buffers (util/big_buffer.h), aligned for direct device
// I/O, the restore's read-back among it.
#pragma once

#include "util/big_buffer.h"

namespace kiroda {

using chunk_buffer = big_buffer;

}  // namespace kiroda
