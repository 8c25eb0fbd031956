// The fault census: every I/O operation of a whole backup, data test and
// restore (files, disks, free space) is failed in turn. No run may report
// success, each shows exactly one message, a failed backup leaves nothing a
// data test takes for a complete set, and a failed restore never writes
// sector 0 before the failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "disk/faulty_disk_test_support.h"
#include "disk/disk_image_test_support.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "engine/restore_engine.h"
#include "engine/verify_engine.h"
#include "format/set_digests.h"
#include "format/source_disk.h"
#include "ui/recording_sink_test_support.h"
#include "util/io_census_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

namespace fs = std::filesystem;
using test_support::first_sector;
using test_support::make_blank_target;
using test_support::make_disk_image;
using test_support::read_file;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::same_file;
using test_support::temp_folder;

constexpr std::uint64_t kSectors = 2 * 32768 + 77;  // three blocks
constexpr std::uint64_t kBytes = kSectors * 512;
constexpr int kSource = 0;
constexpr int kTarget = 1;

bool mentions_digest_file(const recording_sink& sink) {
    return sink.seen.size() == 1 && sink.seen[0].text.find(kDigestFileName) != std::string::npos;
}

class FaultCensus : public ::testing::Test {
  protected:
    void SetUp() override {
        make_disk_image(source, kSectors, test_support::make_mbr_one_partition(2048, 1000));
        register_disk_path(kSource, source);
        recording_progress p;
        ASSERT_EQ(backup_disk(p, kSource, good.text().c_str(), kBytes), kEngineDone);
    }
    void TearDown() override {
        stop_io_census();
        clear_disk_paths();
    }
    // The data files of `folder` are those of the good set (the headers
    // differ in their time).
    bool same_data_as_good(const fs::path& folder) const {
        for (const char* name : {"KRD00001.BIN"}) {
            if (read_file((folder / name).string()) != read_file(good.file(name))) return false;
        }
        return true;
    }

    temp_folder images;
    temp_folder good;
    std::string source = images.file("source.img");
};

TEST_F(FaultCensus, Backup) {
    temp_folder work;
    auto run = [&](std::int64_t fail_at, const fs::path& folder) {
        fs::create_directories(folder);
        recording_progress p;
        // With the source's record, as krdtool writes it: one more side
        // file whose every operation must fail the backup too.
        backup_options options;
        options.source_disk_record = "KIRODA source 1\nbytes " + std::to_string(kBytes) + "\nend\n";
        start_io_census(fail_at);
        const int result = backup_disk(p, kSource, folder.string().c_str(), kBytes, options);
        return std::make_pair(result, stop_io_census());
    };
    std::int64_t n = 0;
    {
        const auto [result, count] = run(0, work.path() / "count");
        ASSERT_EQ(result, kEngineDone);
        n = count;
    }
    ASSERT_GT(n, 10);
    for (std::int64_t k = 1; k <= n; ++k) {
        const fs::path folder = work.path() / ("run" + std::to_string(k));
        recording_sink sink({kIdCancel});
        const int result = run(k, folder).first;
        if (result == kEngineDone) {
            // A failed read of the source is read again, piece by piece, and
            // this one failed once only: the set must be whole and right.
            EXPECT_TRUE(sink.seen.empty()) << "operation " << k;
            EXPECT_TRUE(same_data_as_good(folder)) << "operation " << k;
            EXPECT_TRUE(fs::exists(folder / kDigestFileName)) << "operation " << k;
            continue;
        }
        EXPECT_EQ(sink.seen.size(), 1u) << "operation " << k << " of " << n;
        // What is left is no set a data test passes, unless every data file
        // is whole and right and only the digest file is missing (a failure
        // at the very end: the commit of the last file, the digest file).
        recording_progress p;
        recording_sink quiet({kIdCancel});
        if (verify_backup_set(p, folder.string().c_str(), kBytes) == kEngineDone) {
            EXPECT_TRUE(same_data_as_good(folder)) << "operation " << k;
            EXPECT_FALSE(fs::exists(folder / kDigestFileName)) << "operation " << k;
        }
        EXPECT_FALSE(fs::exists(folder / kDigestTempName)) << "operation " << k;
        EXPECT_FALSE(fs::exists(folder / kSourceDiskTempName)) << "operation " << k;
    }
    std::printf("backup: %lld operations, each failed in turn\n", static_cast<long long>(n));
}

TEST_F(FaultCensus, Verify) {
    std::int64_t n = 0;
    {
        recording_progress p;
        start_io_census(0);
        ASSERT_EQ(verify_backup_set(p, good.text().c_str(), kBytes), kEngineDone);
        n = stop_io_census();
    }
    ASSERT_GT(n, 5);
    for (std::int64_t k = 1; k <= n; ++k) {
        recording_progress p;
        recording_sink sink({kIdCancel});
        start_io_census(k);
        const int result = verify_backup_set(p, good.text().c_str(), kBytes);
        stop_io_census();
        EXPECT_EQ(sink.seen.size(), 1u) << "operation " << k;
        // A digest file that cannot be read is reported and the test goes
        // on with the structure checks: the one way to pass.
        if (result == kEngineDone) {
            EXPECT_TRUE(mentions_digest_file(sink)) << "operation " << k;
        }
    }
    std::printf("verify: %lld operations, each failed in turn\n", static_cast<long long>(n));
}

TEST_F(FaultCensus, Restore) {
    const std::string target = images.file("target.img");
    std::int64_t n = 0;
    std::int64_t sector0_at = 0;  // the operation that writes sector 0
    auto prepare = [&](std::int64_t* written_at) {
        make_blank_target(target, kSectors);
        register_disk_path(kTarget, target);
        disk_faults faults;
        faults.on_event = [written_at](const disk_event& e) {
            if (e.kind == disk_event::kWrite && e.first_sector == 0 && e.ok && *written_at == 0) {
                *written_at = io_census_count();
            }
        };
        set_disk_faults(kTarget, faults);
    };
    {
        prepare(&sector0_at);
        recording_progress p;
        start_io_census(0);
        ASSERT_EQ(restore_disk(p, kTarget, good.text().c_str(), kBytes), kEngineDone);
        n = stop_io_census();
    }
    ASSERT_GT(sector0_at, 0);
    // The look-ahead's open of the data file: a file it cannot open is left
    // to the walk, which opens it again and restores the disk.
    int unseen = 0;
    for (std::int64_t k = 1; k <= n; ++k) {
        std::int64_t written_at = 0;
        prepare(&written_at);
        recording_progress p;
        recording_sink sink({kIdCancel});
        start_io_census(k);
        const int result = restore_disk(p, kTarget, good.text().c_str(), kBytes);
        stop_io_census();
        if (result == kEngineDone && sink.seen.empty() && same_file(source, target)) {
            ++unseen;
            continue;
        }
        EXPECT_EQ(sink.seen.size(), 1u) << "operation " << k;
        if (result == kEngineDone) {
            EXPECT_TRUE(mentions_digest_file(sink)) << "operation " << k;
            EXPECT_TRUE(same_file(source, target)) << "operation " << k;
        } else if (k < sector0_at) {
            EXPECT_EQ(written_at, 0) << "operation " << k;
            EXPECT_EQ(first_sector(target), std::vector<unsigned char>(512, 0xEE))
                << "operation " << k;
        }
    }
    EXPECT_EQ(unseen, 1);
    std::printf(
        "restore: %lld operations, each failed in turn (sector 0 written by operation %lld)\n",
        static_cast<long long>(n), static_cast<long long>(sector0_at));
}

}  // namespace
}  // namespace kiroda
