// The worker pool changes when the work is done, never what is done: the
// same set, messages, questions, progress lines and files left for any
// number of workers, through every way a backup ends.
#include "engine/backup_blocks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "disk/faulty_disk_test_support.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "format/set_digests.h"
#include "ui/recording_sink_test_support.h"
#include "util/file_io.h"
#include "util/free_space.h"
#include "util/io_census_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::temp_folder;

constexpr std::uint64_t kChunk = 32768;
constexpr std::uint64_t kSectors = 4 * kChunk + 77;
const unsigned kThreadCounts[] = {1, 2, 3, 8};

// Everything a backup leaves behind that does not depend on the clock (the
// header's time, and the header's digest in the digest file).
struct backup_trace {
    int result = 0;
    std::vector<std::string> messages, details, statuses;
    std::vector<unsigned char> data;
    std::string digests, map;
    bool operator==(const backup_trace&) const = default;
};

std::string file_text(const fs::path& path) {
    const std::vector<unsigned char> bytes =
        fs::exists(path) ? read_file(path.string()) : std::vector<unsigned char>{};
    return std::string(bytes.begin(), bytes.end());
}

struct scenario {
    const char* what;
    int outcome;
    std::size_t messages;  // each failure is said once; a question is one more
    backup_options options;
    disk_faults faults;
    std::vector<int> answers;
    std::function<void()> before;  // a fault of the file seams
    int stop_at_detail = -1;
};

class BackupWorkers : public ::testing::Test {
  protected:
    void SetUp() override {
        test_support::make_disk_image(source, kSectors);
        // A chunk that does not pack (a stored block, written from the
        // chunk itself) between chunks that do.
        std::vector<unsigned char> noise(kChunk * 512);
        test_support::fill_random(noise.data(), noise.size(), 3);
        std::fstream f(source, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(kChunk * 512));
        f.write(reinterpret_cast<const char*>(noise.data()),
                static_cast<std::streamsize>(noise.size()));
    }
    void TearDown() override {
        clear_disk_paths();
        set_free_space_for_tests({});
        set_write_budget_for_tests(-1);
        set_read_back_fault_for_tests(nullptr, 0, false);
    }

    backup_trace run(const scenario& s, unsigned threads) {
        register_disk_path(0, source);
        set_disk_faults(0, s.faults);
        if (s.before) s.before();
        temp_folder set;
        backup_trace t;
        {
            recording_progress p;
            p.stop_at_detail = s.stop_at_detail;
            recording_sink sink(s.answers);
            backup_options options = s.options;
            options.threads = threads;
            t.result = backup_disk(p, 0, set.text().c_str(), kSectors * 512, options);
            for (const auto& m : sink.seen) {
                std::string text = m.text;
                for (std::size_t at; (at = text.find(set.text())) != std::string::npos;) {
                    text.replace(at, set.text().size(), "<set>");
                }
                t.messages.push_back(text);
            }
            t.details = p.details;
            t.statuses = p.statuses;
        }
        set_free_space_for_tests({});
        set_write_budget_for_tests(-1);
        set_read_back_fault_for_tests(nullptr, 0, false);
        const fs::path data = set.path() / "KRD00001.BIN";
        if (fs::exists(data)) t.data = read_file(data.string());
        const std::string digests = file_text(set.path() / kDigestFileName);
        for (std::size_t at = 0; at < digests.size();) {
            const std::size_t end = digests.find('\n', at);
            const std::string line = digests.substr(at, end - at);
            if (line.rfind("header ", 0) != 0) t.digests += line + "\n";
            at = end == std::string::npos ? digests.size() : end + 1;
        }
        t.map = file_text(set.path() / kBadSectorMapName);
        return t;
    }

    temp_folder images;
    std::string source = images.file("source.img");
};

TEST_F(BackupWorkers, EveryWayABackupEndsIsTheSameForAnyNumberOfWorkers) {
    disk_faults bad;
    bad.bad_sectors = {static_cast<std::int64_t>(kChunk + 9),
                       static_cast<std::int64_t>(3 * kChunk + 100)};
    disk_faults read_fails;
    read_fails.fail_read_at = static_cast<std::int64_t>(2 * kChunk + 5);
    const scenario cases[] = {
        {"whole", kEngineDone, 0, {}, {}, {}, {}},
        {"a rescue past bad sectors", kEngineDone, 1, backup_options{true}, bad, {}, {}},
        {"bad sectors, going past agreed", kEngineDone, 2, {}, bad, {kIdOk}, {}},
        {"bad sectors, going past refused", kEngineFailed, 2, {}, bad, {kIdCancel}, {}},
        {"a read that keeps failing", kEngineFailed, 2, {}, read_fails, {kIdCancel}, {}},
        {"a stop with chunks in flight", kEngineFailed, 0, {}, {}, {}, {}, 3},
        {"a data file write that comes up short",
         kEngineFailed,
         1,
         {},
         {},
         {},
         [] { set_write_budget_for_tests(8192 + 3 * 1000 * 1000); }},
        {"the free space cannot be found",
         kEngineFailed,
         1,
         {},
         {},
         {},
         [] { set_free_space_for_tests([](const char*) { return -1.0; }); }},
        {"the medium does not keep the data file",
         kEngineFailed,
         1,
         {},
         {},
         {},
         [] { set_read_back_fault_for_tests("KRD00001.BIN", 70000, false); }},
    };
    for (const scenario& s : cases) {
        const backup_trace one = run(s, 1);
        EXPECT_EQ(one.result, s.outcome) << s.what;
        EXPECT_EQ(one.messages.size(), s.messages) << s.what;
        for (const unsigned threads : kThreadCounts) {
            EXPECT_TRUE(run(s, threads) == one) << s.what << ", " << threads << " workers";
        }
    }
}

}  // namespace
}  // namespace kiroda
