#include "disk/faulty_disk_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace kiroda {
namespace {

class DiskFaults : public ::testing::Test {
  protected:
    void SetUp() override { clear_disk_paths(); }
    void TearDown() override { clear_disk_paths(); }
};

TEST_F(DiskFaults, FaultsOfAnUnregisteredNumberAreIgnored) {
    disk_faults f;
    f.fail_read_at = 0;
    set_disk_faults(3, f);
    register_disk_path(3, "three.img");
    EXPECT_FALSE(read_fault_hits(3, 0, 1));
}

TEST_F(DiskFaults, AReadFaultHitsEveryTransferThatTouchesItsSector) {
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

TEST_F(DiskFaults, TheWriteBudgetRunsOutAcrossWrites) {
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

TEST_F(DiskFaults, EventsGoToTheDisksListener) {
    register_disk_path(0, "a.img");
    register_disk_path(1, "b.img");
    std::vector<disk_event> seen;
    disk_faults f;
    f.on_event = [&seen](const disk_event& e) { seen.push_back(e); };
    set_disk_faults(0, f);
    report_disk_event(0, disk_event{disk_event::kFlush, disk_mode::write, 0, 0, true});
    report_disk_event(1, disk_event{disk_event::kFlush, disk_mode::write, 0, 0, true});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, disk_event::kFlush);
}

}  // namespace
}  // namespace kiroda
