// The main of the test programs that have no disks: the file table with the
// I/O census around it is installed before the first test, so no test can
// run without it.
#include <gtest/gtest.h>

#include "util/io_census_test_support.h"

int main(int argc, char** argv) {
    kiroda::install_io_census();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
