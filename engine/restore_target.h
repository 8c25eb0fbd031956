// The one verdict on a restore target, which the wizard, krdtool's restore
// and krdtool's disks all word: what the disk holds, whether a set may be
// written onto it, and why not. A target must be the kind of disk a set fits
// (512-byte sectors, fixed or removable), large enough, and empty (no
// partition in its sector 0); a file system written straight onto it (no
// partition table) is written over only once the user says so. The checks
// run before the user confirms, and again just before the disk is opened for
// writing, since a disk plugged in meanwhile could have taken the number.
#pragma once

#include <cstdint>

namespace kiroda {

enum class target_verdict {
    ok,
    cannot_open,      // the disk cannot be opened for reading
    bad_sector_size,  // value: bytes per sector (not the set's)
    bad_media,        // value: media type code
    too_small,        // value: the disk's size in bytes (negative when the query failed)
    cannot_seek,
    cannot_read,
    has_partitions,
};

// What the target holds at its start, as far as the checks read it.
enum class target_holds {
    unknown,      // refused before its first sectors were read
    nothing,      // no partition in use and no file system at its start
    partitions,   // an MBR entry with sectors (a GPT's protective one too)
    file_system,  // a file system or container with no partition table
};

struct target_check {
    target_verdict verdict = target_verdict::cannot_open;
    std::int64_t value = 0;
    // What the checks learnt on the way, for the messages that show it: the
    // disk's size once it was asked (negative when the query failed), and
    // with has_partitions the size of each MBR entry in bytes.
    std::int64_t disk_bytes = 0;
    std::uint64_t partition_bytes[4] = {};
    target_holds holds = target_holds::unknown;
    // The file system or container found at its start (disk/fs_signature.h;
    // nullptr: none, or it could not be read), looked for on every disk
    // that opens; it decides `holds` only on a disk that passed the checks.
    const char* file_system = nullptr;

    // The checks passed: the set may be written, after consent where needed.
    bool may_write() const { return verdict == target_verdict::ok; }
    // Written over only when the user says so: the wizard asks its own
    // question, krdtool wants --force.
    bool needs_consent() const { return holds == target_holds::file_system; }
};

// Whether the checks read the disk's first sectors for a file system: the
// front ends do; the engine's repeat before writing does not (the user has
// agreed to what the disk holds, and a read that fails there says nothing).
enum class file_system_probe { look, skip };

// Checks disk `disk_number` for a set of `backup_bytes` (one sector, 512, for
// a disk judged without a set) made from a disk of `sector_bytes`-byte
// logical sectors: the target must have the same (partition tables and file
// systems count in them).
target_check check_restore_target(int disk_number, std::uint64_t backup_bytes,
                                  file_system_probe probe = file_system_probe::look,
                                  int sector_bytes = 512);

}  // namespace kiroda
