#include "engine/verify_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "disk/disk_registry.h"
#include "engine/engine_test_support.h"
#include "format/packed_block.h"
#include "format/set_digests.h"
#include "ui/recording_sink_test_support.h"
#include "util/io_census_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::read_file;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::temp_folder;
using test_support::write_data_file;
using test_support::write_file;

std::vector<unsigned char> chunk(std::size_t sectors, unsigned char fill) {
    std::vector<unsigned char> c(sectors * 512, 0);
    for (std::size_t i = 0; i < c.size(); i += 97) c[i] = fill;
    return c;
}

constexpr std::uint64_t kSetBytes = kChunkBytes + 3 * 512;

// A set without a digest file, as older programs wrote: one data file of a
// whole chunk and a last block of 3 sectors.
class VerifyEngine : public ::testing::Test {
  protected:
    void SetUp() override {
        write_data_file(set.file("KRD00001.BIN"), {chunk(kChunkSectors, 1), chunk(3, 3)});
    }
    int verify(std::uint64_t bytes = kSetBytes) {
        return verify_backup_set(progress, set.text().c_str(), bytes);
    }
    temp_folder set;
    recording_progress progress;
};

TEST_F(VerifyEngine, ACompleteSetPasses) {
    recording_sink sink;
    EXPECT_EQ(verify(), kEngineDone);
    EXPECT_TRUE(sink.seen.empty());
    EXPECT_EQ(progress.statuses, (std::vector<std::string>{"データテスト中", "テスト完了"}));
    EXPECT_EQ(progress.details.back(), "");
    EXPECT_EQ(progress.details.size(), 3u);  // once per block, then cleared
    EXPECT_EQ(progress.buttons, std::vector<std::string>{"キャンセル"});
}

TEST_F(VerifyEngine, AFlippedPayloadByteNamesTheFileAndTheCheck) {
    std::vector<unsigned char> file = read_file(set.file("KRD00001.BIN"));
    file[file.size() - 3 * 512 + 1] ^= 0x10;  // inside the stored last block
    write_file(set.file("KRD00001.BIN"), file);
    recording_sink sink;
    EXPECT_EQ(verify(), kEngineFailed);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_NE(sink.seen[0].text.find("MeltReadSize = -"), std::string::npos) << sink.seen[0].text;
    EXPECT_NE(sink.seen[0].text.find(set.file("KRD00001.BIN")), std::string::npos);
    EXPECT_EQ(sink.seen[0].type, kMbOk);
}

TEST_F(VerifyEngine, AFileCutInsideABlock) {
    std::vector<unsigned char> file = read_file(set.file("KRD00001.BIN"));
    file.resize(file.size() - 3);
    write_file(set.file("KRD00001.BIN"), file);
    recording_sink sink;
    EXPECT_EQ(verify(), kEngineFailed);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_NE(sink.seen[0].text.find("MeltReadSize = -6"), std::string::npos) << sink.seen[0].text;
}

TEST_F(VerifyEngine, BlocksThatAreNoWholeSectors) {
    const struct {
        const char* what;
        std::vector<unsigned char> chunk;
        const char* expected;
    } cases[] = {
        {"part of a sector", std::vector<unsigned char>(700, 5), "MeltReadSize = 700"},
        {"no data", {}, "バックアップファィルを読めません。\n　　\""},
    };
    for (const auto& c : cases) {
        write_data_file(set.file("KRD00001.BIN"), {c.chunk});
        recording_sink sink;
        EXPECT_EQ(verify(), kEngineFailed) << c.what;
        ASSERT_EQ(sink.seen.size(), 1u) << c.what;
        EXPECT_NE(sink.seen[0].text.find(c.expected), std::string::npos) << sink.seen[0].text;
    }
}

TEST_F(VerifyEngine, AMissingFileIsAskedForUntilItComesOrTheUserGivesUp) {
    const std::string first = set.file("KRD00001.BIN");
    const std::string away = set.file("away.bin");
    std::filesystem::rename(first, away);
    {
        recording_sink sink({kIdCancel});
        EXPECT_EQ(verify(), kEngineFailed);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_EQ(sink.seen[0].type, kMbOkCancel);
        EXPECT_EQ(sink.seen[0].text, "バックアップファィルが見つかりません。\n[" + first +
                                         "]の入ったメディアと交換して下さい。");
    }
    {
        // OK twice with the medium still missing, then the file is back.
        int asked = 0;
        auto previous = set_message_sink([&](const message& m) {
            if (m.type == kMbOkCancel && ++asked == 2) std::filesystem::rename(away, first);
            return kIdOk;
        });
        EXPECT_EQ(verify(), kEngineDone);
        set_message_sink(previous);
        EXPECT_EQ(asked, 2);
    }
}

// What the blocks' own checksums cannot see: a set whose shape does not
// fit its header. Each is named, and nothing asks for another medium.
TEST_F(VerifyEngine, StructureThatDoesNotFitTheHeader) {
    const struct {
        const char* what;
        std::uint64_t header_bytes;
        std::vector<std::vector<unsigned char>> blocks;
        std::vector<unsigned char> appended;
        bool next_file;
        const char* expected;
        outcome result = kEngineFailed;
    } cases[] = {
        {"header claims more: a short block that is not the last",
         kSetBytes + 512,
         {chunk(kChunkSectors, 1), chunk(3, 3)},
         {},
         false,
         "2 番目のブロック"},
        {"header claims less than the blocks",
         kChunkBytes + 512,
         {chunk(kChunkSectors, 1), chunk(3, 3)},
         {},
         false,
         "超えています"},
        {"header ends at a block's end, a block follows",
         kChunkBytes,
         {chunk(kChunkSectors, 1), chunk(3, 3)},
         {},
         false,
         "余分なデータ"},
        {"a short first block",
         kSetBytes,
         {chunk(3, 3), chunk(kChunkSectors, 1)},
         {},
         false,
         "1 番目のブロック"},
        {"bytes after the last block",
         kSetBytes,
         {chunk(kChunkSectors, 1), chunk(3, 3)},
         std::vector<unsigned char>(40, 0),
         false,
         "余分なデータ"},
        // Not part of the set and never read: named, and the test passes.
        {"a data file after the last",
         kSetBytes,
         {chunk(kChunkSectors, 1), chunk(3, 3)},
         {},
         true,
         "KRD00002.BIN",
         kEngineDone},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(set.file("KRD00002.BIN"));
        write_data_file(set.file("KRD00001.BIN"), c.blocks);
        if (!c.appended.empty()) {
            std::vector<unsigned char> file = read_file(set.file("KRD00001.BIN"));
            file.insert(file.end(), c.appended.begin(), c.appended.end());
            write_file(set.file("KRD00001.BIN"), file);
        }
        if (c.next_file) write_data_file(set.file("KRD00002.BIN"), {chunk(1, 1)});
        recording_sink sink({kIdCancel});
        EXPECT_EQ(verify(c.header_bytes), c.result) << c.what;
        ASSERT_EQ(sink.seen.size(), 1u) << c.what;
        EXPECT_EQ(sink.seen[0].type, kMbOk) << c.what;
        EXPECT_NE(sink.seen[0].text.find(c.expected), std::string::npos) << c.what << "\n"
                                                                         << sink.seen[0].text;
    }
}

// The data test asks the medium, not the system's cache: what the backup
// handed over may be in the cache still while the medium lost or changed it.
TEST_F(VerifyEngine, TheMediumIsReadNotTheCache) {
    const struct {
        const char* what;
        std::int64_t offset;  // of the medium's fault in KRD00001.BIN (-1: none)
        bool unreadable;
        const char* expected;  // nullptr: the set passes
    } cases[] = {
        {"a medium that keeps the set", -1, false, nullptr},
        {"a byte flipped in the first block", 4000, false, "MeltReadSize = -"},
        {"a byte flipped in the last block", kChunkBytes + 100, false, "MeltReadSize = -"},
        {"an I/O error in the first block", 300, true, "MeltReadSize = -"},
        {"an I/O error in the last piece", 5 << 20, true, "MeltReadSize = -"},
    };
    std::vector<unsigned char> random(kChunkBytes);
    test_support::fill_random(random.data(), random.size(), 7);  // stored: each byte counts
    write_data_file(set.file("KRD00001.BIN"), {random, chunk(3, 3)});
    for (const auto& c : cases) {
        set_read_back_fault_for_tests(c.offset < 0 ? "" : "KRD00001.BIN", c.offset, c.unreadable);
        recording_sink sink;
        EXPECT_EQ(verify(), c.expected == nullptr ? kEngineDone : kEngineFailed) << c.what;
        set_read_back_fault_for_tests("", 0, false);
        if (c.expected == nullptr) {
            EXPECT_TRUE(sink.seen.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(sink.seen.size(), 1u) << c.what;
        EXPECT_NE(sink.seen[0].text.find(c.expected), std::string::npos) << sink.seen[0].text;
        EXPECT_NE(sink.seen[0].text.find("KRD00001.BIN"), std::string::npos) << c.what;
    }
}

// Data files past the set's last, next to it or after a gap: each is named.
TEST_F(VerifyEngine, EveryStrayDataFileIsNamed) {
    for (const char* name : {"KRD00007.BIN", "KRD00002.BIN"}) {
        write_data_file(set.file(name), {chunk(1, 1)});
    }
    recording_sink sink;
    EXPECT_EQ(verify(), kEngineDone);
    ASSERT_EQ(sink.seen.size(), 2u);
    EXPECT_NE(sink.seen[0].text.find("KRD00002.BIN"), std::string::npos) << sink.seen[0].text;
    EXPECT_NE(sink.seen[1].text.find("KRD00007.BIN"), std::string::npos) << sink.seen[1].text;
}

// A set whose backup was cut after its last block, before its digest file.
TEST_F(VerifyEngine, ASetMarkedUnfinishedFailsThoughEveryBlockIsThere) {
    write_file(set.file(kUnfinishedMarkName), {});
    recording_sink sink;
    EXPECT_EQ(verify(), kEngineFailed);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_NE(sink.seen[0].text.find("完成していません"), std::string::npos) << sink.seen[0].text;
}

TEST_F(VerifyEngine, StopEndsWithZeroAndNoMessage) {
    for (int stop_at : {1, 2}) {
        recording_progress p;
        p.stop_at_detail = stop_at;
        recording_sink sink;
        EXPECT_EQ(verify_backup_set(p, set.text().c_str(), kSetBytes), kEngineStopped) << stop_at;
        EXPECT_TRUE(sink.seen.empty());
        EXPECT_NE(p.statuses.back(), "テスト完了");
    }
}

// The comparison with a disk names the first differing run of sectors.
TEST_F(VerifyEngine, AgainstADisk) {
    temp_folder images;
    const std::string image = images.file("disk.img");
    std::vector<unsigned char> disk = chunk(kChunkSectors, 1);
    const std::vector<unsigned char> last = chunk(3, 3);
    disk.insert(disk.end(), last.begin(), last.end());
    const struct {
        const char* what;
        std::vector<std::size_t> changed_sectors;
        std::size_t extra_bytes;
        const char* expected;  // nullptr: equal
    } cases[] = {
        {"equal", {}, 0, nullptr},
        {"equal, on a larger disk", {}, 4096, nullptr},
        {"two runs differ", {70, 71, 72, 900, kChunkSectors + 1}, 0, "セクタ 70 から 72 まで"},
        {"in the last block", {kChunkSectors + 2}, 0, "セクタ 32,770 から 32,770 まで"},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> bytes = disk;
        for (std::size_t s : c.changed_sectors) bytes[s * 512 + 5] ^= 0xFF;
        bytes.resize(bytes.size() + c.extra_bytes);
        write_file(image, bytes);
        register_disk_path(3, image);
        recording_sink sink;
        const int result =
            verify_backup_set(progress, set.text().c_str(), kSetBytes, verify_options{3});
        if (c.expected == nullptr) {
            EXPECT_EQ(result, kEngineDone) << c.what;
            EXPECT_TRUE(sink.seen.empty()) << c.what;
        } else {
            EXPECT_EQ(result, kEngineFailed) << c.what;
            ASSERT_EQ(sink.seen.size(), 1u) << c.what;
            EXPECT_NE(sink.seen[0].text.find(c.expected), std::string::npos) << c.what << "\n"
                                                                             << sink.seen[0].text;
        }
    }
    // A disk smaller than the set cannot be it.
    write_file(image, std::vector<unsigned char>(disk.begin(), disk.end() - 512));
    recording_sink sink;
    EXPECT_EQ(verify_backup_set(progress, set.text().c_str(), kSetBytes, verify_options{3}),
              kEngineFailed);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_NE(sink.seen[0].text.find("小さい"), std::string::npos);
    clear_disk_paths();
}

}  // namespace
}  // namespace kiroda
