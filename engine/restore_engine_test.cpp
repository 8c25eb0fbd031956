#include "engine/restore_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ui/recording_sink_test_support.h"
#include "disk/faulty_disk_test_support.h"
#include "disk/disk_image_test_support.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "engine/verify_engine.h"
#include "format/packed_block.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::first_sector;
using test_support::make_blank_target;
using test_support::make_disk_image;
using test_support::make_mbr_one_partition;
using test_support::read_file;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::same_file;
using test_support::temp_folder;
using test_support::write_data_file;
using test_support::write_file;

constexpr std::uint64_t kChunk = 32768;
constexpr int kSource = 0;
constexpr int kTarget = 1;

class RestoreEngine : public ::testing::Test {
  protected:
    void TearDown() override { clear_disk_paths(); }

    // Backs up a generated disk of `sectors` into `set`; returns the image path.
    std::string back_up(std::uint64_t sectors) { return back_up(sectors, set); }
    std::string back_up(std::uint64_t sectors, const temp_folder& into) {
        const std::string image = images.file("source.img");
        make_disk_image(image, sectors, make_mbr_one_partition(2048, 1000));
        register_disk_path(kSource, image);
        recording_progress p;
        recording_sink sink;
        EXPECT_EQ(backup_disk(p, kSource, into.text().c_str(), sectors * 512), kEngineDone);
        return image;
    }
    std::string blank_target(std::uint64_t sectors) {
        const std::string path = images.file("target.img");
        make_blank_target(path, sectors);
        register_disk_path(kTarget, path);
        return path;
    }
    // Records every write and flush of the target.
    void record_target(disk_faults faults = {}) {
        faults.on_event = [this](const disk_event& e) {
            if (e.kind != disk_event::kOpen) events.push_back(e);
        };
        set_disk_faults(kTarget, faults);
    }
    bool sector0_written() const {
        for (const auto& e : events) {
            if (e.kind == disk_event::kWrite && e.first_sector == 0) return true;
        }
        return false;
    }
    int restore(std::uint64_t bytes) {
        return restore_disk(progress, kTarget, set.text().c_str(), bytes);
    }

    temp_folder images;
    temp_folder set;
    recording_progress progress;
    std::vector<disk_event> events;
};

TEST_F(RestoreEngine, RoundTripsAtTheEdges) {
    for (std::uint64_t sectors :
         {std::uint64_t{1}, kChunk - 1, kChunk, 2 * kChunk + 77, 60 * kChunk + 1}) {
        temp_folder fresh;
        const std::string source = back_up(sectors, fresh);
        const std::string target = blank_target(sectors);
        recording_progress verify_progress;
        recording_sink sink;
        ASSERT_EQ(verify_backup_set(verify_progress, fresh.text().c_str(), sectors * 512),
                  kEngineDone)
            << sectors;
        ASSERT_EQ(restore_disk(progress, kTarget, fresh.text().c_str(), sectors * 512), kEngineDone)
            << sectors;
        EXPECT_TRUE(sink.seen.empty());
        EXPECT_TRUE(same_file(source, target)) << sectors;
        EXPECT_EQ(progress.statuses.back(), "復旧完了");
        EXPECT_EQ(progress.details.back(), "MBR 復旧中");
    }
}

TEST_F(RestoreEngine, FlushesThenWritesSectorZeroThenFlushes) {
    const std::string source = back_up(3 * kChunk);
    // Read back at the end, and behind the writes: then the target is also
    // flushed after each block but the last, before that block is read back.
    for (const std::uint64_t behind : {std::uint64_t{0}, kChunk * 512}) {
        const std::string target = blank_target(3 * kChunk);
        events.clear();
        record_target();
        recording_sink sink;
        restore_options options;
        options.read_back_behind = behind;
        ASSERT_EQ(restore_disk(progress, kTarget, set.text().c_str(), 3 * kChunk * 512, options),
                  kEngineDone);
        EXPECT_TRUE(same_file(source, target));
        const auto flushes = std::count_if(events.begin(), events.end(), [](const disk_event& e) {
            return e.kind == disk_event::kFlush;
        });
        EXPECT_EQ(flushes, behind == 0 ? 2 : 4);
        ASSERT_GE(events.size(), 4u);
        // Data from sector 1 on, in order, with no seek back before the end.
        EXPECT_EQ(events[0].kind, disk_event::kWrite);
        EXPECT_EQ(events[0].first_sector, 1u);
        EXPECT_EQ(events[0].count, kChunk - 1);
        const auto n = events.size();
        EXPECT_EQ(events[n - 3].kind, disk_event::kFlush);
        EXPECT_EQ(events[n - 2].kind, disk_event::kWrite);
        EXPECT_EQ(events[n - 2].first_sector, 0u);
        EXPECT_EQ(events[n - 2].count, 1u);
        EXPECT_EQ(events[n - 1].kind, disk_event::kFlush);
    }
}

TEST_F(RestoreEngine, ASetOfOneSectorWritesOnlySectorZero) {
    write_data_file(set.file("KRD00001.BIN"), {std::vector<unsigned char>(512, 0x11)});
    const std::string target = blank_target(3);
    record_target();
    recording_sink sink;
    ASSERT_EQ(restore(512), kEngineDone);
    std::vector<unsigned char> expected(1536, 0xEE);
    std::fill(expected.begin(), expected.begin() + 512, 0x11);
    EXPECT_EQ(read_file(target), expected);
    ASSERT_EQ(events.size(), 3u);  // flush, sector 0, flush
    EXPECT_EQ(events[1].kind, disk_event::kWrite);
    EXPECT_EQ(events[1].first_sector, 0u);
}

// A last block longer than the header's byte count means the header and
// the data files do not belong together: nothing past the target's end is
// written, and sector 0 stays as it was.
// What the block headers tell is decided before the first write: a restore
// that would fail after hours of writing fails before it writes anything.
// A data file after the last is not the set's: named, and the restore goes on.
TEST_F(RestoreEngine, TheSetsShapeIsDecidedBeforeTheFirstWrite) {
    std::vector<unsigned char> block(2048);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<unsigned char>(i / 512 + 1);
    const std::vector<unsigned char> whole(kChunk * 512, 0x42);
    const struct {
        const char* what;
        std::vector<std::vector<unsigned char>> blocks;
        std::size_t trailing;  // bytes after the last block
        bool further_file;     // a KRD00002.BIN after the last
        std::uint64_t bytes;   // the header's count
        const char* said;
        outcome result;
    } cases[] = {
        {"an overlong last block", {block}, 0, false, 1024, "超えています", kEngineFailed},
        {"bytes after the second block",
         {whole, block},
         40,
         false,
         kChunk * 512 + 2048,
         "余分なデータ",
         kEngineFailed},
        {"a data file after the last",
         {whole, block},
         0,
         true,
         kChunk * 512 + 2048,
         "KRD00002.BIN",
         kEngineDone},
    };
    for (const auto& c : cases) {
        write_data_file(set.file("KRD00001.BIN"), c.blocks);
        std::vector<unsigned char> file = read_file(set.file("KRD00001.BIN"));
        file.insert(file.end(), c.trailing, 0);
        write_file(set.file("KRD00001.BIN"), file);
        std::filesystem::remove(set.file("KRD00002.BIN"));
        if (c.further_file) write_data_file(set.file("KRD00002.BIN"), {block});
        blank_target(c.bytes / 512);
        events.clear();
        record_target();
        recording_sink sink;
        ASSERT_EQ(restore(c.bytes), c.result) << c.what;
        ASSERT_EQ(sink.seen.size(), 1u) << c.what;
        EXPECT_NE(sink.seen[0].text.find(c.said), std::string::npos) << sink.seen[0].text;
        EXPECT_EQ(events.empty(), c.result != kEngineDone) << c.what;
    }
}

TEST_F(RestoreEngine, ImplausibleByteCountsWriteNothing) {
    back_up(4);
    blank_target(4);
    record_target();
    for (std::uint64_t bytes : {std::uint64_t{0}, std::uint64_t{511}, std::uint64_t{1} << 63}) {
        recording_sink sink;
        EXPECT_EQ(restore(bytes), kEngineFailed) << bytes;
        EXPECT_EQ(sink.seen.size(), 1u);
    }
    EXPECT_TRUE(events.empty());
}

TEST_F(RestoreEngine, ATargetThatChangedSinceItWasCheckedIsNotTouched) {
    back_up(16);
    const struct {
        const char* what;
        std::uint64_t sectors;
        std::vector<unsigned char> sector0;
    } cases[] = {
        {"gained a partition", 16, make_mbr_one_partition(1, 8)},
        {"too small", 15, {}},
    };
    for (const auto& c : cases) {
        const std::string target = blank_target(c.sectors);
        if (!c.sector0.empty()) {
            std::vector<unsigned char> disk = read_file(target);
            std::copy(c.sector0.begin(), c.sector0.end(), disk.begin());
            write_file(target, disk);
        }
        const std::vector<unsigned char> before = read_file(target);
        events.clear();
        record_target();
        recording_sink sink;
        EXPECT_EQ(restore(16 * 512), kEngineFailed) << c.what;
        EXPECT_EQ(sink.seen.size(), 1u) << c.what;
        EXPECT_TRUE(events.empty()) << c.what;
        EXPECT_EQ(read_file(target), before) << c.what;
    }
}

TEST_F(RestoreEngine, FailuresNeverWriteSectorZero) {
    back_up(3 * kChunk);
    const std::string set_file1 = set.file("KRD00001.BIN");
    const std::vector<unsigned char> good = read_file(set_file1);
    struct fault {
        const char* what;
        std::int64_t fail_write_at;
        bool flush_fails;
        std::size_t cut_data_file_to;  // 0: whole
        std::size_t flip_at;           // 0: none
        int expected;
        std::int64_t alter_write_at = kNoFault;  // the disk keeps this sector altered
        std::int64_t drop_write_at = kNoFault;   // the disk loses the write of this sector
        const char* named = nullptr;             // what the message must name
    };
    const fault cases[] = {
        {"a write fails in the second block", static_cast<std::int64_t>(kChunk + 3), false, 0, 0,
         kEngineFailed},
        {"the flush before sector 0 fails", -1, true, 0, 0, kEngineFailed},
        {"data file cut inside the third block", -1, false, good.size() - 5, 0, kEngineFailed},
        {"a damaged payload byte", -1, false, 0, good.size() - 100, kEngineFailed},
        // Disks that report success for what they did not store: the
        // read-back finds them before the partition table is written.
        {"the disk alters a write", -1, false, 0, 0, kEngineFailed,
         static_cast<std::int64_t>(2 * kChunk + 5), kNoFault, "セクタ 65,536 から 98,303 まで"},
        {"the disk drops a write", -1, false, 0, 0, kEngineFailed, kNoFault, 10,
         "セクタ 0 から 32,767 まで"},
    };
    // Read back at the end, and behind the writes after every block.
    for (const std::uint64_t behind : {std::uint64_t{0}, kChunk * 512})
        for (const auto& c : cases) {
            write_file(set_file1, good);
            if (c.cut_data_file_to != 0) {
                write_file(set_file1, std::vector<unsigned char>(
                                          good.begin(), good.begin() + static_cast<std::ptrdiff_t>(
                                                                           c.cut_data_file_to)));
            }
            if (c.flip_at != 0) {
                std::vector<unsigned char> damaged = good;
                damaged[c.flip_at] ^= 0x01;
                write_file(set_file1, damaged);
            }
            const std::string target = blank_target(3 * kChunk);
            events.clear();
            disk_faults faults;
            faults.fail_write_at = c.fail_write_at;
            faults.flush_fails = c.flush_fails;
            faults.alter_write_at = c.alter_write_at;
            faults.drop_write_at = c.drop_write_at;
            record_target(faults);
            recording_sink sink;
            restore_options options;
            options.read_back_behind = behind;
            EXPECT_EQ(
                restore_disk(progress, kTarget, set.text().c_str(), 3 * kChunk * 512, options),
                c.expected)
                << c.what << ", behind " << behind;
            ASSERT_EQ(sink.seen.size(), 1u) << c.what;
            if (c.named != nullptr) {
                EXPECT_NE(sink.seen[0].text.find(c.named), std::string::npos) << sink.seen[0].text;
            }
            EXPECT_FALSE(sector0_written()) << c.what;
            EXPECT_EQ(first_sector(target), std::vector<unsigned char>(512, 0xEE)) << c.what;
        }
}

TEST_F(RestoreEngine, AMissingDataFileIsAskedForAgain) {
    write_data_file(set.file("KRD00001.BIN"), {std::vector<unsigned char>(1024, 0x31)});
    const std::string second = set.file("KRD00001.BIN");
    const std::string away = images.file("away.bin");
    std::filesystem::rename(second, away);
    const std::string target = blank_target(3);
    {
        recording_sink sink({kIdCancel});
        EXPECT_EQ(restore(2 * 512), kEngineFailed);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_EQ(sink.seen[0].type, kMbOkCancel);
        EXPECT_NE(sink.seen[0].text.find(second), std::string::npos);
        EXPECT_EQ(first_sector(target), std::vector<unsigned char>(512, 0xEE));
    }
    auto previous = set_message_sink([&](const message&) {
        std::filesystem::rename(away, second);
        return kIdOk;
    });
    EXPECT_EQ(restore(2 * 512), kEngineDone);
    set_message_sink(previous);
    std::vector<unsigned char> expected(1536, 0xEE);
    std::fill(expected.begin(), expected.begin() + 1024, 0x31);
    EXPECT_EQ(read_file(target), expected);
}

// A digest file that does not read: the wizard's restore asks first (the
// question says what is lost), krdtool's refuses or, with --force, says so
// and goes on. Nothing is written before the answer.
TEST_F(RestoreEngine, ADamagedDigestFileIsAskedAboutBeforeAnyWrite) {
    const std::string source = back_up(40);
    write_file(set.file("KRDHASH.TXT"), std::vector<unsigned char>(64, 'x'));
    const struct {
        damaged_digests policy;
        int answer;
        outcome expected;
        unsigned type;
    } cases[] = {
        {damaged_digests::ask, kIdCancel, kEngineFailed, kMbOkCancel},
        {damaged_digests::ask, kIdOk, kEngineDone, kMbOkCancel},
        {damaged_digests::refuse, kIdOk, kEngineFailed, kMbOk},
        {damaged_digests::go_on, kIdOk, kEngineDone, kMbOk},
    };
    for (const auto& c : cases) {
        const std::string target = blank_target(40);
        recording_sink sink({c.answer});
        // The dialog's lines when the question comes: set before it.
        recording_progress p;
        std::vector<std::string> behind;
        message_sink answer;
        answer = set_message_sink([&](const message& m) {
            for (const auto* lines : {&p.statuses, &p.details, &p.buttons})
                behind.push_back(lines->empty() ? "" : lines->back());
            return answer(m);
        });
        restore_options options;
        options.digests = c.policy;
        EXPECT_EQ(restore_disk(p, kTarget, set.text().c_str(), 40 * 512, options), c.expected);
        set_message_sink(answer);
        EXPECT_EQ(behind, (std::vector<std::string>{"ディスク復旧中", "残り 0(MB)", "キャンセル"}));
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_EQ(sink.seen[0].type, c.type);
        EXPECT_NE(sink.seen[0].text.find("確かめられません"), std::string::npos);
        EXPECT_EQ(same_file(source, target), c.expected == kEngineDone);
        if (c.expected != kEngineDone) {
            EXPECT_EQ(first_sector(target), std::vector<unsigned char>(512, 0xEE));
        }
    }
}

TEST_F(RestoreEngine, AStopLeavesSectorZeroAsItWas) {
    back_up(4 * kChunk);
    for (int stop_at : {1, 2, 4}) {
        const std::string target = blank_target(4 * kChunk);
        events.clear();
        record_target();
        recording_progress p;
        p.stop_at_detail = stop_at;
        recording_sink sink;
        EXPECT_EQ(restore_disk(p, kTarget, set.text().c_str(), 4 * kChunk * 512), kEngineStopped);
        EXPECT_TRUE(sink.seen.empty());
        EXPECT_FALSE(sector0_written());
        EXPECT_EQ(first_sector(target), std::vector<unsigned char>(512, 0xEE));
    }
}

TEST_F(RestoreEngine, ATargetThatCannotBeOpened) {
    back_up(4);
    recording_sink sink;
    EXPECT_EQ(restore_disk(progress, 6, set.text().c_str(), 4 * 512), kEngineFailed);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_NE(sink.seen[0].text.find("6"), std::string::npos);
}

// A GPT moved to the end of another disk: the held sectors and the moved
// backup are written after the read-back, the backup first (flushed and
// read back), the held head last; a backup write that fails or is altered
// leaves sector 0 as it was.
TEST_F(RestoreEngine, HeldSectorsAndTheMovedBackupGoLast) {
    const std::uint64_t sectors = 2 * kChunk;
    back_up(sectors);
    restore_options options;
    options.held_sectors = 2;
    options.last_head.assign(1024, 0x11);
    options.last_tail = {{sectors - 33, std::vector<unsigned char>(33 * 512, 0x22)}};
    const struct {
        const char* what;
        std::int64_t fail_write_at, alter_write_at;
        int expected;
    } cases[] = {
        {"whole", kNoFault, kNoFault, kEngineDone},
        {"the backup's write fails", static_cast<std::int64_t>(sectors - 20), kNoFault,
         kEngineFailed},
        {"the disk alters the backup", kNoFault, static_cast<std::int64_t>(sectors - 10),
         kEngineFailed},
    };
    for (const auto& c : cases) {
        const std::string target = blank_target(sectors);
        events.clear();
        disk_faults faults;
        faults.fail_write_at = c.fail_write_at;
        faults.alter_write_at = c.alter_write_at;
        record_target(faults);
        recording_sink sink;
        EXPECT_EQ(restore_disk(progress, kTarget, set.text().c_str(), sectors * 512, options),
                  c.expected)
            << c.what;
        if (c.expected != kEngineDone) {
            EXPECT_FALSE(sector0_written()) << c.what;
            EXPECT_EQ(first_sector(target), std::vector<unsigned char>(512, 0xEE)) << c.what;
            continue;
        }
        // The writes' order: data (never sectors 0 and 1), flush, backup, flush, head, flush.
        ASSERT_GE(events.size(), 6u);
        const auto n = events.size();
        EXPECT_EQ(events[n - 1].kind, disk_event::kFlush);
        EXPECT_EQ(events[n - 2].first_sector, 0u);
        EXPECT_EQ(events[n - 2].count, 2u);
        EXPECT_EQ(events[n - 3].kind, disk_event::kFlush);
        EXPECT_EQ(events[n - 4].first_sector, sectors - 33);
        for (std::size_t i = 0; i + 4 < n; ++i)
            EXPECT_TRUE(events[i].kind != disk_event::kWrite || events[i].first_sector >= 2) << i;
        std::vector<unsigned char> want = read_file(images.file("source.img"));
        std::fill(want.begin(), want.begin() + 1024, 0x11);
        std::fill(want.end() - 33 * 512, want.end(), 0x22);
        EXPECT_TRUE(read_file(target) == want);
    }
}

}  // namespace
}  // namespace kiroda

namespace kiroda {
namespace {

// Where the data test and the restore part ways: the data test reads in set
// order and says each message when it gets there; the restore decides what
// the block headers at hand tell before its first write, and leaves a file
// it cannot open to the walk, which asks for it.
TEST(SetOrder, EachEngineSaysWhatItFindsInItsOwnOrder) {
    struct said {
        const char* text;
        int type;
    };
    const struct {
        const char* what;
        std::function<void(const temp_folder&)> damage;
        said verify, restore;
    } cases[] = {
        {"a damaged block in the first file, a damaged header in the second",
         [](const temp_folder& set) {
             std::vector<unsigned char> first = read_file(set.file("KRD00001.BIN"));
             first[40] ^= 0x01;
             write_file(set.file("KRD00001.BIN"), first);
             std::vector<unsigned char> second = read_file(set.file("KRD00002.BIN"));
             second[0] ^= 0x01;
             write_file(set.file("KRD00002.BIN"), second);
         },
         {"KRD00001.BIN\"\nMeltReadSize = -", kMbOk},
         {"KRD00002.BIN\n(読み込み結果 -2)", kMbOk}},
        {"the first file cut inside a block",
         [](const temp_folder& set) {
             std::vector<unsigned char> first = read_file(set.file("KRD00001.BIN"));
             first.resize(first.size() / 2);
             write_file(set.file("KRD00001.BIN"), first);
         },
         {"KRD00001.BIN\"\nMeltReadSize = -", kMbOk},
         {"不完全", kMbOk}},
        {"the second file there but not to be opened",
         [](const temp_folder& set) {
             std::filesystem::remove(set.file("KRD00002.BIN"));
             std::filesystem::create_directory(set.file("KRD00002.BIN"));
         },
         {"KRD00002.BIN]の入ったメディアと交換して下さい", kMbOkCancel},
         {"KRD00002.BIN\nの入ったメディアと交換して下さい", kMbOkCancel}},
    };
    temp_folder images;
    for (const auto& c : cases) {
        temp_folder set;
        const std::uint64_t bytes = test_support::write_two_file_set(set.text(), 3);
        c.damage(set);
        for (const bool restore : {false, true}) {
            const said& expected = restore ? c.restore : c.verify;
            recording_progress p;
            recording_sink sink({kIdCancel});
            outcome result = kEngineDone;
            if (restore) {
                make_blank_target(images.file("target.img"), bytes / 512);
                register_disk_path(kTarget, images.file("target.img"));
                result = restore_disk(p, kTarget, set.text().c_str(), bytes);
            } else {
                result = verify_backup_set(p, set.text().c_str(), bytes);
            }
            EXPECT_EQ(result, kEngineFailed) << c.what << (restore ? ", restore" : ", data test");
            ASSERT_FALSE(sink.seen.empty()) << c.what;
            EXPECT_NE(sink.seen[0].text.find(expected.text), std::string::npos)
                << c.what << (restore ? ", restore\n" : ", data test\n") << sink.seen[0].text;
            EXPECT_EQ(sink.seen[0].type, expected.type) << c.what;
        }
    }
    clear_disk_paths();
}

}  // namespace
}  // namespace kiroda

namespace kiroda {
namespace {

// A set cut short at a block's start names the whole blocks there and the
// blocks its file needs, in both engines.
TEST(SetOrder, AnIncompleteSetNamesWhatIsThereAndWhatItNeeds) {
    const std::vector<unsigned char> whole(kChunkBytes, 0);
    temp_folder set, images;
    // Cut at the start of block 4 of a set of 5: its first 3 blocks.
    write_data_file(set.file("KRD00001.BIN"), {whole, whole, whole});
    const std::uint64_t bytes = 4ULL * kChunkBytes + 3 * 512;
    for (const bool restore : {false, true}) {
        recording_progress p;
        recording_sink sink;
        make_blank_target(images.file("target.img"), bytes / 512);
        register_disk_path(kTarget, images.file("target.img"));
        const outcome result = restore ? restore_disk(p, kTarget, set.text().c_str(), bytes)
                                       : verify_backup_set(p, set.text().c_str(), bytes);
        EXPECT_EQ(result, kEngineFailed);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_NE(sink.seen[0].text.find("ブロックが 3 個しかありません(5 個必要です)"),
                  std::string::npos)
            << (restore ? "restore: " : "data test: ") << sink.seen[0].text;
    }
    clear_disk_paths();
}

}  // namespace
}  // namespace kiroda
