// Test seam: a census of the I/O operations of the file, disk and
// free-space seams. A test counts the operations of a whole run, then runs
// again once per operation with that one failing, to prove that no failure
// anywhere is reported as success. Off unless a test starts it.
#pragma once

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
bool io_census_fails();

}  // namespace kiroda
