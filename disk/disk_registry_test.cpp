#include "disk/disk_registry.h"

#include <gtest/gtest.h>

#include <vector>

namespace kiroda {
namespace {

class DiskRegistry : public ::testing::Test {
  protected:
    void SetUp() override { clear_disk_paths(); }
    void TearDown() override { clear_disk_paths(); }
};

TEST_F(DiskRegistry, PathsAreFoundByNumberAndReplaced) {
    register_disk_path(0, "zero.img");
    register_disk_path(12, "twelve.img");
    register_disk_path(-1, "never.img");
    registered_disk d;
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

TEST_F(DiskRegistry, FaultsOfAnUnregisteredNumberAreIgnored) {
    disk_faults f;
    f.fail_read_at = 0;
    set_disk_faults(3, f);
    register_disk_path(3, "three.img");
    EXPECT_FALSE(read_fault_hits(3, 0, 1));
}

TEST_F(DiskRegistry, AReadFaultHitsEveryTransferThatTouchesItsSector) {
    register_disk_path(0, "a.img");
    disk_faults f;
    f.fail_read_at = 100;
    set_disk_faults(0, f);
    struct row {
        std::uint64_t first;
        std::uint32_t count;
        bool hits;
    };
    const row rows[] = {{100, 1, true},   {99, 2, true},   {0, 101, true}, {0, 100, false},
                        {101, 50, false}, {100, 0, false}, {99, 1, false}};
    for (const auto& r : rows) {
        EXPECT_EQ(read_fault_hits(0, r.first, r.count), r.hits) << r.first << "+" << r.count;
    }
}

TEST_F(DiskRegistry, TheWriteBudgetRunsOutAcrossWrites) {
    register_disk_path(0, "a.img");
    disk_faults f;
    f.write_budget_sectors = 10;
    set_disk_faults(0, f);
    EXPECT_EQ(take_write_allowance(0, 0, 4), 4u);
    EXPECT_EQ(take_write_allowance(0, 4, 4), 4u);
    EXPECT_EQ(take_write_allowance(0, 8, 4), 2u);
    EXPECT_EQ(take_write_allowance(0, 12, 4), 0u);
    // Other disks are not limited.
    EXPECT_EQ(take_write_allowance(1, 0, 4), 4u);
}

TEST_F(DiskRegistry, EventsGoToTheDisksListener) {
    register_disk_path(0, "a.img");
    register_disk_path(1, "b.img");
    std::vector<disk_event> seen;
    disk_faults f;
    f.on_event = [&seen](const disk_event& e) { seen.push_back(e); };
    set_disk_faults(0, f);
    report_disk_event(0, disk_event{disk_event::kFlush, 0, 0, 0, true});
    report_disk_event(1, disk_event{disk_event::kFlush, 0, 0, 0, true});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, disk_event::kFlush);
}

}  // namespace
}  // namespace kiroda
