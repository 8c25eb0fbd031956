// Data files of a backup set: KRD00001.BIN, KRD00002.BIN, ... beside the
// header file, each a run of at most 60 packed blocks, each block one chunk
// of up to 32,768 sectors.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/packed_block.h"
#include "format/set_files.h"

namespace kiroda {

// The most one data file can take: 60 blocks of header and a chunk each.
constexpr std::uint64_t kDataFileMaxBytes =
    static_cast<std::uint64_t>(kBlocksPerDataFile) * (kBlockHeaderSize + kChunkBytes);

// Room one data file's blocks may take before packing: 60 chunks of 16 MiB.
// The backup flows want this much free space on top of the disk's size
// before they start without a warning.
constexpr std::uint64_t kDataFileRoom =
    static_cast<std::uint64_t>(kBlocksPerDataFile) * static_cast<std::uint64_t>(kChunkBytes);
static_assert(kDataFileRoom == 1006632960);

// Path of data file `number` (1, 2, ...) of the set in `folder`. False when
// it does not fit `capacity`.
bool data_file_path(const char* folder, int number, char* path, std::size_t capacity);

// The first file of a set found in `folder`: a header or data file
// (KRD?????.BIN, a folder of such a name too) or a side file under its own
// or its temporary name (format/set_files.h lists them); the program copy
// is not part of a set and is asked about on its own. Its path goes to `found`
// (capacity `capacity`). A new set is never begun beside one: an old map
// or digest file would be taken for the new set's.
bool find_set_file(const char* folder, char* found, std::size_t capacity);

// True when `folder` holds the mark of a set a backup began and did not
// finish (format/set_files.h), and no digest file says it did.
bool set_marked_unfinished(const char* folder);

// Bytes a new data file may need when `sectors_left` sectors are still to be
// backed up: a full file, or what the last blocks need when fewer remain.
std::uint64_t data_file_bytes_needed(std::uint64_t sectors_left);

// "残り 1,500(MB)": the detail line of every engine for `bytes_left`.
void format_bytes_left(char* text, std::size_t capacity, std::uint64_t bytes_left);

}  // namespace kiroda
