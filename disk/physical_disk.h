// Raw physical disks: the only place the program touches a disk below the
// file system.
//
// All addressing is in 512-byte sectors, whatever sector size the device
// reports; the device's own size is only reported, so that callers can
// refuse disks whose sectors are not 512 bytes.
//
// One file per platform implements these functions:
//   physical_disk_win32.cpp        \\.\PHYSICALDRIVE%d through CreateFileA / DeviceIoControl
//   physical_disk_paths.cpp        block devices and image files on Linux (file calls in
//                                  physical_disk_posix.cpp), image files on Windows (file
//                                  calls in physical_disk_image_win32_test_support.cpp), through a table
//                                  of disk numbers -> paths (register_disk_path)
//   faulty_disk_test_support.cpp   the same, with injected faults: test programs only
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kiroda {

// The operating system's handle of an open device; -1 (all bits set, as
// INVALID_HANDLE_VALUE) when invalid.
using native_disk = std::intptr_t;
constexpr native_disk kInvalidDisk = -1;

// Owns an open device and closes it on every path.
class disk_handle {
  public:
    disk_handle() = default;
    explicit disk_handle(native_disk native) : native_(native) {}
    disk_handle(const disk_handle&) = delete;
    disk_handle& operator=(const disk_handle&) = delete;
    disk_handle(disk_handle&& other) noexcept : native_(other.release()) {}
    disk_handle& operator=(disk_handle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~disk_handle() { reset(); }

    native_disk get() const { return native_; }
    bool valid() const { return native_ != kInvalidDisk; }
    native_disk release() {
        const native_disk n = native_;
        native_ = kInvalidDisk;
        return n;
    }
    void reset(native_disk native = kInvalidDisk);

  private:
    native_disk native_ = kInvalidDisk;
};

constexpr std::uint32_t kSectorBytes = 512;

// Media type codes (low byte of the device's MEDIA_TYPE).
constexpr std::uint8_t kMediaUnknown = 0;
constexpr std::uint8_t kMediaRemovable = 11;
constexpr std::uint8_t kMediaFixed = 12;

// Size query failures of get_disk_size_bytes.
constexpr std::int64_t kDiskSizeInvalidHandle = -1;
constexpr std::int64_t kDiskSizeQueryFailed = -2;

// Failures of get_bytes_per_sector.
constexpr int kSectorSizeQueryFailed = -1;
constexpr int kSectorSizeReplyTooLong = -2;

// Failure of get_partition_count.
constexpr int kLayoutQueryFailed = -1;

// Failures of drive_letter_to_disk_number.
constexpr int kVolumeNotOpened = -1;
constexpr int kExtentsQueryFailed = -2;

// The longest single transfer: count x 512 bytes must stay below 4 GiB, the
// largest length Windows takes in one call. A longer request fails at once
// instead of wrapping to a short length and "succeeding".
constexpr std::uint32_t kMaxTransferSectors = 8388607;

// The device geometry as DISK_GEOMETRY holds it.
struct disk_geometry {
    std::int64_t cylinders = 0;
    std::uint32_t media_type = 0;
    std::uint32_t tracks_per_cylinder = 0;
    std::uint32_t sectors_per_track = 0;
    std::uint32_t bytes_per_sector = 0;
};

// Opens disk `number` for reading ('r'/'R') or writing ('w'/'W'), or for
// reading back what was written ('v'): a read-only handle that bypasses the
// system's cache where the platform allows, so it sees what the device holds,
// not what was handed to it. Its transfers need buffers aligned to 4,096
// bytes. 's' reads a backup's source: in order, in whole chunks, past the
// system's cache where the platform allows it (Linux: O_DIRECT, so a disk of
// a terabyte neither passes through the cache nor pushes out what is in it;
// Windows: a plain read handle), with the same buffers as 'v'. Any other
// mode gives an invalid handle without asking the system.
disk_handle open_physical_disk(int number, char mode);

// True on success, false on failure (an invalid handle fails at once). Transfers
// continue at the current position; a transfer that moves fewer than
// count x 512 bytes, or more than kMaxTransferSectors sectors, fails.
bool seek_sector(const disk_handle& disk, std::uint64_t sector);
bool read_sectors(const disk_handle& disk, std::uint32_t count, void* buffer);
bool write_sectors(const disk_handle& disk, std::uint32_t count, const void* buffer);

// Forces written sectors to the device; true on success. A restore flushes
// before and after it writes sector 0, so the MBR never reaches the disk
// ahead of the data it describes.
bool flush_disk(const disk_handle& disk);

// Size in bytes; kDiskSizeInvalidHandle or kDiskSizeQueryFailed on failure.
std::int64_t get_disk_size_bytes(const disk_handle& disk);
// BytesPerSector of the device; -1 when the query fails, -2 when the reply is too long.
int get_bytes_per_sector(const disk_handle& disk);
// Media type code; kMediaUnknown when the query fails.
std::uint8_t get_media_type(const disk_handle& disk);
// True with `geometry` filled.
bool get_disk_geometry(const disk_handle& disk, disk_geometry* geometry);

// Number of partition table entries the device's layout reports (an MBR disk
// reports its four primary slots, used or not, plus four per extended boot
// record); kLayoutQueryFailed when the device does not answer.
int get_partition_count(const disk_handle& disk);

// Display name of a media type code, in the program's text encoding.
const char* media_type_name(std::uint8_t code);

// Disk number of the first extent of the volume of drive `letter`;
// kVolumeNotOpened when the volume cannot be opened (a network path's "\\"
// never names a volume), kExtentsQueryFailed when the extents query fails or
// reports no extent.
int drive_letter_to_disk_number(char letter);

// Disk numbers of every extent of the volume of drive `letter` (a spanned
// volume lies on several disks, and any of them may be the one being read).
// Empty when the volume cannot be opened or queried.
std::vector<int> drive_letter_disk_numbers(char letter);

}  // namespace kiroda
