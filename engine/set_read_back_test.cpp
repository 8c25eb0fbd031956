// The backup's read-back of its own set (set_read_back.h), over the file
// seam's injected read-back faults (set_read_back_fault_for_tests): each
// file of the set in turn handed back with a byte flipped or unreadable,
// and a good medium. A medium that does not keep a file fails the backup
// with one message naming it, and no digest file calls the set whole.
#include "engine/set_read_back.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "disk/faulty_disk_test_support.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "engine/verify_engine.h"
#include "format/set_digests.h"
#include "ui/recording_sink_test_support.h"
#include "util/file_io.h"
#include "util/io_census_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

namespace fs = std::filesystem;
using test_support::make_disk_image;
using test_support::make_random_image;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::temp_folder;

constexpr std::uint64_t kSectors = 2 * 32768 + 77;  // three blocks, one data file
constexpr std::uint64_t kRandomSectors = 20000;     // a data file of three 4 MiB reads
constexpr const char* kNotKept = "このメディアは書き込んだ内容を保てません";

class SetReadBack : public ::testing::Test {
  protected:
    void TearDown() override {
        set_read_back_fault_for_tests("", 0, false);
        clear_disk_paths();
    }
    temp_folder images;
};

TEST_F(SetReadBack, AFileTheMediumDoesNotKeepFailsTheBackup) {
    enum source { patterned, random, bad_sector };
    const struct {
        const char* what;
        source disk;
        const char* file;  // the read-back fault's file (nullptr: none)
        std::int64_t offset;
        bool unreadable;  // a read error there, not a flipped byte
        bool resume;      // the backup is stopped after one block and resumed
        bool read_back;
        const char* named;  // the file the message names (nullptr: the backup is done)
    } cases[] = {
        {"a good medium", patterned, nullptr, 0, false, false, true, nullptr},
        {"a data file's byte flipped", patterned, "KRD00001.BIN", 100, false, false, true,
         "KRD00001.BIN"},
        {"a data file that cannot be read back", patterned, "KRD00001.BIN", 0, true, false, true,
         "KRD00001.BIN"},
        {"a byte flipped in the third read of a data file", random, "KRD00001.BIN", 9000000, false,
         false, true, "KRD00001.BIN"},
        {"the header's byte flipped", patterned, "KRD00000.BIN", 8000, false, false, true,
         "KRD00000.BIN"},
        {"the digest file that cannot be read back", patterned, kDigestTempName, 0, true, false,
         true, kDigestFileName},
        {"the digest file's byte flipped", patterned, kDigestTempName, 20, false, false, true,
         kDigestFileName},
        {"the map of a rescue flipped", bad_sector, "KRDMAP.TMP", 10, false, false, true,
         "KRDMAP.TXT"},
        {"a resume on a good medium", patterned, nullptr, 0, false, true, true, nullptr},
        {"the data file a resume writes on, flipped", patterned, "KRD00001.BIN", 100, false, true,
         true, "KRD00001.BIN"},
        {"without the read-back the lie goes unseen", patterned, "KRD00001.BIN", 100, false, false,
         false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        temp_folder set;
        const std::string image = images.file("source.img");
        const std::uint64_t sectors = c.disk == random ? kRandomSectors : kSectors;
        if (c.disk == random) {
            make_random_image(image, sectors, 23);
        } else {
            make_disk_image(image, sectors);
        }
        register_disk_path(0, image);
        if (c.disk == bad_sector) {
            disk_faults faults;
            faults.bad_sectors = {40000};
            set_disk_faults(0, faults);
        }
        backup_options options;
        options.rescue = c.disk == bad_sector;
        options.read_back = c.read_back;
        if (c.resume) {
            recording_progress first;
            first.stop_at_detail = 2;  // after the first block
            recording_sink quiet;
            ASSERT_EQ(backup_disk(first, 0, set.text().c_str(), sectors * 512, options),
                      kEngineFailed);
            ASSERT_FALSE(fs::exists(set.file(kDigestFileName)));
            options.resume = true;
        }
        if (c.file != nullptr) set_read_back_fault_for_tests(c.file, c.offset, c.unreadable);

        bool medium_failed = false;
        options.medium_failed = &medium_failed;
        recording_progress p;
        recording_sink sink;
        const outcome result = backup_disk(p, 0, set.text().c_str(), sectors * 512, options);
        set_read_back_fault_for_tests("", 0, false);
        EXPECT_EQ(medium_failed, c.named != nullptr);

        if (c.named == nullptr) {
            EXPECT_EQ(result, kEngineDone);
            // The data file's check is shown (the header's and the side
            // files' are too short to be worth a line).
            const bool shown = std::find(p.statuses.begin(), p.statuses.end(), "書き込み確認中") !=
                               p.statuses.end();
            EXPECT_EQ(shown, c.read_back);
            // A rescue tells its lost sectors; nothing else is said.
            EXPECT_EQ(sink.seen.size(), c.disk == bad_sector ? 1u : 0u);
            EXPECT_TRUE(fs::exists(set.file(kDigestFileName)));
            if (c.read_back) {
                recording_progress test;
                EXPECT_EQ(verify_backup_set(test, set.text().c_str(), sectors * 512), kEngineDone);
            }
            continue;
        }
        EXPECT_EQ(result, kEngineFailed);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_NE(sink.seen[0].text.find(set.file(c.named)), std::string::npos)
            << sink.seen[0].text;
        EXPECT_NE(sink.seen[0].text.find(kNotKept), std::string::npos) << sink.seen[0].text;
        EXPECT_NE(p.statuses.back(), "バックアップ完了");
        EXPECT_FALSE(fs::exists(set.file(kDigestFileName)));
        EXPECT_FALSE(fs::exists(set.file(kDigestTempName)));
        clear_disk_paths();
    }
}

// The check reads what the medium holds, to the byte: a file cut short or
// grown is not the file written, and a stop ends the check.
TEST_F(SetReadBack, TheWholeFileAndNothingElse) {
    temp_folder folder;
    const std::string path = folder.file("f.bin");
    std::vector<unsigned char> bytes(5 * 1000 * 1000 + 3);
    test_support::fill_random(bytes.data(), bytes.size(), 5);
    test_support::write_file(path, bytes);
    const digest128 digest = digest_bytes(bytes.data(), bytes.size());
    recording_progress p;
    EXPECT_EQ(read_back_file(p, path.c_str(), bytes.size(), digest, true), read_back_result::same);
    EXPECT_EQ(p.statuses, std::vector<std::string>{"書き込み確認中"});
    EXPECT_EQ(p.details, (std::vector<std::string>{"残り 5(MB)", "残り 0(MB)"}));
    EXPECT_EQ(read_back_file(p, path.c_str(), bytes.size() - 1, digest, false),
              read_back_result::not_kept);
    EXPECT_EQ(read_back_file(p, path.c_str(), bytes.size() + 1, digest, false),
              read_back_result::not_kept);
    EXPECT_EQ(read_back_file(p, folder.file("absent").c_str(), 0, digest_bytes("", 0), false),
              read_back_result::not_kept);
    std::uint64_t size = 0;
    digest128 on_medium;
    ASSERT_TRUE(digest_on_medium(path.c_str(), 1u << 30, &size, &on_medium));
    EXPECT_EQ(size, bytes.size());
    EXPECT_EQ(on_medium, digest);
    recording_progress stopping;
    stopping.stop_at_detail = 2;
    EXPECT_EQ(read_back_file(stopping, path.c_str(), bytes.size(), digest, true),
              read_back_result::stopped);
}

}  // namespace
}  // namespace kiroda
