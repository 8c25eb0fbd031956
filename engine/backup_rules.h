// What a backup needs of its source disk and of the folder its set goes to,
// decided once for both front ends. Each check returns a named outcome with
// the values its message shows; the wizard renders an outcome with its
// stored text, krdtool with its catalogue line. Nothing here speaks.
//
// The front ends ask the checks in their own order (krdtool makes the folder,
// locks it and may clear an unfinished set between two of them), so each
// rule is a function of its own rather than one fixed sequence.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/data_file.h"
#include "util/path.h"

namespace kiroda {

// The longest backup folder (bytes, without the NUL): a separator, every
// 12-byte name of the set and the NUL must still fit the program's 2,048-byte
// paths. Longer, the lookup of a set's files can no longer see them.
constexpr std::size_t kLongestBackupFolder = kPathCapacity - 1 - kDataFileNameLength - 1;
static_assert(kLongestBackupFolder == 2034);

// What part of the source a backup covers.
enum class backup_extent {
    whole_disk,        // every sector the size query gives
    valid_partitions,  // sector 0 to the end of the MBR partition that ends last
};

enum class source_outcome {
    ok,
    cannot_open,      // `error`: errno after the failed open (krdtool names it)
    bad_sector_size,  // `sector_size`: not 512
    bad_media,        // `media`: neither fixed nor removable
    size_unknown,     // whole disk: the size query failed or gave less than a sector
    cannot_seek,      // valid partitions: sector 0 cannot be reached,
    cannot_read,      //   read,
    no_signature,     //   holds no AA55,
    no_partition,     //   or defines no partition
};

struct source_check {
    source_outcome outcome = source_outcome::ok;
    int error = 0;
    int sector_size = 0;
    std::uint8_t media = 0;
    // With ok: the bytes to back up. A whole disk gives its size as queried,
    // which may end in part of a sector; partitions give whole sectors.
    std::uint64_t backup_bytes = 0;
};

// Which logical sector sizes a source may have: the wizard's 512 only, or
// krdtool's 512 and 4,096 (the set holds the bytes either way; its format
// counts 512-byte units).
enum class logical_sectors { only_512, also_4096 };

// Opens disk `disk_number` for reading and checks it in this order: it
// opens, has 512-byte sectors (or 4,096 with also_4096), is fixed or removable, and has a size (whole
// disk) or a partition table with a partition (valid partitions). The disk
// is closed again before the result is returned.
source_check check_source(int disk_number, backup_extent extent,
                          logical_sectors sizes = logical_sectors::only_512);

enum class folder_outcome {
    ok,
    on_source,           // the folder rests on the disk being backed up
    too_long,            // longer than kLongestBackupFolder
    not_a_folder,        // missing, or a file
    program_copy_there,  // `path`: the program copy found
    set_there,           // `path`: the first file of a set found
};

struct folder_check {
    folder_outcome outcome = folder_outcome::ok;
    char path[kPathCapacity + 16] = "";
};

// A set is never written onto the disk it is read from. Whether a folder
// rests on a disk is a question only the front end can ask: the wizard names
// volumes by drive letter (its native tests too, through registered drive
// extents) and asks which disks carry a letter's extents; krdtool names the
// source by its device or image path and walks the folder's device stack in
// sysfs. The two answer for different names on the same platform, so no
// seam chosen by platform could stand for both: the caller passes its
// answer, and the rule and its outcome live here.
folder_outcome check_folder_off_source(bool folder_rests_on_source);

// Every name of a set must fit behind the folder.
folder_outcome check_folder_length(const char* folder);

// The folder must exist as a folder.
folder_outcome check_folder_is_folder(const char* folder);

// The folder holds neither a program copy nor any file or folder named like
// part of a set (see find_set_file): a set is never begun over another.
// too_long when the program copy's path cannot be formed.
folder_check check_folder_holds_no_set(const char* folder);

// Room for the set on the folder's volume, from the free-space query's
// answer in bytes (negative when it failed).
enum class space_outcome {
    none,          // the query failed or less than a byte is free
    may_be_short,  // less than the backup plus one data file's room
    enough,
};
space_outcome check_folder_space(std::uint64_t backup_size, double free_bytes);

// True when `free_bytes` is less than `backup_size` plus kDataFileRoom, the
// case in which the flows warn instead of confirming. Never wraps; a failed
// query (negative) is short of everything.
bool free_space_short(std::uint64_t backup_size, double free_bytes);

// The free-space answer as whole bytes for a message: 0 for a failed query,
// the largest value for one past it.
std::uint64_t whole_free_bytes(double free_bytes);

}  // namespace kiroda
