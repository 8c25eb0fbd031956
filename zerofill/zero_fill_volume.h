// What the zero fill needs of the volume it fills: its file system, its free
// space, and the few file operations on the temporary files. The defaults of
// the file operations are the platform's (temp_files_*.cpp); the program's
// volume is drive_volume_win32, the tests' a folder with a capacity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace kiroda {

// File system kinds, as the fill tells them apart.
constexpr int kFileSystemQueryFailed = -1;
constexpr int kFileSystemOther = 0;
constexpr int kFileSystemNtfs = 1;
constexpr int kFileSystemFat = 2;
constexpr int kFileSystemFat32 = 3;

// The kind of a file system name, compared without regard to ASCII case:
// "NTFS" 1, "FAT" 2, "FAT32" 3, anything else 0.
int file_system_kind_of_name(const char* name);

class zero_fill_volume {
  public:
    virtual ~zero_fill_volume() = default;

    // kFileSystem*; the name read is kept for the message of an unsupported one.
    virtual int query_file_system_kind() = 0;
    virtual const char* file_system_name() const = 0;
    // Free bytes available to this user, or -1 when the query fails.
    virtual std::int64_t free_bytes() = 0;

    virtual bool is_folder(const char* path);
    virtual bool make_folder(const char* path);
    // Creates a new file for writing; nullptr when a file or folder of that
    // name already exists or it cannot be made. Never opens an existing file.
    virtual std::FILE* create_new_file(const char* path);
    // Writes `size` bytes and pushes them out of the stream's buffer. Returns
    // the bytes that reached the file: fewer than `size` means the write failed.
    virtual std::size_t write_chunk(std::FILE* file, const char* bytes, std::size_t size);
    virtual bool remove_file(const char* path);
    virtual bool remove_folder(const char* path);
};

}  // namespace kiroda
