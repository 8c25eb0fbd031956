// The data test's workers change when blocks are checked, never what is
// found: the same verdict, message and progress lines for any number of
// workers, for a whole set and for each kind of damage.
#include "engine/block_checks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "disk/disk_registry.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "engine/verify_engine.h"
#include "format/set_digests.h"
#include "ui/recording_sink.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

namespace fs = std::filesystem;
using testing::recording_progress;
using testing::recording_sink;
using testing::temp_folder;

constexpr std::uint64_t kChunk = 32768;
constexpr std::uint64_t kSectors = 4 * kChunk + 77;

struct verify_trace {
    int result = 0;
    std::vector<std::string> messages, details;
    bool operator==(const verify_trace&) const = default;
};

void flip_byte(const fs::path& path, std::uint64_t offset) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(static_cast<std::streamoff>(offset));
    const int c = f.get();
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(static_cast<char>(c ^ 0x10));
}

class DataTestWorkers : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::make_disk_image(source, kSectors);
        register_disk_path(0, source);
        recording_progress p;
        recording_sink sink;
        ASSERT_EQ(backup_disk(p, 0, good.text().c_str(), kSectors * 512), kEngineDone);
    }
    void TearDown() override { clear_disk_paths(); }

    verify_trace run(const fs::path& set, unsigned threads, int stop_at, bool against) {
        verify_trace t;
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
        return t;
    }

    temp_folder images;
    temp_folder good;
    std::string source = images.file("source.img");
    std::string other = images.file("other.img");
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
    };
    testing::make_disk_image(other, kSectors);
    flip_byte(other, 3 * kChunk * 512 + 700);
    for (const auto& c : cases) {
        temp_folder set;
        for (const auto& f : fs::directory_iterator(good.path())) {
            fs::copy_file(f.path(), set.path() / f.path().filename());
        }
        if (c.damage) c.damage(set.path());
        const verify_trace one = run(set.path(), 1, c.stop_at, c.against);
        EXPECT_EQ(one.result, c.outcome) << c.what;
        EXPECT_EQ(one.messages.size(), c.messages) << c.what;
        for (const unsigned threads : {2u, 3u, 8u}) {
            EXPECT_TRUE(run(set.path(), threads, c.stop_at, c.against) == one)
                << c.what << ", " << threads << " workers";
        }
    }
}

}  // namespace
}  // namespace kiroda
