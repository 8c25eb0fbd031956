#include "engine/restore_target.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disk/faulty_disk_test_support.h"
#include "disk/disk_image_test_support.h"
#include "engine/engine_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::make_mbr;
using test_support::make_mbr_one_partition;
using test_support::mbr_slot;
using test_support::temp_folder;
using test_support::write_file;

TEST(RestoreTarget, OnlyAnEmptyDiskLargeEnoughPasses) {
    temp_folder dir;
    const struct {
        const char* what;
        std::uint64_t sectors;
        std::vector<unsigned char> sector0;  // empty: 0xEE filler, no signature
        bool size_fails;
        target_verdict verdict;
    } cases[] = {
        {"never partitioned", 64, {}, false, target_verdict::ok},
        {"empty table", 64, make_mbr({mbr_slot{}, {}, {}, {}}), false, target_verdict::ok},
        {"type set but no sectors", 64, make_mbr({mbr_slot{0x07, 63, 0}, {}, {}, {}}), false,
         target_verdict::ok},
        {"a partition", 64, make_mbr_one_partition(1, 8), false, target_verdict::has_partitions},
        {"a partition in the last slot", 64, make_mbr({mbr_slot{}, {}, {}, mbr_slot{0, 0, 1}}),
         false, target_verdict::has_partitions},
        {"entries but no signature", 64,
         make_mbr(std::array<mbr_slot, 4>{mbr_slot{7, 1, 8}, {}, {}, {}}, false), false,
         target_verdict::ok},
        {"one sector too small", 63, {}, false, target_verdict::too_small},
        {"size query fails", 64, {}, true, target_verdict::too_small},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file("t.img");
        std::vector<unsigned char> disk(c.sectors * 512, 0xEE);
        std::copy(c.sector0.begin(), c.sector0.end(), disk.begin());
        write_file(path, disk);
        register_disk_path(3, path);
        disk_faults faults;
        faults.size_query_fails = c.size_fails;
        set_disk_faults(3, faults);
        EXPECT_EQ(check_restore_target(3, 64 * 512).verdict, c.verdict) << c.what;
    }
    EXPECT_EQ(check_restore_target(4, 512).verdict, target_verdict::cannot_open);
    // A byte count beyond the signed range never fits.
    EXPECT_EQ(check_restore_target(3, ~0ULL - 511).verdict, target_verdict::too_small);
    clear_disk_paths();
}

TEST(RestoreTarget, TellsTheSizeAndThePartitionsItFound) {
    temp_folder dir;
    const std::string path = dir.file("t.img");
    std::vector<unsigned char> disk(64 * 512, 0);
    const auto mbr = make_mbr({mbr_slot{7, 1, 8}, {}, {}, mbr_slot{0x83, 20, 4294967295u}});
    std::copy(mbr.begin(), mbr.end(), disk.begin());
    write_file(path, disk);
    register_disk_path(3, path);
    const target_check used = check_restore_target(3, 512);
    EXPECT_EQ(used.verdict, target_verdict::has_partitions);
    EXPECT_EQ(used.disk_bytes, 64 * 512);
    EXPECT_EQ(used.partition_bytes[0], 8u * 512);
    EXPECT_EQ(used.partition_bytes[1], 0u);
    EXPECT_EQ(used.partition_bytes[3], 4294967295ULL * 512);  // in 64 bits
    const target_check small = check_restore_target(3, 65 * 512);
    EXPECT_EQ(small.verdict, target_verdict::too_small);
    EXPECT_EQ(small.value, 64 * 512);
    write_file(path, std::vector<unsigned char>(64 * 512, 0));
    const target_check empty = check_restore_target(3, 64 * 512);
    EXPECT_EQ(empty.verdict, target_verdict::ok);
    EXPECT_EQ(empty.disk_bytes, 64 * 512);
    clear_disk_paths();
}

}  // namespace
}  // namespace kiroda
