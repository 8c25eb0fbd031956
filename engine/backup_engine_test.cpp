#include "engine/backup_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ui/recording_sink_test_support.h"
#include "disk/faulty_disk_test_support.h"
#include "engine/data_file.h"
#include "engine/engine_test_support.h"
#include "engine/header_file.h"
#include "format/packed_block.h"
#include "util/file_io.h"
#include "util/free_space.h"
#include "util/io_census_test_support.h"
#include "util/le.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::make_disk_image;
using test_support::make_random_image;
using test_support::read_file;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::temp_folder;
using test_support::write_data_file;

constexpr std::uint64_t kChunk = 32768;  // sectors

class BackupEngine : public ::testing::Test {
  protected:
    void TearDown() override {
        clear_disk_paths();
        set_free_space_for_tests({});
        set_write_budget_for_tests(-1);
    }
    std::string source_image(std::uint64_t sectors) {
        const std::string path = images.file("source.img");
        make_disk_image(path, sectors);
        register_disk_path(0, path);
        return path;
    }
    // Lengths of the blocks of one data file; -1 ends at the first failure.
    std::vector<std::int32_t> block_lengths(const std::string& path) {
        std::vector<std::int32_t> lengths;
        unique_fd fd(open_for_reading(path.c_str()));
        std::vector<unsigned char> buffer(kChunkBytes);
        block_scratch scratch;
        for (;;) {
            const std::int32_t n = read_packed_block(fd.get(), buffer.data(), kChunkBytes, scratch);
            if (n < 0) {
                if (n != kBlockHeaderShort) lengths.push_back(n);
                return lengths;
            }
            lengths.push_back(n);
        }
    }
    temp_folder images;
    temp_folder set;
    recording_progress progress;
};

TEST_F(BackupEngine, SmallDiskGivesOneDataFileWithOneBlock) {
    source_image(160);
    recording_sink sink;
    ASSERT_EQ(backup_disk(progress, 0, set.text().c_str(), 81920), kEngineDone);
    EXPECT_TRUE(sink.seen.empty());
    EXPECT_EQ(block_lengths(set.file("KRD00001.BIN")), std::vector<std::int32_t>{81920});
    EXPECT_FALSE(std::filesystem::exists(set.file("KRD00002.BIN")));
    backup_header h{};
    ASSERT_EQ(read_header_file(nullptr, set.text().c_str(), &h), header_read::read);
    EXPECT_EQ(h.backup_bytes, 81920u);
    EXPECT_EQ(h.source_disk, 0);
    // The data file is read back once it is closed (set_read_back.h).
    EXPECT_EQ(progress.statuses,
              (std::vector<std::string>{"ヘッダファイル作成中", "ディスクバックアップ中",
                                        "書き込み確認中", "バックアップ完了"}));
    EXPECT_EQ(progress.buttons, std::vector<std::string>{"キャンセル"});
    EXPECT_EQ(progress.details, (std::vector<std::string>{"残り 0(MB)", "残り 0(MB)"}));
}

TEST_F(BackupEngine, BlocksAndFilesAtTheEdges) {
    const struct {
        const char* what;
        std::uint64_t sectors;
        std::vector<std::size_t> blocks_per_file;
        std::int32_t last_block;
    } cases[] = {
        {"one sector", 1, {1}, 512},
        {"one chunk minus one sector",
         kChunk - 1,
         {1},
         static_cast<std::int32_t>((kChunk - 1) * 512)},
        {"one chunk", kChunk, {1}, kChunkBytes},
        {"not a multiple of the chunk", 2 * kChunk + 77, {3}, 77 * 512},
        {"sixty chunks", 60 * kChunk, {60}, kChunkBytes},
        {"sixty chunks and one sector", 60 * kChunk + 1, {60, 1}, 512},
    };
    for (const auto& c : cases) {
        temp_folder out;
        source_image(c.sectors);
        recording_sink sink;
        ASSERT_EQ(backup_disk(progress, 0, out.text().c_str(), c.sectors * 512), kEngineDone)
            << c.what;
        for (std::size_t f = 0; f < c.blocks_per_file.size(); ++f) {
            char path[4096];
            ASSERT_TRUE(
                data_file_path(out.text().c_str(), static_cast<int>(f + 1), path, sizeof path));
            const auto lengths = block_lengths(path);
            ASSERT_EQ(lengths.size(), c.blocks_per_file[f]) << c.what << " file " << f + 1;
            if (f + 1 == c.blocks_per_file.size()) {
                EXPECT_EQ(lengths.back(), c.last_block) << c.what;
            }
        }
        char next[4096];
        data_file_path(out.text().c_str(), static_cast<int>(c.blocks_per_file.size() + 1), next,
                       sizeof next);
        EXPECT_FALSE(std::filesystem::exists(next)) << c.what;
    }
}

TEST_F(BackupEngine, PartialLastSectorIsLeftOutAndTheHeaderSaysSo) {
    source_image(10);
    recording_sink sink;
    ASSERT_EQ(backup_disk(progress, 0, set.text().c_str(), 10 * 512 - 1), kEngineDone);
    backup_header h{};
    ASSERT_EQ(read_header_file(nullptr, set.text().c_str(), &h), header_read::read);
    EXPECT_EQ(h.backup_bytes, 9 * 512u);
    EXPECT_EQ(block_lengths(set.file("KRD00001.BIN")), std::vector<std::int32_t>{9 * 512});
}

TEST_F(BackupEngine, ADiskSmallerThanASectorIsRefusedBeforeAnythingIsWritten) {
    source_image(1);
    recording_sink sink;
    EXPECT_EQ(backup_disk(progress, 0, set.text().c_str(), 511), kEngineFailed);
    EXPECT_EQ(sink.seen.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(set.path()));
}

TEST_F(BackupEngine, AnOlderLongerDataFileIsReplaced) {
    source_image(1);
    // Two valid blocks from an earlier backup into the same folder.
    write_data_file(set.file("KRD00001.BIN"),
                    {std::vector<unsigned char>(512, 1), std::vector<unsigned char>(512, 2)});
    recording_sink sink;
    ASSERT_EQ(backup_disk(progress, 0, set.text().c_str(), 512), kEngineDone);
    EXPECT_EQ(block_lengths(set.file("KRD00001.BIN")), std::vector<std::int32_t>{512});
}

TEST_F(BackupEngine, FailuresEndWithTheirMessageAndNoSuccess) {
    const std::uint64_t sectors = 3 * kChunk;
    struct fault {
        const char* what;
        std::int64_t read_fails_at;
        double free_bytes;  // < -10: the real volume
        std::int64_t file_budget;
        const char* message_part;  // a piece of the expected message; nullptr: the folder
        bool data_file_expected;
    };
    const fault cases[] = {
        {"read fails in the second chunk", static_cast<std::int64_t>(kChunk + 5), -100, -1,
         "残りｾｸﾀ      = 65536(Sect)", true},
        {"free space query fails", -1, -1.0, -1, nullptr, false},
        {"no free space", -1, 0.5, -1, nullptr, false},
        {"free space below what the file needs", -1, 1000.0, -1, "1,000", false},
        {"data file write comes up short", -1, -100, 8192 + 100, "(コード -1", true},
    };
    for (const auto& c : cases) {
        temp_folder out;
        const std::string image = source_image(sectors);
        if (c.read_fails_at >= 0) {
            disk_faults faults;
            faults.fail_read_at = c.read_fails_at;
            set_disk_faults(0, faults);
        }
        if (c.free_bytes > -10) {
            const double free_bytes = c.free_bytes;
            set_free_space_for_tests([free_bytes](const char*) { return free_bytes; });
        } else {
            set_free_space_for_tests({});
        }
        set_write_budget_for_tests(c.file_budget);
        // An unreadable sector is first a question; Cancel keeps today's
        // read error.
        recording_sink sink({kIdCancel});
        EXPECT_EQ(backup_disk(progress, 0, out.text().c_str(), sectors * 512), kEngineFailed)
            << c.what;
        set_write_budget_for_tests(-1);
        ASSERT_EQ(sink.seen.size(), c.read_fails_at >= 0 ? 2u : 1u) << c.what;
        const std::string part = c.message_part != nullptr ? c.message_part : out.text();
        EXPECT_NE(sink.seen.back().text.find(part), std::string::npos)
            << c.what << ": " << sink.seen.back().text;
        EXPECT_NE(progress.statuses.back(), "バックアップ完了") << c.what;
        EXPECT_EQ(std::filesystem::exists(out.file("KRD00001.BIN")), c.data_file_expected)
            << c.what;
    }
}

TEST_F(BackupEngine, WriteFailureNamesTheBlockWriterResult) {
    source_image(kChunk);
    // Header (8192 bytes) and 10 bytes of the first block fit.
    set_write_budget_for_tests(8192 + 10);
    recording_sink sink;
    EXPECT_EQ(backup_disk(progress, 0, set.text().c_str(), kChunk * 512), kEngineFailed);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_NE(sink.seen[0].text.find("KRD00001.BIN"), std::string::npos);
    EXPECT_NE(sink.seen[0].text.find("(コード -14)"), std::string::npos) << sink.seen[0].text;
}

TEST_F(BackupEngine, ExactlySixtyChunksFreeIsNotEnoughForSixtyIncompressibleBlocks) {
    // The free-space test counts the block headers too: with 60 x 16 MiB free
    // the 60th block would fail as a write error halfway; it must be refused
    // up front with the disk-full message.
    source_image(61 * kChunk);
    set_free_space_for_tests([](const char*) { return 1006632960.0; });
    recording_sink sink;
    EXPECT_EQ(backup_disk(progress, 0, set.text().c_str(), 61 * kChunk * 512), kEngineFailed);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_NE(sink.seen[0].text.find("1,006,632,960"), std::string::npos) << sink.seen[0].text;
    EXPECT_FALSE(std::filesystem::exists(set.file("KRD00001.BIN")));
}

TEST_F(BackupEngine, ALastShortFileNeedsOnlyWhatItHolds) {
    source_image(4);
    set_free_space_for_tests([](const char*) { return 4.0 * 512 + 32; });
    recording_sink sink;
    EXPECT_EQ(backup_disk(progress, 0, set.text().c_str(), 4 * 512), kEngineDone);
    EXPECT_TRUE(sink.seen.empty());
}

TEST_F(BackupEngine, StopEndsWithoutAMessageAndLeavesTheFilesWritten) {
    source_image(4 * kChunk);
    progress.stop_at_detail = 3;
    recording_sink sink;
    EXPECT_EQ(backup_disk(progress, 0, set.text().c_str(), 4 * kChunk * 512), kEngineFailed);
    EXPECT_TRUE(sink.seen.empty());
    EXPECT_EQ(progress.details.size(), 3u);
    // The third chunk was read but not written: the stop is seen right after the read.
    EXPECT_EQ(block_lengths(set.file("KRD00001.BIN")).size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(set.file("KRD00000.BIN")));
}

TEST_F(BackupEngine, AStopBeforeTheWorkerStartsIsNotLost) {
    source_image(4 * kChunk);
    progress.request_stop();
    recording_sink sink;
    EXPECT_EQ(backup_disk(progress, 0, set.text().c_str(), 4 * kChunk * 512), kEngineFailed);
    EXPECT_FALSE(std::filesystem::exists(set.file("KRD00001.BIN")));
}

TEST_F(BackupEngine, UnopenableSourceAndFolder) {
    recording_sink sink;
    EXPECT_EQ(backup_disk(progress, 5, set.text().c_str(), 512), kEngineFailed);  // no disk 5
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_NE(sink.seen[0].text.find("5"), std::string::npos);
    source_image(8);
    recording_sink sink2;
    EXPECT_EQ(backup_disk(progress, 0, set.file("missing").c_str(), 4096), kEngineFailed);
    EXPECT_EQ(sink2.seen.size(), 1u);  // the header file's own message
}

TEST_F(BackupEngine, IncompressibleDataIsStoredAndReadsBack) {
    const std::string image = images.file("random.img");
    make_random_image(image, 300, 11);
    register_disk_path(0, image);
    recording_sink sink;
    ASSERT_EQ(backup_disk(progress, 0, set.text().c_str(), 300 * 512), kEngineDone);
    const std::vector<unsigned char> file = read_file(set.file("KRD00001.BIN"));
    ASSERT_EQ(file.size(), 32 + 300 * 512u);
    EXPECT_EQ(load_le32(file.data() + 8), 0u);  // stored
    const std::vector<unsigned char> disk = read_file(image);
    EXPECT_TRUE(std::equal(disk.begin(), disk.end(), file.begin() + 32));
}

}  // namespace
}  // namespace kiroda
