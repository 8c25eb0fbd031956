// Test seam: a census of the I/O operations of the file, disk and
// free-space seams. A test counts the operations of a whole run, then runs
// again once per operation with that one failing, to prove that no failure
// anywhere is reported as success. Off unless a test starts it.
//
// Only test programs have a census. They link the file and free-space seams
// compiled a second time with KIRODA_IO_CENSUS (util/CMakeLists.txt), along
// with io_census_test_support.cpp; every other program's seams are compiled without it,
// where the hook is a constant false and each check of it folds away: no
// call, no load, no branch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kiroda {

// Starts counting from zero; the operation numbered `fail_at` (1-based)
// fails, none when it is 0.
void start_io_census(std::int64_t fail_at);
// Stops counting and failing; returns the operations counted.
std::int64_t stop_io_census();

// Operations counted so far.
std::int64_t io_census_count();

// The power-cut record: while it runs, every change an operation of the
// file and disk seams made to what a volume or a disk keeps is noted, in
// the order the operations returned, with the bytes written. A test builds
// from it the states a power cut at any point may leave behind. Off unless
// a test starts it; it fails nothing and counts nothing.
struct io_change {
    enum kind_t {
        created,        // open_for_writing: `path` created, or cut to nothing when it was there
        continued,      // open_to_continue: `path` cut to `offset` bytes, to be written on
        written,        // `bytes` at `offset` of open file `file`
        committed,      // open file `file` forced to the volume
        renamed,        // `path` renamed to `to`, replacing it
        folder_synced,  // the folder `path` (its names) forced to the volume
        removed,        // `path` deleted
        disk_written,   // `bytes` at byte `offset` of disk `file` (its number)
        disk_flushed,   // disk `file` flushed
    };
    kind_t kind = created;
    // The open file (numbered from 1 by each open of the record: created and
    // continued say which number they began), or the disk.
    int file = 0;
    std::string path;
    std::string to;
    std::int64_t offset = 0;
    std::vector<unsigned char> bytes;
};

void start_io_record();
// Stops the record; returns the changes noted since it started.
std::vector<io_change> stop_io_record();

// Called by each operation of the seams before it acts: counts it, and
// true when it is the one that must fail.
// And by write_full: how many of `size` bytes the write budget lets through
// (set_write_budget_for_tests in util/file_io.h; all when there is none).
// And by open_for_reading_back and read_back: the fault a test set for the
// read-backs of a file (set_read_back_fault_for_tests) follows the
// descriptor opened for it, and read_back hands every read to the census,
// which may flip a byte of it or turn it into a failure (-1).
#if defined(KIRODA_IO_CENSUS)
bool io_census_fails();
std::size_t io_census_write_allowance(std::size_t size);
void io_census_opened_for_read_back(int fd, const char* path);
std::int64_t io_census_read_back(int fd, void* data, std::int64_t got, std::int64_t offset);
// And by the operations that change a volume or a disk, once they did, for
// the power-cut record: `keep` is the length open_to_continue kept (-1 for
// open_for_writing), `offset` of a file write its position before it.
void io_record_opened(int fd, const char* path, std::int64_t keep);
void io_record_written(int fd, std::int64_t offset, const void* data, std::size_t size);
void io_record_committed(int fd);
void io_record_renamed(const char* from, const char* to);
void io_record_folder_synced(const char* folder);
void io_record_removed(const char* path);
void io_record_disk_written(int disk, std::uint64_t offset, const void* data, std::size_t size);
void io_record_disk_flushed(int disk);
// True while the record runs (a write's position is asked only then).
bool io_recording();
#else
namespace {
// Internal linkage: no program ever holds these and the functions above as
// one entity.
constexpr bool io_census_fails() {
    return false;
}
constexpr std::size_t io_census_write_allowance(std::size_t size) {
    return size;
}
constexpr void io_census_opened_for_read_back(int, const char*) {}
constexpr std::int64_t io_census_read_back(int, void*, std::int64_t got, std::int64_t) {
    return got;
}
constexpr void io_record_opened(int, const char*, std::int64_t) {}
constexpr void io_record_written(int, std::int64_t, const void*, std::size_t) {}
constexpr void io_record_committed(int) {}
constexpr void io_record_renamed(const char*, const char*) {}
constexpr void io_record_folder_synced(const char*) {}
constexpr void io_record_removed(const char*) {}
constexpr void io_record_disk_written(int, std::uint64_t, const void*, std::size_t) {}
constexpr void io_record_disk_flushed(int) {}
constexpr bool io_recording() {
    return false;
}
}  // namespace
#endif

}  // namespace kiroda
