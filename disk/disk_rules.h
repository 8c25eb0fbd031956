// Whether a surveyed disk may be backed up (source rules) or written over by
// a restore (target rules), and the texts the disk dialogs show for it.
#pragma once

#include "disk/disk_survey.h"
#include "util/number_format.h"

namespace kiroda {

constexpr int kVerdictUnusable = 0;
constexpr int kVerdictWithReservation = 1;  // source rules only
constexpr int kVerdictUsable = 2;

// What the partition size fields show for a GPT disk instead of sizes.
constexpr const char* kHiddenPartitionSize = "xxx,xxx,xxx";

struct disk_verdict {
    int verdict = kVerdictUnusable;
    const char* mark = nullptr;     // "○", "△" or "×"
    const char* message = nullptr;  // lines broken by "\n"
    bool hide_partition_sizes = false;
};

disk_verdict source_disk_verdict(const disk_record& record);
disk_verdict target_disk_verdict(const disk_record& record);

// The display fields of a disk, as texts in the program's encoding.
struct disk_field_texts {
    char size_mb[kGroupedTextSize];          // disk size in decimal MB
    char partition_mb[4][kGroupedTextSize];  // each MBR entry in decimal MB
    char bytes_per_sector[kGroupedTextSize];
    const char* media_name = nullptr;
};

// Sizes are decimal megabytes (10^6 bytes), truncated, grouped by thousands.
// With a verdict that hides the partition sizes, those fields read
// kHiddenPartitionSize.
disk_field_texts format_disk_fields(const disk_record& record, const disk_verdict& verdict);

}  // namespace kiroda
