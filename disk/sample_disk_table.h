// For tests of the disk dialogs: disk records and a small machine's disk
// table, built without any device.
#pragma once

#include <cstdint>

#include "disk/disk_survey.h"
#include "disk/physical_disk.h"

namespace kiroda::test_support {

// A fixed 500,107 MB disk with an MBR; one partition of `partition_sectors`
// (none when 0), or a GPT protective entry.
inline disk_record disk(int number, std::uint64_t partition_sectors, int gpt = 0) {
    disk_record r;
    r.number = number;
    r.partition_sectors[0] = partition_sectors;
    r.total_sectors = 976773168;  // 500,107 MB
    r.bytes_per_sector = 512;
    r.media_type = kMediaFixed;
    r.partition_count = 4;
    r.boot_signature_valid = 1;
    r.gpt = gpt;
    return r;
}

// Disks 0 (a partition of 1,048 MB), 1 (empty table) and 3 (GPT); 2 did not open.
inline disk_table machine() {
    disk_table t;
    t[0] = disk(0, 2048000);
    t[1] = disk(1, 0);
    t[2] = disk(3, 0, 1);
    return t;
}

}  // namespace kiroda::test_support
