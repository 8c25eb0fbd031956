// What the first sectors of a disk hold when they hold no partition table:
// a file system or a container written straight onto the whole device (a
// formatted USB stick, an ext4 image, an encrypted volume). Restoring onto
// such a disk destroys what is on it, although it "has no partitions".
#pragma once

#include <cstddef>

namespace kiroda {

// Bytes from the start of a disk the probe looks at (an ISO 9660 volume
// descriptor lies at 32,769).
constexpr std::size_t kSignatureProbeBytes = 36864;

// The name of the file system or container whose signature `data` (the
// first `size` bytes of a disk; fewer than kSignatureProbeBytes are allowed)
// carries, in the program's text encoding, or nullptr when none is found.
const char* find_disk_signature(const unsigned char* data, std::size_t size);

}  // namespace kiroda
