// Files of a backup set through the C runtime's low-level descriptors, in
// binary mode. The descriptor is owned by a unique_fd in the function that
// opened it and closed on every path.
//
// The functions below dispatch through a table of operations (file_ops)
// that the program installs at start-up: the platform's own
// (file_io_posix.cpp, file_io_win32.cpp) unless a test program installs a
// layer around it (util/io_census_test_support.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kiroda {

class unique_fd {
  public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    unique_fd(unique_fd&& other) noexcept : fd_(other.release()) {}
    unique_fd& operator=(unique_fd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_fd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor; false when the close reported an error (data may
    // not have reached the volume).
    bool reset(int fd = -1);

  private:
    int fd_ = -1;
};

// Read only, and only a regular file (a FIFO or a device gives EINVAL, at
// once: a FIFO is opened without waiting for a writer); -1 on failure.
[[nodiscard]] int open_for_reading(const char* path);
// Read only, for reading back what was written to a medium: reads bypass
// the system's cache where the file system allows it (O_DIRECT on Linux,
// FILE_FLAG_NO_BUFFERING on Windows); otherwise the file's cached pages are
// dropped first, so its data must have been committed. Read it with
// read_back only. -1 on failure.
[[nodiscard]] int open_for_reading_back(const char* path);
// The alignment read_back needs of its buffer and of its sizes.
constexpr std::size_t kReadBackAlignment = 4096;
// Reads `size` bytes (a multiple of kReadBackAlignment, into a buffer
// aligned to it) from a descriptor of open_for_reading_back. Returns the
// bytes read, fewer than `size` only at the end of the file, or -1 on a
// read error.
[[nodiscard]] std::int64_t read_back(int fd, void* buffer, std::size_t size);
// Drops what the system's cache holds of the committed file `path`, so that
// the next reads of it through a descriptor of open_for_reading come from
// the medium. Best effort: a file system may keep its pages (tmpfs is its
// pages).
void forget_cached_pages(const char* path);

// Write only, created or truncated to zero length: an older, longer file of
// the same name must not leave its tail behind. -1 on failure.
[[nodiscard]] int open_for_writing(const char* path);

// Write only, an existing file cut to its first `keep_bytes` bytes and
// positioned there, for writing on where an interrupted writer stopped.
// The file must exist and hold at least `keep_bytes`. -1 on failure.
[[nodiscard]] int open_to_continue(const char* path, std::int64_t keep_bytes);

// Reads until `size` bytes or the end of the file. Returns the bytes read
// (fewer than `size` only at the end of the file), or -1 on a read error.
[[nodiscard]] std::int64_t read_full(int fd, void* buffer, std::size_t size);
// Writes all `size` bytes. Returns the bytes written; fewer means the write
// failed (a full volume, an I/O error).
[[nodiscard]] std::int64_t write_full(int fd, const void* buffer, std::size_t size);
// Forces written data to the volume; false on failure.
[[nodiscard]] bool commit_file(int fd);
// Where a descriptor's position lies against the end of its file.
enum class end_of_file {
    before,   // bytes remain to be read
    at_end,   // at the end of the file or past it
    unknown,  // the position or the size could not be asked
};
[[nodiscard]] end_of_file at_end_of_file(int fd);
// Moves `bytes` forward from the current position; false on error.
[[nodiscard]] bool skip_forward(int fd, std::int64_t bytes);
// The current position; -1 on error.
[[nodiscard]] std::int64_t file_position(int fd);

// Renames `from` to `to`, replacing a file of that name in one step, so a
// reader sees the old file or the whole new one, never a part. False on
// failure (both names then stay as they were).
[[nodiscard]] bool replace_file(const char* from, const char* to);
// Deletes a file; true when it is gone (or was never there).
[[nodiscard]] bool remove_file(const char* path);
// Forces the names of the folder that holds `path` to the volume: a file
// created or removed there (or the folder `path` itself, made in its
// parent) is durable only then. False on failure.
[[nodiscard]] bool sync_folder_of(const char* path);

// ---- The table of operations ----

// How remove_file's operation found the file.
enum class removal { removed, absent, failed };

// The platform's operations behind the functions above, and the free-space
// query of util/free_space.h. replace_file is rename_replacing followed by
// sync_folder_of the new name.
struct file_ops {
    int (*open_for_reading)(const char* path);
    int (*open_for_reading_back)(const char* path);
    std::int64_t (*read_back)(int fd, void* buffer, std::size_t size);
    void (*forget_cached_pages)(const char* path);
    int (*open_for_writing)(const char* path);
    int (*open_to_continue)(const char* path, std::int64_t keep_bytes);
    std::int64_t (*read_full)(int fd, void* buffer, std::size_t size);
    std::int64_t (*write_full)(int fd, const void* buffer, std::size_t size);
    bool (*commit_file)(int fd);
    end_of_file (*at_end_of_file)(int fd);
    bool (*skip_forward)(int fd, std::int64_t bytes);
    std::int64_t (*file_position)(int fd);
    // Renames, replacing a file of the new name in one step.
    bool (*rename_replacing)(const char* from, const char* to);
    // Forces the names of the folder of `path` (a file in it) to the volume,
    // where the platform does not do so with each rename.
    bool (*sync_folder_of)(const char* path);
    removal (*remove_file)(const char* path);
    double (*folder_free_bytes)(const char* folder);
};

// The platform's own table.
const file_ops& platform_file_ops();

// Makes `ops` the table every later call goes through; null installs the
// platform's own again. Install before any thread uses the files: the
// program does it at start-up, a test program before its tests.
void install_file_ops(const file_ops* ops);

// The table installed now.
const file_ops& installed_file_ops();

}  // namespace kiroda
