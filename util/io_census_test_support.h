// Test layer: a census of the I/O operations of the file, disk and
// free-space seams. A test counts the operations of a whole run, then runs
// again once per operation with that one failing, to prove that no failure
// anywhere is reported as success. Off unless a test starts it.
//
// The census, the write budget, the read-back fault, the free-space answer
// and the power-cut record are a table of file operations (util/file_io.h)
// wrapped around the platform's own, which every test program's main
// installs (install_io_census); the disk fault layer
// (disk/faulty_disk_test_support.h) counts its operations here too. Product
// programs never link this file, so their seams carry none of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kiroda {

// Installs the census as the file table, around the table installed now.
// Installing it again changes nothing.
void install_io_census();

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

// After `bytes` more bytes have been written through write_full, every
// write fails as on a full volume. A negative value removes the limit.
void set_write_budget_for_tests(std::int64_t bytes);

// What the medium gives a read-back (read_back) of a file named `name` (the
// last part of its path): the byte at `offset` flipped, or, with `fail`, an
// I/O error for the read that reaches it. An empty name takes the fault away.
void set_read_back_fault_for_tests(const char* name, std::int64_t offset, bool fail);

// While set, get_folder_free_bytes answers with `query` instead of asking
// the volume (a nearly full disk without filling one). Empty restores.
void set_free_space_for_tests(std::function<double(const char*)> query);

// For the disk fault layer. Called by each of its operations before it
// acts: counts it, and true when it is the one that must fail.
bool io_census_fails();
// And once it changed a disk, for the power-cut record.
void io_record_disk_written(int disk, std::uint64_t offset, const void* data, std::size_t size);
void io_record_disk_flushed(int disk);

}  // namespace kiroda
