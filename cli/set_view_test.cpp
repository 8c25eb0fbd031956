#include "cli/set_view.h"

#include <gtest/gtest.h>

#include <string>

#include "cli/cli_test_capture.h"
#include "cli/command.h"
#include "cli/set_commands.h"
#include "disk/disk_test_image.h"
#include "engine/engine_test_support.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

using kiroda::testing::mbr_slot;
using testing::captured_stream;

TEST(SetView, DiskImageThenEveryPartitionWithinTheDisk) {
    kiroda::testing::temp_folder dir;
    // Partition 2 runs one sector past the end of the 5,000-sector disk.
    kiroda::testing::make_disk_image(
        dir.file("disk.img"), 5000,
        kiroda::testing::make_mbr(
            {mbr_slot{0x07, 63, 1000}, mbr_slot{0x83, 2000, 3001}, {}, mbr_slot{0x0C, 1100, 800}}));
    ASSERT_EQ(
        testing::run_command(run_backup_command, {dir.file("disk.img"), dir.file("set")}).status,
        kExitDone);
    set_image image(dir.file("set"), 5000 * 512);
    silent_progress p;
    ASSERT_TRUE(image.open(p));
    captured_stream err;
    const std::vector<view_file> files = view_files(image, err.get());
    std::string listed;
    for (const view_file& f : files) {
        listed += f.name + ":" + std::to_string(f.offset) + "+" + std::to_string(f.size) + " ";
    }
    EXPECT_EQ(listed, "disk.img:0+2560000 part1.img:32256+512000 part4.img:563200+409600 ");
    const std::string warning = err.text();
    EXPECT_NE(warning.find("パーテーション 2 (セクタ 2,000 から 5,001 の手前まで)"),
              std::string::npos)
        << warning;
    EXPECT_NE(warning.find("part2.img はありません"), std::string::npos) << warning;
    ASSERT_NE(find_view_file(files, "part4.img"), nullptr);
    EXPECT_EQ(find_view_file(files, "part4.img")->offset, 1100u * 512);
    EXPECT_EQ(find_view_file(files, "part2.img"), nullptr);
}

}  // namespace
}  // namespace kiroda::cli
