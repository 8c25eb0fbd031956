#include "engine/restore_target.h"

#include <vector>

#include "disk/fs_signature.h"
#include "disk/mbr.h"
#include "disk/physical_disk.h"

namespace kiroda {

target_check check_restore_target(int disk_number, std::uint64_t backup_bytes) {
    const disk_handle disk = open_physical_disk(disk_number, disk_mode::read);
    if (!disk.valid()) return {target_verdict::cannot_open, 0};
    const int sector_size = get_bytes_per_sector(disk);
    if (sector_size != 512) return {target_verdict::bad_sector_size, sector_size};
    const std::uint8_t media = get_media_type(disk);
    if (media != kMediaFixed && media != kMediaRemovable) return {target_verdict::bad_media, media};
    // Signed comparison: a failed size query (-1, -2) is too small for any set.
    const std::int64_t size = get_disk_size_bytes(disk);
    target_check check{target_verdict::ok, 0, size, {}};
    if (backup_bytes > static_cast<std::uint64_t>(INT64_MAX) ||
        size < static_cast<std::int64_t>(backup_bytes)) {
        check.verdict = target_verdict::too_small;
        check.value = size;
        return check;
    }
    unsigned char sector[512];
    if (!seek_sector(disk, 0)) {
        check.verdict = target_verdict::cannot_seek;
    } else if (!read_sectors(disk, 1, sector)) {
        check.verdict = target_verdict::cannot_read;
    } else if (has_boot_signature(sector)) {
        for (int i = 0; i < kMbrEntryCount; ++i) {
            check.partition_bytes[i] = std::uint64_t{read_mbr_entry(sector, i).sector_count} * 512;
            if (check.partition_bytes[i] != 0) check.verdict = target_verdict::has_partitions;
        }
    }
    return check;
}

const char* find_target_signature(int disk_number) {
    const disk_handle disk = open_physical_disk(disk_number, disk_mode::read);
    const std::int64_t size = get_disk_size_bytes(disk);
    if (!disk.valid() || size < static_cast<std::int64_t>(kSectorBytes)) return nullptr;
    const std::uint64_t probe = static_cast<std::uint64_t>(size) < kSignatureProbeBytes
                                    ? static_cast<std::uint64_t>(size) / kSectorBytes * kSectorBytes
                                    : kSignatureProbeBytes;
    std::vector<unsigned char> data(probe);
    if (!seek_sector(disk, 0) ||
        !read_sectors(disk, static_cast<std::uint32_t>(probe / kSectorBytes), data.data())) {
        return nullptr;
    }
    return find_disk_signature(data.data(), data.size());
}

}  // namespace kiroda
