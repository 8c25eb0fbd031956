#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "util/file_io.h"
#include "util/free_space.h"

namespace kiroda {

namespace {
// _read and _write take an unsigned int count; stay well below it.
constexpr std::size_t kMaxTransfer = 1u << 30;
}  // namespace

bool unique_fd::reset(int fd) {
    bool ok = true;
    if (fd_ >= 0) ok = _close(fd_) == 0;
    fd_ = fd;
    return ok;
}

namespace {

int open_for_reading(const char* path) {
    return _open(path, _O_RDONLY | _O_BINARY);
}

int open_for_reading_back(const char* path) {
    // Uncached: the reads come from the volume, in whole sectors into
    // aligned memory (read_back's rules).
    const HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return -1;
    }
    return fd;
}

std::int64_t read_back(int fd, void* buffer, std::size_t size) {
    // The handle itself, not _read: an uncached handle takes the caller's
    // aligned buffer as it is.
    const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    const __int64 start = _lseeki64(fd, 0, SEEK_CUR);
    if (h == INVALID_HANDLE_VALUE || start < 0) return -1;
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const std::size_t want = size - done < kMaxTransfer ? size - done : kMaxTransfer;
        DWORD got = 0;
        if (ReadFile(h, p + done, static_cast<DWORD>(want), &got, nullptr) == 0) return -1;
        done += got;
        // Short only at the end of the file; a read from there would start
        // off a sector boundary, which an uncached handle refuses.
        if (got < want) break;
    }
    return static_cast<std::int64_t>(done);
}

void forget_cached_pages(const char* path) {
    // The FAT and NTFS drivers flush and purge what the cache holds of a
    // file when it is opened uncached while no cached handle is open.
    const HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

int open_for_writing(const char* path) {
    return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int open_to_continue(const char* path, std::int64_t keep_bytes) {
    unique_fd fd(_open(path, _O_WRONLY | _O_BINARY));
    if (!fd.valid() || keep_bytes < 0 || _lseeki64(fd.get(), 0, SEEK_END) < keep_bytes ||
        _lseeki64(fd.get(), keep_bytes, SEEK_SET) != keep_bytes) {
        return -1;
    }
    // The C library cuts files only below 2 GiB on older systems; the
    // handle's own end of file has no such limit.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd.get()));
    if (handle == INVALID_HANDLE_VALUE || SetEndOfFile(handle) == 0) return -1;
    return fd.release();
}

std::int64_t read_full(int fd, void* buffer, std::size_t size) {
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const std::size_t want = size - done < kMaxTransfer ? size - done : kMaxTransfer;
        const int n = _read(fd, p + done, static_cast<unsigned>(want));
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t write_full(int fd, const void* buffer, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const std::size_t want = size - done < kMaxTransfer ? size - done : kMaxTransfer;
        const int n = _write(fd, p + done, static_cast<unsigned>(want));
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

bool commit_file(int fd) {
    return _commit(fd) == 0;
}

bool skip_forward(int fd, std::int64_t bytes) {
    return _lseeki64(fd, bytes, SEEK_CUR) >= 0;
}

std::int64_t file_position(int fd) {
    return _lseeki64(fd, 0, SEEK_CUR);
}

end_of_file at_end_of_file(int fd) {
    // At or past the end, as on POSIX: a seek may step past the end of a
    // file cut short, where _eof() would say "not at the end".
    const __int64 position = _lseeki64(fd, 0, SEEK_CUR);
    const __int64 size = _filelengthi64(fd);
    if (position < 0 || size < 0) return end_of_file::unknown;
    return position >= size ? end_of_file::at_end : end_of_file::before;
}

// Write-through: the rename itself reaches the volume before we report the
// file as committed, so the folder needs no sync of its own.
bool rename_replacing(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool sync_folder_of(const char*) {
    return true;
}

removal remove_file(const char* path) {
    if (DeleteFileA(path) != 0) return removal::removed;
    return GetLastError() == ERROR_FILE_NOT_FOUND ? removal::absent : removal::failed;
}

constexpr file_ops kWin32Files{
    open_for_reading, open_for_reading_back, read_back,    forget_cached_pages,
    open_for_writing, open_to_continue,      read_full,    write_full,
    commit_file,      at_end_of_file,        skip_forward, file_position,
    rename_replacing, sync_folder_of,        remove_file,  platform_folder_free_bytes,
};

}  // namespace

const file_ops& platform_file_ops() {
    return kWin32Files;
}

}  // namespace kiroda
