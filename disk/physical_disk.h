// Raw physical disks: the only place the program touches a disk below the
// file system.
//
// All addressing is in 512-byte sectors, whatever sector size the device
// reports; the device's own size is only reported, so that callers can
// refuse disks whose sectors are not 512 bytes.
//
// The functions below are the program's one way to a disk. They dispatch
// through a table of operations (disk_ops) that the program installs at
// start-up; what can be worked out from the table's answers (the sector size
// and media type from the geometry, the disk of a drive letter from the
// volume's extents) is worked out here, once, for every table. Tables:
//   physical_disk_win32.cpp        \\.\PHYSICALDRIVE%d through CreateFileA /
//                                  DeviceIoControl: the platform's own on Windows
//   path_disk.cpp                  a table of disk numbers -> paths
//                                  (register_disk_path): block devices and image
//                                  files on Linux, the platform's own there
//                                  (file calls in physical_disk_posix.cpp); image
//                                  files on Windows, for the test programs and the
//                                  picture tool (physical_disk_image_win32_test_support.cpp)
//   faulty_disk_test_support.cpp   injected faults, wrapped around another table:
//                                  test programs only
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kiroda {

// The operating system's handle of an open device; -1 (all bits set, as
// INVALID_HANDLE_VALUE) when invalid.
using native_disk = std::intptr_t;
constexpr native_disk kInvalidDisk = -1;

// How open_physical_disk opens a disk (see there).
enum class disk_mode {
    read,
    write,
    read_back,
    source,
};

struct disk_ops;

// Owns an open device and closes it on every path, through the table of
// operations that opened it.
class disk_handle {
  public:
    disk_handle() = default;
    // Takes `native`, opened by `ops` (kInvalidDisk: no handle).
    disk_handle(native_disk native, const disk_ops* ops)
        : native_(native), ops_(native != kInvalidDisk ? ops : nullptr) {}
    disk_handle(const disk_handle&) = delete;
    disk_handle& operator=(const disk_handle&) = delete;
    disk_handle(disk_handle&& other) noexcept : native_(other.native_), ops_(other.ops_) {
        other.native_ = kInvalidDisk;
        other.ops_ = nullptr;
    }
    disk_handle& operator=(disk_handle&& other) noexcept {
        if (this != &other) {
            reset();
            native_ = other.native_;
            ops_ = other.ops_;
            other.native_ = kInvalidDisk;
            other.ops_ = nullptr;
        }
        return *this;
    }
    ~disk_handle() { reset(); }

    native_disk get() const { return native_; }
    bool valid() const { return native_ != kInvalidDisk; }
    // The table that opened the handle; null for an invalid one.
    const disk_ops* ops() const { return ops_; }
    // Closes the device; the handle is invalid afterwards.
    void reset();

  private:
    native_disk native_ = kInvalidDisk;
    const disk_ops* ops_ = nullptr;
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

// Opens disk `number`. read and write are plain handles for reading or for
// writing. read_back is a read-only handle that bypasses the system's cache
// where the platform allows, so it sees what the device holds, not what was
// handed to it; its transfers need buffers aligned to 4,096 bytes. source
// reads a backup's source: in order, in whole chunks, past the system's cache
// where the platform allows it (Linux: O_DIRECT, so a disk of a terabyte
// neither passes through the cache nor pushes out what is in it; Windows: a
// plain read handle), with the same buffers as read_back. A value outside
// the enumeration gives an invalid handle without asking the system.
[[nodiscard]] disk_handle open_physical_disk(int number, disk_mode mode);

// True on success, false on failure (an invalid handle fails at once). Transfers
// continue at the current position; a transfer that moves fewer than
// count x 512 bytes, or more than kMaxTransferSectors sectors, fails.
[[nodiscard]] bool seek_sector(const disk_handle& disk, std::uint64_t sector);
[[nodiscard]] bool read_sectors(const disk_handle& disk, std::uint32_t count, void* buffer);
[[nodiscard]] bool write_sectors(const disk_handle& disk, std::uint32_t count, const void* buffer);

// Forces written sectors to the device; true on success. A restore flushes
// before and after it writes sector 0, so the MBR never reaches the disk
// ahead of the data it describes.
[[nodiscard]] bool flush_disk(const disk_handle& disk);

// Size in bytes; kDiskSizeInvalidHandle or kDiskSizeQueryFailed on failure.
[[nodiscard]] std::int64_t get_disk_size_bytes(const disk_handle& disk);
// BytesPerSector of the device; kSectorSizeQueryFailed when the query fails,
// kSectorSizeReplyTooLong when the reply is too long.
[[nodiscard]] int get_bytes_per_sector(const disk_handle& disk);
// Media type code; kMediaUnknown when the query fails.
[[nodiscard]] std::uint8_t get_media_type(const disk_handle& disk);
// True with `geometry` filled.
[[nodiscard]] bool get_disk_geometry(const disk_handle& disk, disk_geometry* geometry);

// Number of partition table entries the device's layout reports (an MBR disk
// reports its four primary slots, used or not, plus four per extended boot
// record); kLayoutQueryFailed when the device does not answer.
[[nodiscard]] int get_partition_count(const disk_handle& disk);

// Display name of a media type code, in the program's text encoding.
const char* media_type_name(std::uint8_t code);

// Disk number of the first extent of the volume of drive `letter`;
// kVolumeNotOpened when the volume cannot be opened (a network path's "\\"
// never names a volume), kExtentsQueryFailed when the extents query fails or
// reports no extent.
[[nodiscard]] int drive_letter_to_disk_number(char letter);

// Disk numbers of every extent of the volume of drive `letter` (a spanned
// volume lies on several disks, and any of them may be the one being read).
// Empty when the volume cannot be opened or queried.
std::vector<int> drive_letter_disk_numbers(char letter);

// ---- The table of operations ----

// A table's answer to the geometry query.
enum class geometry_reply {
    answered,  // `geometry` filled
    failed,    // the device gave no geometry
    too_long,  // the reply did not fit the buffer it was asked into
};

// A table's answer to "which disks hold the volume of this drive letter".
enum class volume_reply {
    found,         // `numbers` holds at least one disk number
    not_opened,    // the volume cannot be opened (no volume of that letter)
    query_failed,  // the extents query failed or named no disk
};

// The operations every disk layer provides, on the native value of a handle
// it opened. The functions above call them only with a handle the same table
// opened, never with kInvalidDisk (they fail such a handle themselves), and
// close it through the same table whatever is installed by then.
struct disk_ops {
    // kInvalidDisk on failure, with the system's error code left for the
    // caller's message.
    native_disk (*open)(int number, disk_mode mode);
    void (*close)(native_disk disk);
    bool (*seek)(native_disk disk, std::uint64_t sector);
    bool (*read)(native_disk disk, std::uint32_t count, void* buffer);
    bool (*write)(native_disk disk, std::uint32_t count, const void* buffer);
    bool (*flush)(native_disk disk);
    std::int64_t (*size_bytes)(native_disk disk);  // as get_disk_size_bytes
    geometry_reply (*geometry)(native_disk disk, disk_geometry* geometry);
    int (*partition_count)(native_disk disk);  // as get_partition_count
    volume_reply (*volume_disks)(char letter, std::vector<int>* numbers);
};

// The platform's own table: the raw disks on Windows, the registered paths
// elsewhere. Installed until a program installs another.
const disk_ops& platform_disk_ops();

// Makes `ops` the table every later open goes through; null installs the
// platform's own again. Handles already open keep the table that opened
// them. Install before any thread opens a disk: the program does it at
// start-up, a test between runs.
void install_disk_ops(const disk_ops* ops);

// The table installed now.
const disk_ops& installed_disk_ops();

}  // namespace kiroda
