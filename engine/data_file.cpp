#include "engine/data_file.h"

#include <cstdio>

#include "format/set_files.h"
#include "util/number_format.h"
#include "util/path.h"
#include "util/path_query.h"

namespace kiroda {

bool data_file_path(const char* folder, int number, char* path, std::size_t capacity) {
    char name[32];
    std::snprintf(name, sizeof name, kDataFileNameFormat, number);
    return join_path(folder, name, path, capacity);
}

bool find_set_file(const char* folder, char* found, std::size_t capacity) {
    char mask[kPathCapacity + 16];
    if (join_path(folder, kDataFileNameMask, mask, sizeof mask) &&
        probe_path(mask, found, capacity) != probe_result::nothing) {
        // A match too long for `found` still counts; the mask names it then.
        if (found[0] == '\0') std::snprintf(found, capacity, "%s", mask);
        return true;
    }
    for (const set_file& side : kSetFiles) {
        if (side.kind != set_file_kind::side_file) continue;
        for (const char* name : {side.name, side.temp_name}) {
            if (join_path(folder, name, found, capacity) && path_exists(found)) return true;
        }
    }
    if (capacity > 0) found[0] = '\0';
    return false;
}

bool set_marked_unfinished(const char* folder) {
    char path[kPathCapacity + 16];
    return join_path(folder, kUnfinishedMarkName, path, sizeof path) && path_exists(path) &&
           join_path(folder, kDigestFileName, path, sizeof path) && !path_exists(path);
}

std::uint64_t data_file_bytes_needed(std::uint64_t sectors_left) {
    const std::uint64_t per_file = static_cast<std::uint64_t>(kBlocksPerDataFile) * kChunkSectors;
    if (sectors_left >= per_file) return kDataFileMaxBytes;
    // Stored blocks are the largest a chunk can become.
    const std::uint64_t blocks = (sectors_left + kChunkSectors - 1) / kChunkSectors;
    return sectors_left * 512 + blocks * kBlockHeaderSize;
}

void format_bytes_left(char* text, std::size_t capacity, std::uint64_t bytes_left) {
    char grouped[kGroupedTextSize];
    format_int64_grouped(grouped, static_cast<std::int64_t>(bytes_left / 1000000));
    std::snprintf(text, capacity, "残り %s(MB)", grouped);
}

}  // namespace kiroda
