// The disk seam over registered paths, as krdtool (and every program that is
// no test) links it: each operation is the path-backed one, nothing added.
// Test programs link faulty_disk_test_support.cpp in place of this file; see
// path_disk.h for why the seam is chosen at link time.
#include "disk/path_disk.h"
#include "disk/physical_disk.h"

namespace kiroda {

void disk_handle::reset(native_disk native) {
    path_disk::close(native_);
    native_ = native;
}

disk_handle open_physical_disk(int number, char mode) {
    return disk_handle(path_disk::open(number, mode));
}

bool seek_sector(const disk_handle& disk, std::uint64_t sector) {
    return path_disk::seek(disk.get(), sector);
}

bool read_sectors(const disk_handle& disk, std::uint32_t count, void* buffer) {
    return path_disk::read(disk.get(), count, buffer);
}

bool write_sectors(const disk_handle& disk, std::uint32_t count, const void* buffer) {
    return path_disk::write(disk.get(), count, buffer);
}

bool flush_disk(const disk_handle& disk) {
    return path_disk::flush(disk.get());
}

std::int64_t get_disk_size_bytes(const disk_handle& disk) {
    return path_disk::size_bytes(disk.get());
}

bool get_disk_geometry(const disk_handle& disk, disk_geometry* geometry) {
    return path_disk::geometry(disk.get(), geometry);
}

int get_bytes_per_sector(const disk_handle& disk) {
    disk_geometry g;
    if (!get_disk_geometry(disk, &g)) return kSectorSizeQueryFailed;
    return static_cast<int>(g.bytes_per_sector);
}

std::uint8_t get_media_type(const disk_handle& disk) {
    disk_geometry g;
    if (!get_disk_geometry(disk, &g)) return kMediaUnknown;
    return static_cast<std::uint8_t>(g.media_type & 0xFF);
}

int get_partition_count(const disk_handle& disk) {
    return path_disk::partition_count(disk.get());
}

}  // namespace kiroda
