#include "engine/backup_rules.h"

#include <cerrno>
#include <cstring>

#include "disk/mbr.h"
#include "disk/physical_disk.h"
#include "util/path_query.h"

namespace kiroda {

source_check check_source(int disk_number, backup_extent extent, logical_sectors sizes) {
    source_check c;
    const disk_handle disk = open_physical_disk(disk_number, disk_mode::read);
    if (!disk.valid()) {
        c.error = errno;
        c.outcome = source_outcome::cannot_open;
        return c;
    }
    c.sector_size = get_bytes_per_sector(disk);
    const bool also_4096 = sizes == logical_sectors::also_4096 && c.sector_size == 4096;
    if (c.sector_size != static_cast<int>(kSectorBytes) && !also_4096) {
        c.outcome = source_outcome::bad_sector_size;
        return c;
    }
    c.media = get_media_type(disk);
    if (c.media != kMediaFixed && c.media != kMediaRemovable) {
        c.outcome = source_outcome::bad_media;
        return c;
    }
    if (extent == backup_extent::whole_disk) {
        // A failed size query gives -1 or -2: taken as unsigned it would
        // claim 16 EiB, so anything below one sector is refused here.
        const std::int64_t size = get_disk_size_bytes(disk);
        if (size < static_cast<std::int64_t>(kSectorBytes)) {
            c.outcome = source_outcome::size_unknown;
            return c;
        }
        c.backup_bytes = static_cast<std::uint64_t>(size);
        return c;
    }
    if (!seek_sector(disk, 0)) {
        c.outcome = source_outcome::cannot_seek;
        return c;
    }
    unsigned char sector[kSectorBytes];
    if (!read_sectors(disk, 1, sector)) {
        c.outcome = source_outcome::cannot_read;
        return c;
    }
    if (!has_boot_signature(sector)) {
        c.outcome = source_outcome::no_signature;
        return c;
    }
    // In 64 bits: a partition that ends at the 2 TiB mark ends at sector 2^32.
    const std::uint64_t end = mbr_partitions_end(sector);
    if (end == 0) {
        c.outcome = source_outcome::no_partition;
        return c;
    }
    c.backup_bytes = end * kSectorBytes;
    return c;
}

folder_outcome check_folder_off_source(bool folder_rests_on_source) {
    return folder_rests_on_source ? folder_outcome::on_source : folder_outcome::ok;
}

folder_outcome check_folder_length(const char* folder) {
    return std::strlen(folder) > kLongestBackupFolder ? folder_outcome::too_long
                                                      : folder_outcome::ok;
}

folder_outcome check_folder_is_folder(const char* folder) {
    return is_directory(folder) ? folder_outcome::ok : folder_outcome::not_a_folder;
}

folder_check check_folder_holds_no_set(const char* folder) {
    folder_check c;
    if (!join_path(folder, kProgramCopyName, c.path, sizeof c.path)) {
        c.outcome = folder_outcome::too_long;
        return c;
    }
    if (path_exists(c.path)) {
        c.outcome = folder_outcome::program_copy_there;
        return c;
    }
    if (find_set_file(folder, c.path, sizeof c.path)) {
        c.outcome = folder_outcome::set_there;
        return c;
    }
    c.path[0] = '\0';
    return c;
}

std::uint64_t whole_free_bytes(double free_bytes) {
    if (!(free_bytes >= 0)) return 0;
    if (free_bytes >= 18446744073709551615.0) return UINT64_MAX;
    return static_cast<std::uint64_t>(free_bytes);
}

bool free_space_short(std::uint64_t backup_size, double free_bytes) {
    if (!(free_bytes >= 1.0)) return true;
    const std::uint64_t free_whole = whole_free_bytes(free_bytes);
    return free_whole < backup_size || free_whole - backup_size < kDataFileRoom;
}

space_outcome check_folder_space(std::uint64_t backup_size, double free_bytes) {
    if (!(free_bytes >= 1.0)) return space_outcome::none;
    return free_space_short(backup_size, free_bytes) ? space_outcome::may_be_short
                                                     : space_outcome::enough;
}

}  // namespace kiroda
