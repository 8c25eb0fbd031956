// The workers of the data test and the restore change when blocks are
// checked, never what is found: the same verdict, message and progress
// lines (and, for the restore, the same bytes on the target) for any number
// of workers, for a whole set, each kind of damage and a failing target.
#include "engine/block_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "disk/disk_registry.h"
#include "disk/faulty_disk_test_support.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "engine/restore_engine.h"
#include "engine/verify_engine.h"
#include "format/digest.h"
#include "format/set_digests.h"
#include "ui/recording_sink_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

namespace fs = std::filesystem;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::temp_folder;

constexpr std::uint64_t kChunk = 32768;
constexpr std::uint64_t kSectors = 4 * kChunk + 77;

struct run_trace {
    int result = 0;
    std::vector<std::string> messages, details, statuses, buttons;
    digest128 target;  // of the restore's target
    bool operator==(const run_trace&) const = default;
};

void flip_byte(const fs::path& path, std::uint64_t offset) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(static_cast<std::streamoff>(offset));
    const int c = f.get();
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(static_cast<char>(c ^ 0x10));
}

digest128 digest_of(const std::string& path) {
    digest_stream digest;
    EXPECT_EQ(digest_file(path.c_str(), kSectors * 512, digest), kSectors * 512);
    return digest.value();
}

class DataTestWorkers : public ::testing::Test {
  protected:
    void SetUp() override {
        test_support::make_disk_image(source, kSectors);
        register_disk_path(0, source);
        recording_progress p;
        recording_sink sink;
        ASSERT_EQ(backup_disk(p, 0, good.text().c_str(), kSectors * 512), kEngineDone);
    }
    void TearDown() override { clear_disk_paths(); }

    run_trace run(const fs::path& set, unsigned threads, int stop_at, bool against) {
        run_trace t;
        recording_progress p;
        p.stop_at_detail = stop_at;
        recording_sink sink({kIdCancel});
        verify_options options;
        options.threads = threads;
        if (against) {
            register_disk_path(3, other);
            options.against_disk = 3;
        }
        t.result = verify_backup_set(p, set.string().c_str(), kSectors * 512, options);
        for (const auto& m : sink.seen) t.messages.push_back(m.text);
        t.details = p.details;
        t.statuses = p.statuses;
        t.buttons = p.buttons;
        return t;
    }
    run_trace restore(const fs::path& set, unsigned threads, int stop_at,
                      std::int64_t fail_write_at) {
        run_trace t;
        test_support::make_blank_target(target, kSectors);
        register_disk_path(4, target);
        disk_faults faults;
        faults.fail_write_at = fail_write_at;
        set_disk_faults(4, faults);
        recording_progress p;
        p.stop_at_detail = stop_at;
        recording_sink sink({kIdCancel});
        restore_options options;
        options.threads = threads;
        t.result = restore_disk(p, 4, set.string().c_str(), kSectors * 512, options);
        for (const auto& m : sink.seen) t.messages.push_back(m.text);
        t.details = p.details;
        t.statuses = p.statuses;
        t.buttons = p.buttons;
        t.target = digest_of(target);
        // Sector 0 only after every other sector is on the target and checked.
        if (t.result != kEngineDone) {
            std::vector<char> head(512);
            std::ifstream(target, std::ios::binary).read(head.data(), 512);
            EXPECT_TRUE(std::all_of(head.begin(), head.end(),
                                    [](char c) { return static_cast<unsigned char>(c) == 0xEE; }));
        }
        return t;
    }

    temp_folder images;
    temp_folder good;
    std::string source = images.file("source.img");
    std::string other = images.file("other.img");
    std::string target = images.file("target.img");
};

TEST_F(DataTestWorkers, EveryVerdictIsTheSameForAnyNumberOfWorkers) {
    const fs::path data = fs::path(good.text()) / "KRD00001.BIN";
    const std::uint64_t size = fs::file_size(data);
    const struct {
        const char* what;
        int outcome;
        std::size_t messages;
        std::function<void(const fs::path& set)> damage;
        int stop_at = -1;
        bool against = false;
        std::int64_t fail_write_at = kNoFault;  // of the restore's target
    } cases[] = {
        {"whole", kEngineDone, 0, {}},
        {"a byte flipped in the middle", kEngineFailed, 1,
         [&](const fs::path& set) { flip_byte(set / "KRD00001.BIN", size / 2); }},
        {"a byte flipped in the last block", kEngineFailed, 1,
         [&](const fs::path& set) { flip_byte(set / "KRD00001.BIN", size - 9); }},
        {"the data file cut short", kEngineFailed, 1,
         [&](const fs::path& set) { fs::resize_file(set / "KRD00001.BIN", size - 1000); }},
        {"a block's recorded digest changed", kEngineFailed, 1,
         [](const fs::path& set) {
             std::ifstream in(set / kDigestFileName);
             std::string text((std::istreambuf_iterator<char>(in)), {});
             const std::size_t at = text.find("block 3 ");
             text[text.find('\n', at) - 1] ^= 1;
             std::ofstream(set / kDigestFileName, std::ios::trunc) << text;
         }},
        {"a stop with blocks in flight", kEngineStopped, 0, {}, 2},
        {"a disk that differs", kEngineFailed, 1, {}, -1, true},
        {"a target write that fails", kEngineDone, 0, {}, -1, false, 2 * kChunk + 5},
    };
    test_support::make_disk_image(other, kSectors);
    flip_byte(other, 3 * kChunk * 512 + 700);
    for (const auto& c : cases) {
        temp_folder set;
        for (const auto& f : fs::directory_iterator(good.path())) {
            fs::copy_file(f.path(), set.path() / f.path().filename());
        }
        if (c.damage) c.damage(set.path());
        const run_trace one = run(set.path(), 1, c.stop_at, c.against);
        EXPECT_EQ(one.result, c.outcome) << c.what;
        EXPECT_EQ(one.messages.size(), c.messages) << c.what;
        // The restore finds what the data test finds; a target that fails
        // a write fails it with one message of its own.
        const run_trace restored = restore(set.path(), 1, c.stop_at, c.fail_write_at);
        const bool write_fails = c.fail_write_at != kNoFault;
        EXPECT_EQ(restored.result, write_fails ? kEngineFailed
                                   : c.against ? kEngineDone
                                               : c.outcome)
            << c.what;
        EXPECT_EQ(restored.messages.size(), write_fails ? 1 : c.against ? 0 : c.messages) << c.what;
        if (restored.result == kEngineDone) {
            EXPECT_TRUE(restored.target == digest_of(source)) << c.what;
        }
        for (const unsigned threads : {2u, 3u, 8u}) {
            EXPECT_TRUE(run(set.path(), threads, c.stop_at, c.against) == one)
                << c.what << ", " << threads << " workers";
            // Eight workers are three: a restore holds no more blocks.
            if (threads == 8) continue;
            EXPECT_TRUE(restore(set.path(), threads, c.stop_at, c.fail_write_at) == restored)
                << c.what << ", " << threads << " workers, restored";
        }
    }
}

// The last lines each dialog shows: nothing a worker still has in hand
// writes after the engine's own closing lines.
TEST_F(DataTestWorkers, EachDialogEndsWithItsOwnLastLinesForAnyNumberOfWorkers) {
    using lines = std::vector<std::string>;
    auto last = [](const run_trace& t) {
        return lines{t.statuses.empty() ? "" : t.statuses.back(),
                     t.details.empty() ? "" : t.details.back(),
                     t.buttons.empty() ? "" : t.buttons.back()};
    };
    for (const unsigned threads : {1u, 2u, 3u}) {
        temp_folder made;
        recording_progress p;
        backup_options options;
        options.threads = threads;
        ASSERT_EQ(backup_disk(p, 0, made.text().c_str(), kSectors * 512, options), kEngineDone);
        EXPECT_EQ((lines{p.statuses.back(), p.details.back(), p.buttons.back()}),
                  (lines{"バックアップ完了", "残り 0(MB)", "キャンセル"}))
            << threads << " workers";
        EXPECT_EQ(last(run(good.path(), threads, -1, false)),
                  (lines{"テスト完了", "", "キャンセル"}))
            << threads << " workers";
        EXPECT_EQ(last(restore(good.path(), threads, -1, kNoFault)),
                  (lines{"復旧完了", "MBR 復旧中", "キャンセル"}))
            << threads << " workers";
    }
}

}  // namespace
}  // namespace kiroda
