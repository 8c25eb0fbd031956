// Raw physical disks on Windows: \\.\PHYSICALDRIVE%d through CreateFileA,
// ReadFile / WriteFile and DeviceIoControl. This is the product's disk table,
// the platform's own on Windows.
#include <windows.h>
#include <winioctl.h>

#include <cstddef>

#include "disk/device_path.h"
#include "disk/disk_geometry.h"
#include "disk/physical_disk.h"
#include "disk/volume_extents.h"
#include "util/le.h"

namespace kiroda {

// The replies are read field by field at these offsets (disk_geometry.cpp,
// volume_extents.cpp); make sure the system headers agree.
static_assert(sizeof(DISK_GEOMETRY) == kGeometryReplyBytes);
static_assert(offsetof(DISK_GEOMETRY, MediaType) == 8);
static_assert(offsetof(DISK_GEOMETRY, TracksPerCylinder) == 12);
static_assert(offsetof(DISK_GEOMETRY, SectorsPerTrack) == 16);
static_assert(offsetof(DISK_GEOMETRY, BytesPerSector) == 20);
static_assert(offsetof(DISK_GEOMETRY_EX, DiskSize) == kGeometryExDiskSizeOffset);
static_assert(sizeof(DISK_GEOMETRY_EX) == kGeometryExReplyBytes);
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == kExtentsHeaderBytes);
static_assert(sizeof(DISK_EXTENT) == kExtentBytes);
static_assert(offsetof(DISK_EXTENT, DiskNumber) == 0);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION, PartitionCount) == 0);

namespace {

// Reply buffer of the geometry and layout queries.
constexpr DWORD kQueryBufferBytes = 10000;

HANDLE as_win(native_disk disk) {
    return reinterpret_cast<HANDLE>(disk);
}

// SetFilePointer to a 64-bit byte offset, the high part passed too. The call
// has failed only if it returns INVALID_SET_FILE_POINTER and the last error
// is set: that return value is also the low part of a valid offset.
bool set_position(HANDLE h, std::uint64_t offset) {
    LONG high = static_cast<LONG>(offset >> 32);
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(h, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

// IOCTL_DISK_GET_DRIVE_GEOMETRY into a 10,000-byte buffer.
geometry_reply query_geometry(native_disk disk, disk_geometry* geometry) {
    // An invalid handle would reach the system as the process pseudo-handle.
    if (disk == kInvalidDisk) return geometry_reply::failed;
    unsigned char reply[kQueryBufferBytes];
    DWORD returned = 0;
    if (!DeviceIoControl(as_win(disk), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, reply,
                         sizeof reply, &returned, nullptr)) {
        return geometry_reply::failed;
    }
    if (returned > sizeof reply) return geometry_reply::too_long;
    // A reply too short to hold the geometry is no answer.
    if (returned < kGeometryReplyBytes) return geometry_reply::failed;
    *geometry = parse_disk_geometry(reply);
    return geometry_reply::answered;
}

void close_disk(native_disk disk) {
    CloseHandle(as_win(disk));
}

// Access: GENERIC_READ for read and source, GENERIC_WRITE for write. Sharing:
// a reading handle shares write only (not read), so no other program reads
// the device under us; a writing handle also shares read, so that the
// restore's own read-back handle can open beside it. Existing device, no
// buffering flags: transfers need no alignment beyond whole 512-byte
// sectors. read_back reads with FILE_FLAG_NO_BUFFERING, so it sees the
// device and not the cache; its buffers must be sector-aligned. A value
// outside the modes opens nothing and asks nothing.
native_disk open_disk(int number, disk_mode mode) {
    DWORD access = 0;
    DWORD share = FILE_SHARE_WRITE;
    DWORD flags = 0;
    switch (mode) {
        case disk_mode::read:
        case disk_mode::source:
            access = GENERIC_READ;
            break;
        case disk_mode::write:
            access = GENERIC_WRITE;
            share = FILE_SHARE_READ | FILE_SHARE_WRITE;
            break;
        case disk_mode::read_back:
            access = GENERIC_READ;
            share = FILE_SHARE_READ | FILE_SHARE_WRITE;
            flags = FILE_FLAG_NO_BUFFERING;
            break;
        default:
            return kInvalidDisk;
    }
    char path[kPhysicalDrivePathSize];
    format_physical_drive_path(path, number);
    const HANDLE h = CreateFileA(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr);
    return reinterpret_cast<native_disk>(h);
}

bool seek_disk(native_disk disk, std::uint64_t sector) {
    if (sector > UINT64_MAX / kSectorBytes) return false;
    return set_position(as_win(disk), sector * kSectorBytes);
}

bool read_disk(native_disk disk, std::uint32_t count, void* buffer) {
    if (count > kMaxTransferSectors) return false;
    const DWORD bytes = count * kSectorBytes;
    DWORD got = 0;
    return ReadFile(as_win(disk), buffer, bytes, &got, nullptr) && got == bytes;
}

bool write_disk(native_disk disk, std::uint32_t count, const void* buffer) {
    if (count > kMaxTransferSectors) return false;
    const DWORD bytes = count * kSectorBytes;
    DWORD put = 0;
    return WriteFile(as_win(disk), buffer, bytes, &put, nullptr) && put == bytes;
}

bool flush_disk_buffers(native_disk disk) {
    return FlushFileBuffers(as_win(disk)) != 0;
}

std::int64_t disk_size_bytes(native_disk disk) {
    const HANDLE h = as_win(disk);

    unsigned char ex[kGeometryExReplyBytes] = {};
    DWORD returned = 0;
    if (DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, ex, sizeof ex, &returned,
                        nullptr) &&
        returned >= kGeometryExDiskSizeOffset + 8) {
        const auto size = static_cast<std::int64_t>(load_le64(ex + kGeometryExDiskSizeOffset));
        // A negative size is no size; ask the older query instead.
        if (size >= 0) return size;
    }

    unsigned char basic[kGeometryReplyBytes] = {};
    returned = 0;
    if (!DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, basic, sizeof basic,
                         &returned, nullptr) ||
        returned < kGeometryReplyBytes) {
        return kDiskSizeQueryFailed;
    }
    // Count the sectors past the last whole cylinder that can still be read.
    unsigned char scratch[kProbeMaxSectorBytes];
    const size_probe probe{
        [h](std::uint64_t offset) { return set_position(h, offset); },
        [h, &scratch](std::uint32_t bytes) {
            DWORD got = 0;
            return ReadFile(h, scratch, bytes, &got, nullptr) && got != 0;
        },
    };
    return probed_disk_size(parse_disk_geometry(basic), probe);
}

int partition_count(native_disk disk) {
    unsigned char reply[kQueryBufferBytes];
    DWORD returned = 0;
    if (!DeviceIoControl(as_win(disk), IOCTL_DISK_GET_DRIVE_LAYOUT, nullptr, 0, reply, sizeof reply,
                         &returned, nullptr) ||
        returned < 4 || returned > sizeof reply) {
        return kLayoutQueryFailed;
    }
    const std::uint32_t count = load_le32(reply);
    return count > 0x7FFFFFFFu ? kLayoutQueryFailed : static_cast<int>(count);
}

// Zeroes the buffer, then asks for the extents of the volume. The buffer, or
// null when the query fails or its reply does not fit.
void* get_volume_disk_extents(native_disk volume, void* buffer, std::uint32_t size,
                              std::uint32_t* reply_bytes) {
    ZeroMemory(buffer, size);
    DWORD returned = 0;
    if (!DeviceIoControl(reinterpret_cast<HANDLE>(volume), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS,
                         nullptr, 0, buffer, size, &returned, nullptr) ||
        returned > size) {
        return nullptr;
    }
    if (reply_bytes) *reply_bytes = returned;
    return buffer;
}

// The disk numbers of the volume of drive `letter` (found: never empty).
volume_reply volume_disk_numbers(char letter, std::vector<int>* numbers) {
    char path[kVolumePathSize];
    format_volume_path(path, letter);
    const HANDLE volume = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE) return volume_reply::not_opened;
    unsigned char reply[kExtentsBufferBytes];
    std::uint32_t reply_bytes = 0;
    const void* ok = get_volume_disk_extents(reinterpret_cast<native_disk>(volume), reply,
                                             sizeof reply, &reply_bytes);
    CloseHandle(volume);
    if (!ok) return volume_reply::query_failed;
    *numbers = parse_volume_extents(reply, reply_bytes);
    // A reply without a single extent names no disk; 0 from the zeroed
    // buffer would be taken for disk 0.
    return numbers->empty() ? volume_reply::query_failed : volume_reply::found;
}

constexpr disk_ops kRawDisks{open_disk,       close_disk,         seek_disk,       read_disk,
                             write_disk,      flush_disk_buffers, disk_size_bytes, query_geometry,
                             partition_count, volume_disk_numbers};

}  // namespace

const disk_ops& platform_disk_ops() {
    return kRawDisks;
}

}  // namespace kiroda
