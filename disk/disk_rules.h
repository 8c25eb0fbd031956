// Whether a surveyed disk may be backed up (source rules) or written over by
// a restore (target rules), and the texts the disk dialogs show for it.
#pragma once

#include "disk/disk_survey.h"
#include "util/number_format.h"

namespace kiroda {

// What a rule says of a disk: the dialog's "×", "△" and "○".
enum class disk_usability {
    unusable,
    with_reservation,  // source rules only
    usable,
};

// The older names of the three, still used by the survey's tests.
constexpr disk_usability kVerdictUnusable = disk_usability::unusable;
constexpr disk_usability kVerdictWithReservation = disk_usability::with_reservation;
constexpr disk_usability kVerdictUsable = disk_usability::usable;

// What the partition size fields show for a GPT disk instead of sizes.
constexpr const char* kHiddenPartitionSize = "xxx,xxx,xxx";

struct disk_verdict {
    disk_usability verdict = disk_usability::unusable;
    const char* mark = nullptr;     // "○", "△" or "×"
    const char* message = nullptr;  // lines broken by "\n"
    bool hide_partition_sizes = false;

    bool usable() const { return verdict != disk_usability::unusable; }
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
