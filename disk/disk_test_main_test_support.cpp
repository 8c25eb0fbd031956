// The main of the test programs that drive disks: before the first test it
// installs the file table with the I/O census around it, and the disk table
// of registered paths (image files, on Windows in place of the raw disks)
// with the fault layer around it, so no test can run without them.
#include <gtest/gtest.h>

#include "disk/faulty_disk_test_support.h"
#include "disk/path_disk.h"
#include "util/io_census_test_support.h"

int main(int argc, char** argv) {
    kiroda::install_io_census();
    kiroda::install_disk_faults(kiroda::path_disk::ops());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
