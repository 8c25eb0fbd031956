#include "engine/background_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disk/faulty_disk_test_support.h"
#include "engine/engine_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::make_blank_target;
using test_support::read_file;
using test_support::temp_folder;

class BackgroundWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        make_blank_target(path, 64);
        register_disk_path(2, path);
    }
    void TearDown() override { clear_disk_paths(); }
    temp_folder dir;
    std::string path = dir.file("disk.img");
};

// Runs placed at a sector leave what lies between them untouched (the holes
// of a sparse image stay holes).
TEST_F(BackgroundWriter, RunsPlacedAtASectorLeaveTheGapsAlone) {
    const std::vector<unsigned char> a(2 * 512, 0x0A), b(3 * 512, 0x0B);
    {
        const disk_handle disk = open_physical_disk(2, disk_mode::write);
        background_writer writer(disk);
        ASSERT_TRUE(writer.submit(5, a.data(), 2));
        ASSERT_TRUE(writer.submit(20, b.data(), 3));
        ASSERT_TRUE(writer.submit(23, a.data(), 2));
        EXPECT_TRUE(writer.finish());
    }
    const std::vector<unsigned char> image = read_file(path);
    for (std::size_t s = 0; s < 64; ++s) {
        const unsigned char expected = (s >= 5 && s < 7) || (s >= 23 && s < 25) ? 0x0A
                                       : (s >= 20 && s < 23)                    ? 0x0B
                                                                                : 0xEE;
        EXPECT_EQ(image[s * 512 + 100], expected) << "sector " << s;
    }
}

TEST_F(BackgroundWriter, WritesFollowEachOtherInTheOrderHandedOver) {
    std::vector<std::vector<unsigned char>> runs;
    for (int i = 0; i < 8; ++i)
        runs.emplace_back(512 * (1 + i % 3), static_cast<unsigned char>(i + 1));
    {
        const disk_handle disk = open_physical_disk(2, disk_mode::write);
        background_writer writer(disk);
        std::uint64_t sector = 1;
        for (const auto& run : runs) {
            ASSERT_TRUE(
                writer.submit(sector, run.data(), static_cast<std::uint32_t>(run.size() / 512)));
            sector += run.size() / 512;
        }
        EXPECT_TRUE(writer.finish());
    }
    const std::vector<unsigned char> image = read_file(path);
    std::size_t at = 512;
    for (const auto& run : runs) {
        EXPECT_TRUE(
            std::equal(run.begin(), run.end(), image.begin() + static_cast<std::ptrdiff_t>(at)));
        at += run.size();
    }
    EXPECT_EQ(image[at], 0xEE);
}

TEST_F(BackgroundWriter, AFailedWriteStopsEverythingAfterIt) {
    disk_faults faults;
    faults.fail_write_at = 4;
    std::vector<std::uint64_t> written;
    faults.on_event = [&](const disk_event& e) {
        if (e.kind == disk_event::kWrite && e.ok) written.push_back(e.first_sector);
    };
    set_disk_faults(2, faults);
    const std::vector<unsigned char> run(2 * 512, 0x42);
    const disk_handle disk = open_physical_disk(2, disk_mode::write);
    background_writer writer(disk);
    EXPECT_TRUE(writer.submit(0, run.data(), 2));
    EXPECT_TRUE(writer.submit(2, run.data(), 2));
    EXPECT_TRUE(writer.submit(4, run.data(), 2));   // fails in the background
    EXPECT_FALSE(writer.submit(6, run.data(), 2));  // reports it, writes nothing
    EXPECT_FALSE(writer.submit(0, run.data(), 2));
    EXPECT_FALSE(writer.finish());
    EXPECT_EQ(written, (std::vector<std::uint64_t>{0, 2}));
}

}  // namespace
}  // namespace kiroda
