#include "disk/faulty_disk_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace kiroda {
namespace {

// A registered disk with what the test layer keeps beside it.
struct disk_with_faults : registered_disk {
    bool size_query_fails = false;
};

using kiroda::find_registered_disk;
bool find_registered_disk(int number, disk_with_faults* disk) {
    if (!find_registered_disk(number, static_cast<registered_disk*>(disk))) return false;
    disk_faults f;
    disk->size_query_fails = find_disk_faults(number, &f) && f.size_query_fails;
    return true;
}

class DiskRegistry : public ::testing::Test {
  protected:
    void SetUp() override { clear_disk_paths(); }
    void TearDown() override { clear_disk_paths(); }
};

TEST_F(DiskRegistry, PathsAreFoundByNumberAndReplaced) {
    register_disk_path(0, "zero.img");
    register_disk_path(12, "twelve.img");
    register_disk_path(-1, "never.img");
    disk_with_faults d;
    ASSERT_TRUE(find_registered_disk(12, &d));
    EXPECT_EQ(d.path, "twelve.img");
    EXPECT_FALSE(find_registered_disk(1, &d));
    EXPECT_FALSE(find_registered_disk(-1, &d));

    disk_faults f;
    f.size_query_fails = true;
    set_disk_faults(0, f);
    ASSERT_TRUE(find_registered_disk(0, &d));
    EXPECT_TRUE(d.size_query_fails);
    // Registering again forgets the faults.
    register_disk_path(0, "other.img");
    ASSERT_TRUE(find_registered_disk(0, &d));
    EXPECT_EQ(d.path, "other.img");
    EXPECT_FALSE(d.size_query_fails);

    clear_disk_paths();
    EXPECT_FALSE(find_registered_disk(0, &d));
}

}  // namespace
}  // namespace kiroda
