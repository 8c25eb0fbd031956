// The disk functions every caller uses, over the installed table of
// operations, and the queries worked out from the table's answers.
#include "disk/physical_disk.h"

#include <atomic>

namespace kiroda {

namespace {

// Null until a program installs a table: the platform's own serves then.
std::atomic<const disk_ops*> g_installed{nullptr};

}  // namespace

void install_disk_ops(const disk_ops* ops) {
    g_installed.store(ops);
}

const disk_ops& installed_disk_ops() {
    const disk_ops* ops = g_installed.load();
    return ops != nullptr ? *ops : platform_disk_ops();
}

void disk_handle::reset() {
    if (native_ != kInvalidDisk) ops_->close(native_);
    native_ = kInvalidDisk;
    ops_ = nullptr;
}

disk_handle open_physical_disk(int number, disk_mode mode) {
    const disk_ops& ops = installed_disk_ops();
    return disk_handle(ops.open(number, mode), &ops);
}

bool seek_sector(const disk_handle& disk, std::uint64_t sector) {
    return disk.valid() && disk.ops()->seek(disk.get(), sector);
}

bool read_sectors(const disk_handle& disk, std::uint32_t count, void* buffer) {
    return disk.valid() && disk.ops()->read(disk.get(), count, buffer);
}

bool write_sectors(const disk_handle& disk, std::uint32_t count, const void* buffer) {
    return disk.valid() && disk.ops()->write(disk.get(), count, buffer);
}

bool flush_disk(const disk_handle& disk) {
    return disk.valid() && disk.ops()->flush(disk.get());
}

std::int64_t get_disk_size_bytes(const disk_handle& disk) {
    return disk.valid() ? disk.ops()->size_bytes(disk.get()) : kDiskSizeInvalidHandle;
}

namespace {

geometry_reply query_geometry(const disk_handle& disk, disk_geometry* geometry) {
    return disk.valid() ? disk.ops()->geometry(disk.get(), geometry) : geometry_reply::failed;
}

}  // namespace

bool get_disk_geometry(const disk_handle& disk, disk_geometry* geometry) {
    disk_geometry g;
    if (query_geometry(disk, &g) != geometry_reply::answered) return false;
    *geometry = g;
    return true;
}

int get_bytes_per_sector(const disk_handle& disk) {
    disk_geometry g;
    switch (query_geometry(disk, &g)) {
        case geometry_reply::answered:
            return static_cast<int>(g.bytes_per_sector);
        case geometry_reply::too_long:
            return kSectorSizeReplyTooLong;
        default:
            return kSectorSizeQueryFailed;
    }
}

std::uint8_t get_media_type(const disk_handle& disk) {
    disk_geometry g;
    if (query_geometry(disk, &g) != geometry_reply::answered) return kMediaUnknown;
    return static_cast<std::uint8_t>(g.media_type & 0xFF);
}

int get_partition_count(const disk_handle& disk) {
    return disk.valid() ? disk.ops()->partition_count(disk.get()) : kLayoutQueryFailed;
}

int drive_letter_to_disk_number(char letter) {
    std::vector<int> numbers;
    switch (installed_disk_ops().volume_disks(letter, &numbers)) {
        case volume_reply::found:
            // A table that finds no disk is taken at its list, not its word.
            if (numbers.empty()) return kExtentsQueryFailed;
            return numbers.front();
        case volume_reply::not_opened:
            return kVolumeNotOpened;
        default:
            return kExtentsQueryFailed;
    }
}

std::vector<int> drive_letter_disk_numbers(char letter) {
    std::vector<int> numbers;
    if (installed_disk_ops().volume_disks(letter, &numbers) != volume_reply::found) numbers.clear();
    return numbers;
}

}  // namespace kiroda
