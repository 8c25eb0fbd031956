// Files of a backup set through the C runtime's low-level descriptors, in
// binary mode. The descriptor is owned by a unique_fd in the function that
// opened it and closed on every path.
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
int open_for_reading(const char* path);
// Read only, for reading back what was written to a medium: reads bypass
// the system's cache where the file system allows it (O_DIRECT on Linux,
// FILE_FLAG_NO_BUFFERING on Windows); otherwise the file's cached pages are
// dropped first, so its data must have been committed. Read it with
// read_back only. -1 on failure.
int open_for_reading_back(const char* path);
// The alignment read_back needs of its buffer and of its sizes.
constexpr std::size_t kReadBackAlignment = 4096;
// Reads `size` bytes (a multiple of kReadBackAlignment, into a buffer
// aligned to it) from a descriptor of open_for_reading_back. Returns the
// bytes read, fewer than `size` only at the end of the file, or -1 on a
// read error.
std::int64_t read_back(int fd, void* buffer, std::size_t size);
// Drops what the system's cache holds of the committed file `path`, so that
// the next reads of it through a descriptor of open_for_reading come from
// the medium. Best effort: a file system may keep its pages (tmpfs is its
// pages).
void forget_cached_pages(const char* path);

// Write only, created or truncated to zero length: an older, longer file of
// the same name must not leave its tail behind. -1 on failure.
int open_for_writing(const char* path);

// Write only, an existing file cut to its first `keep_bytes` bytes and
// positioned there, for writing on where an interrupted writer stopped.
// The file must exist and hold at least `keep_bytes`. -1 on failure.
int open_to_continue(const char* path, std::int64_t keep_bytes);

// Reads until `size` bytes or the end of the file. Returns the bytes read
// (fewer than `size` only at the end of the file), or -1 on a read error.
std::int64_t read_full(int fd, void* buffer, std::size_t size);
// Writes all `size` bytes. Returns the bytes written; fewer means the write
// failed (a full volume, an I/O error).
std::int64_t write_full(int fd, const void* buffer, std::size_t size);
// Forces written data to the volume; false on failure.
bool commit_file(int fd);
// 1 at the end of the file (or past it), 0 before it, -1 on error.
int at_end_of_file(int fd);
// Moves `bytes` forward from the current position; false on error.
bool skip_forward(int fd, std::int64_t bytes);
// The current position; -1 on error.
std::int64_t file_position(int fd);

// Renames `from` to `to`, replacing a file of that name in one step, so a
// reader sees the old file or the whole new one, never a part. False on
// failure (both names then stay as they were).
bool replace_file(const char* from, const char* to);
// Deletes a file; true when it is gone (or was never there).
bool remove_file(const char* path);

// Test seam: after `bytes` more bytes have been written through write_full,
// every write fails as on a full volume. A negative value removes the limit.
// Test programs only: it lives with the I/O census (util/io_census_test_support.cpp).
void set_write_budget_for_tests(std::int64_t bytes);

// Test seam: what the medium gives a read-back (read_back) of a file named
// `name` (the last part of its path): the byte at `offset` flipped, or, with
// `fail`, an I/O error for the read that reaches it. An empty name takes the
// fault away. Test programs only, like the write budget.
void set_read_back_fault_for_tests(const char* name, std::int64_t offset, bool fail);

}  // namespace kiroda
