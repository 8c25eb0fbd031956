// Path-backed disks on Windows: image files standing in for physical disks,
// so that test programs can drive the engines and the wizard under Wine,
// which has no raw disks. Only test programs link this file; the product
// links physical_disk_win32.cpp.
#include <windows.h>

#include "disk/path_disk.h"
#include "disk/physical_disk.h"

namespace kiroda::path_file {

namespace {

HANDLE as_win(handle file) {
    return reinterpret_cast<HANDLE>(file);
}

bool seek_to(HANDLE h, std::uint64_t offset) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return offset <= static_cast<std::uint64_t>(INT64_MAX) &&
           SetFilePointerEx(h, distance, nullptr, FILE_BEGIN) != 0;
}

// ReadFile and WriteFile take a 32-bit length; stay well below it.
constexpr std::size_t kChunk = 1u << 30;

}  // namespace

handle open(const std::string& path, bool writable, facts* f, bool uncached) {
    // The test images are ordinary files under Wine; their reads go through
    // the cache either way.
    (void)uncached;
    // Shared for reading and writing so that a test can look at the image
    // while the code under test holds it open.
    const HANDLE h = CreateFileA(path.c_str(), writable ? GENERIC_WRITE : GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kNone;
    LARGE_INTEGER size;
    if (GetFileSizeEx(h, &size) == 0 || GetFileType(h) != FILE_TYPE_DISK) {
        const DWORD error = GetLastError();
        CloseHandle(h);
        SetLastError(error);
        return kNone;
    }
    *f = facts{};
    f->size_known = true;
    f->size_bytes = static_cast<std::uint64_t>(size.QuadPart);
    f->bytes_per_sector = kSectorBytes;
    f->media_type = kMediaFixed;
    return reinterpret_cast<handle>(h);
}

void close(handle file) {
    if (file != kNone) CloseHandle(as_win(file));
}

bool read_at(handle file, std::uint64_t offset, void* buffer, std::size_t bytes) {
    const HANDLE h = as_win(file);
    if (!seek_to(h, offset)) return false;
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < bytes) {
        const std::size_t want = bytes - done < kChunk ? bytes - done : kChunk;
        DWORD got = 0;
        if (!ReadFile(h, p + done, static_cast<DWORD>(want), &got, nullptr) || got == 0) {
            return false;
        }
        done += got;
    }
    return true;
}

bool write_at(handle file, std::uint64_t offset, const void* buffer, std::size_t bytes) {
    const HANDLE h = as_win(file);
    if (!seek_to(h, offset)) return false;
    const auto* p = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < bytes) {
        const std::size_t want = bytes - done < kChunk ? bytes - done : kChunk;
        DWORD put = 0;
        if (!WriteFile(h, p + done, static_cast<DWORD>(want), &put, nullptr) || put == 0) {
            return false;
        }
        done += put;
    }
    return true;
}

bool flush(handle file) {
    return FlushFileBuffers(as_win(file)) != 0;
}

}  // namespace kiroda::path_file
