// Test seam: a census of the I/O operations of the file, disk and
// free-space seams. A test counts the operations of a whole run, then runs
// again once per operation with that one failing, to prove that no failure
// anywhere is reported as success. Off unless a test starts it.
//
// Only test programs have a census. They link the file and free-space seams
// compiled a second time with KIRODA_IO_CENSUS (util/CMakeLists.txt), along
// with io_census.cpp; every other program's seams are compiled without it,
// where the hook is a constant false and each check of it folds away: no
// call, no load, no branch.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kiroda {

// Starts counting from zero; the operation numbered `fail_at` (1-based)
// fails, none when it is 0.
void start_io_census(std::int64_t fail_at);
// Stops counting and failing; returns the operations counted.
std::int64_t stop_io_census();

// Operations counted so far.
std::int64_t io_census_count();

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
}  // namespace
#endif

}  // namespace kiroda
