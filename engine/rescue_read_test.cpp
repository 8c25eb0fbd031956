#include "engine/rescue_read.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disk/faulty_disk_test_support.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "engine/restore_engine.h"
#include "engine/set_image.h"
#include "engine/verify_engine.h"
#include "format/bad_sector_map.h"
#include "format/packed_block.h"
#include "ui/recording_sink_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::make_random_image;
using test_support::read_file;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::temp_folder;
using test_support::write_file;

constexpr int kSource = 0;
constexpr int kTarget = 1;
constexpr std::int64_t kChunk = kChunkSectors;

struct rescued {
    int result;
    bad_sector_map map;
    std::int64_t failed_reads;
    std::vector<std::string> messages;
};

class Rescue : public ::testing::Test {
  protected:
    void TearDown() override { clear_disk_paths(); }

    rescued back_up(std::int64_t sectors, const disk_faults& faults, bool rescue,
                    std::vector<int> answers = {}) {
        register_disk_path(kSource, image);
        set_disk_faults(kSource, faults);
        std::filesystem::remove_all(set.path() / "s");
        std::filesystem::create_directories(set.path() / "s");
        recording_progress p;
        recording_sink sink(std::move(answers));
        rescued r;
        r.result = backup_disk(p, kSource, folder().c_str(),
                               static_cast<std::uint64_t>(sectors) * 512, backup_options{rescue});
        r.failed_reads = failed_reads(kSource);
        for (const auto& m : sink.seen) r.messages.push_back(m.text);
        int bad_line = 0;
        EXPECT_NE(read_bad_sector_map(folder().c_str(), &r.map, &bad_line), map_read::unreadable)
            << "line " << bad_line;
        return r;
    }
    std::string folder() const { return (set.path() / "s").string(); }

    temp_folder images, set;
    std::string image = images.file("source.img");
};

std::vector<std::int64_t> lost_sectors(const bad_sector_map& map) {
    std::vector<std::int64_t> lost;
    for (const sector_run& r : map.bad_runs()) {
        for (std::uint64_t s = r.first; s < r.first + r.count; ++s)
            lost.push_back(static_cast<std::int64_t>(s));
    }
    return lost;
}

// Bad sectors where chunks and pieces meet: exactly they are lost, stored
// as zeros, and the restored disk is the source with them zeroed.
TEST_F(Rescue, ExactlyTheBadSectorsAreLost) {
    const std::int64_t sectors = 2 * kChunk + 77;
    make_random_image(image, static_cast<std::uint64_t>(sectors), 3);
    const std::vector<unsigned char> source = read_file(image);
    const struct {
        const char* what;
        std::vector<std::int64_t> bad;
    } cases[] = {
        {"a chunk's first and last sector", {kChunk, 2 * kChunk - 1}},
        {"across two chunks", {kChunk - 1, kChunk}},
        {"in the last, partial chunk", {sectors - 1, 2 * kChunk + 3}},
        {"sector 0", {0}},
        {"a piece boundary", {127, 128, 4095}},
        {"no second handle beside the first (a raw Windows disk)", {40000}},
    };
    for (const auto& c : cases) {
        disk_faults faults;
        faults.bad_sectors = c.bad;
        faults.uncached_open_fails = std::string(c.what).find("second handle") != std::string::npos;
        const rescued r = back_up(sectors, faults, true);
        ASSERT_EQ(r.result, kEngineDone) << c.what;
        // The one message: how many sectors are zeros, and where they are listed.
        ASSERT_EQ(r.messages.size(), 1u) << c.what;
        EXPECT_NE(r.messages[0].find("セクタ " + std::to_string(c.bad.size()) + " 個"),
                  std::string::npos)
            << r.messages[0];
        EXPECT_NE(r.messages[0].find("KRDMAP.TXT"), std::string::npos) << c.what;
        std::vector<std::int64_t> expected = c.bad;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(lost_sectors(r.map), expected) << c.what;
        EXPECT_EQ(r.map.end(), static_cast<std::uint64_t>(sectors)) << c.what;
        EXPECT_EQ(r.map.sectors(sector_state::unreadable), c.bad.size()) << c.what;
        // Each bad sector alone in its piece costs four failed reads at most.
        EXPECT_LE(r.failed_reads, static_cast<std::int64_t>(4 * c.bad.size())) << c.what;

        // The set verifies (its map is recorded in its digests) and restores
        // to the source with the lost sectors zeroed.
        recording_progress v;
        recording_sink quiet;
        EXPECT_EQ(verify_backup_set(v, folder().c_str(), static_cast<std::uint64_t>(sectors) * 512),
                  kEngineDone)
            << c.what;
        const std::string target = images.file("target.img");
        write_file(target, std::vector<unsigned char>(source.size(), 0));
        register_disk_path(kTarget, target);
        recording_progress rp;
        ASSERT_EQ(
            restore_disk(rp, kTarget, folder().c_str(), static_cast<std::uint64_t>(sectors) * 512),
            kEngineDone)
            << c.what;
        std::vector<unsigned char> expected_disk = source;
        for (std::int64_t s : c.bad) std::fill_n(expected_disk.begin() + s * 512, 512, 0);
        EXPECT_TRUE(read_file(target) == expected_disk) << c.what;
    }
}

TEST_F(Rescue, FailingReadsAreBounded) {
    const std::int64_t sectors = 6 * kChunk;
    test_support::make_disk_image(image, static_cast<std::uint64_t>(sectors));
    {
        // A sector that fails once and then reads is not lost.
        disk_faults faults;
        faults.flaky_sector = kChunk + 5;
        const rescued r = back_up(sectors, faults, true);
        EXPECT_EQ(r.result, kEngineDone);
        EXPECT_TRUE(r.map.bad_runs().empty());
        EXPECT_EQ(r.failed_reads, 1);
    }
    {
        // A dead region of 64 MiB (four chunks) from the middle of chunk 1:
        // given up on, and the reads after it are whole again.
        disk_faults faults;
        faults.dead_from = kChunk + 1000;
        faults.dead_to = faults.dead_from + 4 * kChunk;
        const rescued r = back_up(sectors, faults, true);
        EXPECT_EQ(r.result, kEngineDone);
        EXPECT_LE(r.failed_reads, 2048);
        EXPECT_EQ(r.map.sectors(sector_state::unreadable) + r.map.sectors(sector_state::not_tried),
                  static_cast<std::uint64_t>(4 * kChunk));
        EXPECT_EQ(lost_sectors(r.map).front(), kChunk + 1000);
        EXPECT_EQ(lost_sectors(r.map).back(), 5 * kChunk + 999);
    }
    {
        // Every sector dead.
        disk_faults faults;
        faults.dead_from = 0;
        faults.dead_to = sectors;
        const rescued r = back_up(sectors, faults, true);
        EXPECT_EQ(r.result, kEngineDone);
        EXPECT_EQ(r.map.sectors(sector_state::read), 0u);
        EXPECT_LE(r.failed_reads, 2048 * 6 / 4);
    }
}

// Without --rescue the first chunk that does not read is a question, asked
// before its slow sector-by-sector re-read: Cancel is today's read error
// after the chunk failed twice, OK goes on as a rescue.
TEST_F(Rescue, TheFirstUnreadableSectorIsAQuestion) {
    const std::int64_t sectors = 2 * kChunk;
    test_support::make_disk_image(image, static_cast<std::uint64_t>(sectors));
    disk_faults faults;
    faults.bad_sectors = {kChunk + 9};
    const rescued no = back_up(sectors, faults, false, {kIdCancel});
    EXPECT_EQ(no.result, kEngineFailed);
    ASSERT_EQ(no.messages.size(), 2u);
    EXPECT_NE(no.messages[0].find("セクタ 32,768 から 65,535 までの間に"), std::string::npos)
        << no.messages[0];
    EXPECT_EQ(no.failed_reads, 2);  // the chunk, and the chunk once more
    EXPECT_NE(no.messages[1].find("DiskRead"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder() + "/KRDMAP.TXT"));

    const rescued yes = back_up(sectors, faults, false, {kIdOk});
    EXPECT_EQ(yes.result, kEngineDone);
    EXPECT_EQ(yes.messages.size(), 2u);  // the question, and the closing count
    EXPECT_EQ(lost_sectors(yes.map), std::vector<std::int64_t>{kChunk + 9});
}

}  // namespace
}  // namespace kiroda

namespace kiroda {
namespace {

// Sectors stored as zeros (a backup of the used blocks only): long runs
// are never read, so a dead region inside one fails nothing even without
// rescue; short ones are read with their neighbours and zeroed. The set
// holds zeros there, and a comparison with the source that leaves them out
// finds it the same.
TEST_F(Rescue, ZeroRunsAreStoredAsZerosAndLongOnesAreNotRead) {
    struct row {
        std::vector<sector_run> zeros;
        std::int64_t dead_from, dead_to;
        int result;
    };
    const row rows[] = {
        {{{kChunk - 300, 600}}, kChunk - 250, kChunk + 250, kEngineDone},
        {{{10, 2}, {1000, 64}, {kChunk + 5, 200}}, kNoFault, kNoFault, kEngineDone},
        {{{1000, 64}}, 1010, 1011, kEngineFailed},
    };
    const std::int64_t sectors = 2 * kChunk + 77;
    make_random_image(image, static_cast<std::uint64_t>(sectors), 5);
    for (const row& r : rows) {
        register_disk_path(kSource, image);
        disk_faults faults;
        faults.dead_from = r.dead_from;
        faults.dead_to = r.dead_to;
        set_disk_faults(kSource, faults);
        std::filesystem::remove_all(folder());
        std::filesystem::create_directories(folder());
        backup_options options;
        options.ask_to_go_past = false;
        options.zero_runs = r.zeros;
        recording_progress p;
        recording_sink sink;
        ASSERT_EQ(backup_disk(p, kSource, folder().c_str(), sectors * 512ull, options), r.result);
        if (r.result != kEngineDone) continue;
        set_image stored(folder(), sectors * 512ull);
        ASSERT_TRUE(stored.open(p));
        for (const sector_run& z : r.zeros) {
            std::vector<unsigned char> bytes(z.count * 512, 1);
            ASSERT_EQ(stored.read(z.first * 512, bytes.size(), bytes.data()),
                      static_cast<std::int64_t>(bytes.size()));
            EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), static_cast<long>(bytes.size()));
        }
        set_disk_faults(kSource, {});
        verify_options compare;
        compare.against_disk = kSource;
        EXPECT_EQ(verify_backup_set(p, folder().c_str(), sectors * 512ull, compare), kEngineFailed);
        compare.not_compared = &r.zeros;
        EXPECT_EQ(verify_backup_set(p, folder().c_str(), sectors * 512ull, compare), kEngineDone);
    }
}

}  // namespace
}  // namespace kiroda
