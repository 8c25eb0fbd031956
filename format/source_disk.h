// The disk a set was made from, KRDDISK.TXT: a side file that names the
// source by what its maker and its bus say of it (model, serial number,
// transport), so that a restore can say which disk the set is of, where two
// look alike. Readers of the set format ignore it; a set without one (the
// wizard's, an older program's) simply does not say.
//
// Plain UTF-8 text, one field a line, its name, one space and its value:
//   KIRODA source 1
//   path /dev/sdb
//   bytes 32017047552
//   vendor SanDisk            each of these only when the system told it
//   model Ultra
//   serial 4C530001
//   transport usb
//   removable yes|no
//   rotational yes|no
//   sector_size 4096          the logical sector size (krdtool 1.15 on;
//                             without it the set is of 512-byte sectors)
//   table gpt valid           gpt STATE, mbr or none: the partition table
//   disk_guid 2B1E...         a GPT's disk GUID
//   partition 1 2048 206847 C12A7328-F81F-11D2-BA4B-00A0C93EC93B EFI
//                             number, first and last LBA (the source's own
//                             sectors), type (a GUID, or 0xNN for MBR), name
//   used-only 123456          made with --used-only: this many sectors, in
//                             blocks no file system used, were stored as
//                             zeros without being read
//   end
// Fields a reader does not know are skipped: later programs may add some.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format/set_files.h"
#include "util/side_file.h"

namespace kiroda {

// A partition as the backup found it.
struct source_partition {
    int number = 0;
    std::uint64_t first_lba = 0;
    std::uint64_t last_lba = 0;  // inclusive
    std::string type;            // GUID text, or "0x07"
    std::string name;            // a GPT entry's name; "" for MBR
};

struct source_disk {
    std::string path;
    std::uint64_t bytes = 0;
    std::string vendor, model, serial, transport;
    int removable = -1;  // 1, 0, or -1 unknown
    int rotational = -1;
    std::uint32_t sector_size = 0;  // 0: not recorded (a 512-byte disk)
    std::string table;              // "gpt valid", "mbr", "none"; "" not recorded
    std::string disk_guid;
    std::vector<source_partition> partitions;

    // The logical sector size the set's disk had.
    std::uint32_t logical_sector_bytes() const { return sector_size != 0 ? sector_size : 512; }
    bool used_only = false;
    std::uint64_t unused_sectors = 0;  // with used_only: the sectors stored as zeros
};

// A value never holds a line break or another control character: each
// becomes a blank.
std::string encode_source_disk(const source_disk& disk);

// False when `text` is no record of a source (its first line, the end line
// or a number wrong).
[[nodiscard]] bool parse_source_disk(const std::string& text, source_disk* disk);

enum class source_disk_read { absent, read, unreadable };

[[nodiscard]] source_disk_read read_source_disk(const char* folder, source_disk* disk);

}  // namespace kiroda
