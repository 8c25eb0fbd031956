// Disk operations over registered paths. A native handle points to an
// open_disk; the checks that make a transfer either whole or a failure live
// here, so every platform behaves alike.
#include "disk/path_disk.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "disk/disk_registry.h"
#include "disk/mbr.h"
#include "disk/physical_disk.h"

namespace kiroda::path_disk {

namespace {

// Invented geometry for devices that have none: the customary 255 heads and
// 63 sectors per track.
constexpr std::uint32_t kTracksPerCylinder = 255;
constexpr std::uint32_t kSectorsPerTrack = 63;

struct open_disk {
    int number;
    bool writable;
    path_file::handle file;
    path_file::facts facts;
    std::uint64_t position;  // bytes
};

open_disk* as_disk(native_disk disk) {
    return disk != kInvalidDisk ? reinterpret_cast<open_disk*>(disk) : nullptr;
}

// Whether `bytes` from the current position lie wholly inside the disk.
bool inside(const open_disk& d, std::uint64_t bytes) {
    if (!d.facts.size_known) return true;  // the device itself will refuse
    return d.position <= d.facts.size_bytes && bytes <= d.facts.size_bytes - d.position;
}

}  // namespace

bool known_mode(char mode) {
    return mode == 'r' || mode == 'R' || mode == 'w' || mode == 'W' || mode == 'v' || mode == 's';
}

native_disk open(int number, char mode) {
    if (!known_mode(mode)) return kInvalidDisk;
    const bool writable = mode == 'w' || mode == 'W';
    const bool uncached = mode == 'v' || mode == 's';
    registered_disk reg;
    if (!find_registered_disk(number, &reg)) {
        errno = ENODEV;
        return kInvalidDisk;
    }
    path_file::facts facts;
    const path_file::handle file = path_file::open(reg.path, writable, &facts, uncached);
    if (file == path_file::kNone) return kInvalidDisk;
    return reinterpret_cast<native_disk>(new open_disk{number, writable, file, facts, 0});
}

void close(native_disk disk) {
    if (open_disk* d = as_disk(disk)) {
        path_file::close(d->file);
        delete d;
    }
}

int seek(native_disk disk, std::uint64_t sector) {
    open_disk* d = as_disk(disk);
    if (!d || sector > UINT64_MAX / kSectorBytes) return 0;
    d->position = sector * kSectorBytes;
    return 1;
}

transfer_check check_transfer(native_disk disk, std::uint32_t count, bool write,
                              std::uint64_t* first_sector) {
    const open_disk* d = as_disk(disk);
    if (!d) return transfer_check::refused;
    *first_sector = d->position / kSectorBytes;
    if (d->writable != write || count > kMaxTransferSectors) return transfer_check::refused;
    if (!inside(*d, std::uint64_t{count} * kSectorBytes)) return transfer_check::outside;
    return transfer_check::whole;
}

int read(native_disk disk, std::uint32_t count, void* buffer) {
    std::uint64_t first = 0;
    if (check_transfer(disk, count, false, &first) != transfer_check::whole) return 0;
    if (count == 0) return 1;
    open_disk* d = as_disk(disk);
    const std::uint64_t bytes = std::uint64_t{count} * kSectorBytes;
    if (!path_file::read_at(d->file, d->position, buffer, bytes)) return 0;
    d->position += bytes;
    return 1;
}

int write(native_disk disk, std::uint32_t count, const void* buffer) {
    std::uint64_t first = 0;
    if (check_transfer(disk, count, true, &first) != transfer_check::whole) return 0;
    if (count == 0) return 1;
    open_disk* d = as_disk(disk);
    const std::uint64_t bytes = std::uint64_t{count} * kSectorBytes;
    if (!path_file::write_at(d->file, d->position, buffer, bytes)) return 0;
    d->position += bytes;
    return 1;
}

bool writable(native_disk disk) {
    const open_disk* d = as_disk(disk);
    return d && d->writable;
}

int flush(native_disk disk) {
    // Only a handle that may write can flush, as on Windows.
    if (!writable(disk)) return 0;
    return path_file::flush(as_disk(disk)->file) ? 1 : 0;
}

std::int64_t size_bytes(native_disk disk) {
    const open_disk* d = as_disk(disk);
    if (!d) return kDiskSizeInvalidHandle;
    if (!d->facts.size_known || d->facts.size_bytes > static_cast<std::uint64_t>(INT64_MAX)) {
        return kDiskSizeQueryFailed;
    }
    return static_cast<std::int64_t>(d->facts.size_bytes);
}

bool device_facts(native_disk disk, path_file::facts* facts) {
    const open_disk* d = as_disk(disk);
    if (!d) return false;
    *facts = d->facts;
    return true;
}

int geometry_of(const path_file::facts& facts, disk_geometry* geometry) {
    if (facts.bytes_per_sector == 0) return 0;
    const std::uint64_t cylinder_bytes =
        std::uint64_t{kTracksPerCylinder} * kSectorsPerTrack * facts.bytes_per_sector;
    disk_geometry g;
    g.cylinders = static_cast<std::int64_t>(facts.size_bytes / cylinder_bytes);
    g.media_type = facts.media_type;
    g.tracks_per_cylinder = kTracksPerCylinder;
    g.sectors_per_track = kSectorsPerTrack;
    g.bytes_per_sector = facts.bytes_per_sector;
    *geometry = g;
    return 1;
}

int geometry(native_disk disk, disk_geometry* geometry) {
    path_file::facts facts;
    return device_facts(disk, &facts) ? geometry_of(facts, geometry) : 0;
}

int partition_count(native_disk disk) {
    const open_disk* d = as_disk(disk);
    // Like the Windows layout query, this needs read access.
    if (!d || d->writable) return kLayoutQueryFailed;
    // Read sector 0 without moving the handle's position. An MBR has four
    // primary slots and the Windows layout lists each of them, used or not;
    // reporting the same keeps krdtool's verdicts equal to the wizard's.
    if (d->facts.size_known && d->facts.size_bytes < kSectorBytes) return kLayoutQueryFailed;
    unsigned char sector[kSectorBytes];
    if (!path_file::read_at(d->file, 0, sector, sizeof sector)) return kLayoutQueryFailed;
    return has_boot_signature(sector) ? kMbrEntryCount : 0;
}

}  // namespace kiroda::path_disk

namespace kiroda {

// No disk layer alters the drive letters, so every program that serves
// disks from paths shares these two.
int drive_letter_to_disk_number(char letter) {
    std::vector<int> numbers;
    if (!find_drive_extents(letter, &numbers)) return kVolumeNotOpened;
    return numbers.empty() ? kExtentsQueryFailed : numbers.front();
}

std::vector<int> drive_letter_disk_numbers(char letter) {
    std::vector<int> numbers;
    find_drive_extents(letter, &numbers);
    return numbers;
}

}  // namespace kiroda
