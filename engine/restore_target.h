// The checks a disk must pass before a set is written onto it: it must be
// the kind of disk a set fits (512-byte sectors, fixed or removable), large
// enough, and empty (no partition in its sector 0). They run before the user
// confirms, and again just before the disk is opened for writing, since a
// disk plugged in meanwhile could have taken the number.
#pragma once

#include <cstdint>

namespace kiroda {

enum class target_verdict {
    ok,
    cannot_open,      // the disk cannot be opened for reading
    bad_sector_size,  // value: bytes per sector
    bad_media,        // value: media type code
    too_small,        // value: the disk's size in bytes (negative when the query failed)
    cannot_seek,
    cannot_read,
    has_partitions,
};

struct target_check {
    target_verdict verdict = target_verdict::cannot_open;
    std::int64_t value = 0;
    // What the checks learnt on the way, for the messages that show it: the
    // disk's size once it was asked (negative when the query failed), and
    // with has_partitions the size of each MBR entry in bytes.
    std::int64_t disk_bytes = 0;
    std::uint64_t partition_bytes[4] = {};
};

target_check check_restore_target(int disk_number, std::uint64_t backup_bytes);

// The file system or container written straight onto disk `disk_number`
// (no partition table; see disk/fs_signature.h), or nullptr when none is
// found or the disk cannot be read.
const char* find_target_signature(int disk_number);

}  // namespace kiroda
