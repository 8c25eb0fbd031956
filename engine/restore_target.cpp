#include "engine/restore_target.h"

#include <vector>

#include "disk/fs_signature.h"
#include "disk/mbr.h"
#include "disk/physical_disk.h"

namespace kiroda {

namespace {

// The file system or container written straight onto the disk (no
// partition table), or nullptr when none is found or it cannot be read.
const char* find_target_signature(const disk_handle& disk, std::int64_t size) {
    if (size < static_cast<std::int64_t>(kSectorBytes)) return nullptr;
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

}  // namespace

target_check check_restore_target(int disk_number, std::uint64_t backup_bytes,
                                  file_system_probe probe, int sector_bytes) {
    const disk_handle disk = open_physical_disk(disk_number, disk_mode::read);
    if (!disk.valid()) return {};
    target_check check;
    // Looked for whatever the verdict, so a refused disk can still be
    // described by what it holds.
    if (probe == file_system_probe::look)
        check.file_system = find_target_signature(disk, get_disk_size_bytes(disk));
    const int sector_size = get_bytes_per_sector(disk);
    const std::uint8_t media = get_media_type(disk);
    if (sector_size != sector_bytes) {
        check.verdict = target_verdict::bad_sector_size;
        check.value = sector_size;
        return check;
    }
    if (media != kMediaFixed && media != kMediaRemovable) {
        check.verdict = target_verdict::bad_media;
        check.value = media;
        return check;
    }
    // Signed comparison: a failed size query (-1, -2) is too small for any set.
    const std::int64_t size = get_disk_size_bytes(disk);
    check.disk_bytes = size;
    if (backup_bytes > static_cast<std::uint64_t>(INT64_MAX) ||
        size < static_cast<std::int64_t>(backup_bytes)) {
        check.verdict = target_verdict::too_small;
        check.value = size;
        return check;
    }
    check.verdict = target_verdict::ok;
    unsigned char sector[512];
    if (!seek_sector(disk, 0)) {
        check.verdict = target_verdict::cannot_seek;
    } else if (!read_sectors(disk, 1, sector)) {
        check.verdict = target_verdict::cannot_read;
    } else if (has_boot_signature(sector)) {
        for (int i = 0; i < kMbrEntryCount; ++i) {
            check.partition_bytes[i] = std::uint64_t{read_mbr_entry(sector, i).sector_count} *
                                       static_cast<std::uint64_t>(sector_size);
            if (check.partition_bytes[i] != 0) check.verdict = target_verdict::has_partitions;
        }
    }
    if (check.verdict == target_verdict::has_partitions) {
        check.holds = target_holds::partitions;
    } else if (check.verdict == target_verdict::ok) {
        check.holds =
            check.file_system != nullptr ? target_holds::file_system : target_holds::nothing;
    }
    return check;
}

}  // namespace kiroda
