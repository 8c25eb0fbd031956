#include "app/disk_choice.h"

#include <gtest/gtest.h>

#include <string>

#include "disk/physical_disk.h"
#include "disk/sample_disk_table.h"

namespace kiroda {
namespace {

using kiroda::test_support::disk;
using kiroda::test_support::machine;

TEST(DiskChoice, OpensOnTheFirstDiskOfTheTable) {
    const disk_table t = machine();
    disk_choice c;
    EXPECT_EQ(start_disk_choice(c, disk_role::source, t), 0);
    EXPECT_EQ(c.selection, 0);
    EXPECT_STREQ(c.shown.fields.size_mb, "500,107");
    EXPECT_STREQ(c.shown.fields.partition_mb[0], "1,048");
    EXPECT_EQ(c.shown.verdict.verdict, kVerdictUsable);
    EXPECT_TRUE(c.shown.next_enabled);

    // Without disk 0 the box starts with the disk whose fields it shows.
    disk_table later;
    later[0] = disk(2, 0);
    EXPECT_EQ(start_disk_choice(c, disk_role::target, later), 2);
    EXPECT_EQ(c.selection, 2);
    EXPECT_EQ(c.shown.verdict.verdict, kVerdictUsable);
    EXPECT_FALSE(poll_disk_choice(c, "2").show);

    // An empty table: "0", the fields of an empty record, no way on.
    const disk_table none;
    EXPECT_EQ(start_disk_choice(c, disk_role::target, none), 0);
    EXPECT_EQ(c.shown.verdict.verdict, kVerdictUnusable);
    EXPECT_FALSE(c.shown.next_enabled);
    EXPECT_STREQ(c.shown.fields.size_mb, "0");
    EXPECT_FALSE(press_next(c, "0").end);
}

TEST(DiskChoice, APollShowsTheDiskTheBoxNames) {
    const disk_table t = machine();
    const struct {
        const char* box;
        int selection;
        bool show;
        bool reset_box;
        disk_usability verdict;
        bool next_enabled;
    } steps[] = {
        {"0", 0, false, false, kVerdictUsable, true},  // unchanged: nothing to do
        {"1", 1, true, false, kVerdictWithReservation, true},
        {"1", 1, false, false, kVerdictWithReservation, true},
        {"3", 3, true, false, kVerdictUnusable, false},  // GPT
        // Absent: an empty record, never the fields and button of disk 3.
        {"7", 7, true, true, kVerdictUnusable, false},
        {"0", 0, true, false, kVerdictUsable, true},    // the box was reset
        {"2", 2, true, true, kVerdictUnusable, false},  // the gap in the table
        {"abc", 0, true, false, kVerdictUsable, true},  // letters read as 0
        {" 1x", 1, true, false, kVerdictWithReservation, true},
        {"99999999999", 0, true, false, kVerdictUsable, true},  // too large reads as 0
    };
    disk_choice c;
    start_disk_choice(c, disk_role::source, t);
    for (const auto& s : steps) {
        const disk_choice_step step = poll_disk_choice(c, s.box);
        EXPECT_EQ(c.selection, s.selection) << s.box;
        EXPECT_EQ(step.show, s.show) << s.box;
        EXPECT_EQ(step.reset_box, s.reset_box) << s.box;
        EXPECT_FALSE(step.end) << s.box;
        EXPECT_EQ(c.shown.verdict.verdict, s.verdict) << s.box;
        EXPECT_EQ(c.shown.next_enabled, s.next_enabled) << s.box;
    }
}

TEST(DiskChoice, NextNeverEndsWithADiskOtherThanTheOneShown) {
    const disk_table t = machine();
    disk_choice c;
    start_disk_choice(c, disk_role::source, t);
    // Typed 1 and pressed at once, before a poll: disk 1 is shown, the dialog stays.
    disk_choice_step step = press_next(c, "1");
    EXPECT_FALSE(step.end);
    EXPECT_TRUE(step.show);
    EXPECT_EQ(c.selection, 1);
    // Pressed again with disk 1 shown: it ends with disk 1.
    step = press_next(c, "1");
    EXPECT_TRUE(step.end);
    EXPECT_EQ(c.selection, 1);
    // Typed an absent number over a usable disk: shown empty, stays.
    step = press_next(c, "5");
    EXPECT_FALSE(step.end);
    EXPECT_TRUE(step.reset_box);
    EXPECT_FALSE(press_next(c, "5").end);
    // A refused disk shown: the press is ignored even if it reaches the dialog.
    press_next(c, "3");
    EXPECT_FALSE(press_next(c, "3").end);
}

TEST(DiskChoice, TheRoleChoosesTheRules) {
    const disk_table t = machine();
    disk_choice c;
    start_disk_choice(c, disk_role::target, t);
    EXPECT_EQ(c.shown.verdict.verdict, kVerdictUnusable);  // disk 0 holds a partition
    EXPECT_FALSE(press_next(c, "0").end);
    poll_disk_choice(c, "1");
    EXPECT_EQ(c.shown.verdict.verdict, kVerdictUsable);
    EXPECT_STREQ(c.shown.verdict.mark, "○");
    EXPECT_TRUE(press_next(c, "1").end);
    poll_disk_choice(c, "3");
    EXPECT_STREQ(c.shown.fields.partition_mb[0], kHiddenPartitionSize);
}

TEST(DiskChoice, ReadDiskNumber) {
    const struct {
        const char* text;
        int number;
    } cases[] = {{"0", 0},          {"7", 7},         {"  12", 12}, {"3 ", 3},
                 {"", 0},           {"-1", 0},        {"x1", 0},    {"2147483647", 2147483647},
                 {"2147483648", 0}, {"4294967295", 0}};
    for (const auto& c : cases) EXPECT_EQ(read_disk_number(c.text), c.number) << c.text;
}

TEST(DiskChoice, VerdictColours) {
    EXPECT_EQ(verdict_colour(kVerdictUsable), 0x000000u);
    EXPECT_EQ(verdict_colour(kVerdictWithReservation), 0xCC0000u);  // RGB(0, 0, 204)
    EXPECT_EQ(verdict_colour(kVerdictUnusable), 0x0000FFu);         // RGB(255, 0, 0)
    EXPECT_EQ(verdict_colour(static_cast<disk_usability>(5)), 0x0000FFu);
}

}  // namespace
}  // namespace kiroda
