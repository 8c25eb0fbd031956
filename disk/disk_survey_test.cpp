#include "disk/disk_survey.h"

#include <gtest/gtest.h>

#include "disk/faulty_disk_test_support.h"
#include "disk/disk_rules.h"
#include "disk/disk_image_test_support.h"
#include "disk/physical_disk.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::make_mbr;
using test_support::make_mbr_one_partition;
using test_support::mbr_slot;
using test_support::temp_folder;
using test_support::write_image;

class DiskSurvey : public ::testing::Test {
  protected:
    void SetUp() override { clear_disk_paths(); }
    void TearDown() override { clear_disk_paths(); }

    // Registers disk `number` as a fresh image of `sectors` sectors.
    void add_disk(int number, std::uint64_t sectors, const std::vector<unsigned char>& sector0) {
        const std::string path = dir_.file("disk" + std::to_string(number) + ".img");
        write_image(path, sectors, sector0);
        register_disk_path(number, path);
    }

    temp_folder dir_;
};

TEST_F(DiskSurvey, DisksThatOpenFillTheTableWithoutGaps) {
    add_disk(0, 4096, make_mbr_one_partition(2048, 2000));
    add_disk(2, 100, make_mbr({}, false));
    add_disk(9, 100, make_mbr({}));  // never surveyed: only 0 to 7 are
    disk_table table;
    table[5].number = 42;  // a stale entry from an earlier survey
    enumerate_disks(table);

    EXPECT_EQ(table[0].number, 0);
    EXPECT_EQ(table[1].number, 2);
    for (std::size_t i = 2; i < table.size(); ++i) EXPECT_EQ(table[i].number, kNoDisk) << i;
    EXPECT_EQ(find_disk_record(table, 0), 0);
    EXPECT_EQ(find_disk_record(table, 1), -1);
    EXPECT_EQ(find_disk_record(table, 2), 1);
    EXPECT_EQ(find_disk_record(table, 9), -1);
    EXPECT_EQ(find_disk_record(table, 42), -1);

    const disk_record& d0 = table[0];
    EXPECT_EQ(d0.total_sectors, 4096);
    EXPECT_EQ(d0.bytes_per_sector, 512);
    EXPECT_EQ(d0.media_type, kMediaFixed);
    EXPECT_EQ(d0.partition_count, 4);
    EXPECT_EQ(d0.boot_signature_valid, 1);
    EXPECT_EQ(d0.gpt, 0);
    EXPECT_EQ(d0.partition_sectors[0], 2000u);
    EXPECT_EQ(d0.partitions_end, 4048u);
    EXPECT_EQ(source_disk_verdict(d0).verdict, kVerdictUsable);
    EXPECT_EQ(target_disk_verdict(d0).verdict, kVerdictUnusable);

    const disk_record& d2 = table[1];
    EXPECT_EQ(d2.boot_signature_valid, 0);
    EXPECT_EQ(d2.partition_count, 0);
    EXPECT_EQ(source_disk_verdict(d2).verdict, kVerdictUnusable);
    EXPECT_EQ(target_disk_verdict(d2).verdict, kVerdictUsable);
}

TEST_F(DiskSurvey, NoDiskOpens) {
    disk_table table;
    table[0].number = 3;
    enumerate_disks(table);
    for (const auto& r : table) EXPECT_EQ(r.number, kNoDisk);
    EXPECT_EQ(find_disk_record(table, 0), -1);
}

TEST_F(DiskSurvey, AFailedSizeQueryIsASizeOfZero) {
    add_disk(0, 100, make_mbr_one_partition(1, 50));
    disk_faults f;
    f.size_query_fails = true;
    set_disk_faults(0, f);
    disk_record r;
    ASSERT_TRUE(survey_disk(0, &r));
    EXPECT_EQ(r.total_sectors, 0);
    EXPECT_STREQ(format_disk_fields(r, source_disk_verdict(r)).size_mb, "0");
}

TEST_F(DiskSurvey, AFailedLayoutQueryLeavesCountZeroButTakesAllEntries) {
    add_disk(0, 100, make_mbr({mbr_slot{}, {}, {}, mbr_slot{7, 10, 20}}));
    disk_faults f;
    f.layout_query_fails = true;
    set_disk_faults(0, f);
    disk_record r;
    ASSERT_TRUE(survey_disk(0, &r));
    EXPECT_EQ(r.partition_count, 0);
    EXPECT_EQ(r.partition_sectors[3], 20u);
    EXPECT_EQ(source_disk_verdict(r).verdict, kVerdictUnusable);
    EXPECT_EQ(target_disk_verdict(r).verdict, kVerdictUnusable);
}

TEST_F(DiskSurvey, AnUnreadableSectorZeroKeepsTheEntry) {
    add_disk(0, 100, make_mbr_one_partition(1, 50));
    disk_faults f;
    f.fail_read_at = 0;
    set_disk_faults(0, f);
    disk_record r;
    ASSERT_TRUE(survey_disk(0, &r));
    EXPECT_EQ(r.number, 0);
    EXPECT_EQ(r.total_sectors, 100);
    EXPECT_EQ(r.boot_signature_valid, 0);
    EXPECT_EQ(r.partition_sectors[0], 0u);
    EXPECT_EQ(target_disk_verdict(r).verdict, kVerdictUsable);
}

TEST_F(DiskSurvey, AnImageWithAPartialLastSectorCountsWholeSectors) {
    const std::string path = dir_.file("odd.img");
    auto bytes = make_mbr({});
    bytes.resize(512 * 3 + 100, 0);
    test_support::write_file(path, bytes);
    register_disk_path(0, path);
    disk_record r;
    ASSERT_TRUE(survey_disk(0, &r));
    EXPECT_EQ(r.total_sectors, 3);
    EXPECT_EQ(r.boot_signature_valid, 1);
}

TEST_F(DiskSurvey, DisksBeyondSevenCanBeSurveyedOneByOne) {
    add_disk(12, 100, make_mbr({mbr_slot{0xEE, 1, 99}, {}, {}, {}}));
    disk_record r;
    ASSERT_TRUE(survey_disk(12, &r));
    EXPECT_EQ(r.number, 12);
    EXPECT_EQ(r.gpt, 1);
    EXPECT_FALSE(survey_disk(13, &r));
    EXPECT_EQ(r.number, 12);
}

}  // namespace
}  // namespace kiroda
