// The power-cut census: a backup (plain, and past unreadable sectors), the
// resume of a stopped backup and a restore each run once under the
// power-cut record; then every state a power cut may leave in their course
// (engine/power_cut_states_test_support.h has the model: at each sync point, every
// pending write lost, kept, torn, reordered, renames done or not) is put in
// place and the programs run on it:
//   - a data test, krdtool info, the finished-set look of a resume and a
//     restore never take a set that is not the whole one for a whole one
//     (a restore that fails leaves sector 0 as it was);
//   - a resume either ends with the set one run writes (data files, map
//     and digests byte for byte, the header but its time) or refuses with
//     one message, and never leaves a set that passes a data test and
//     differs;
//   - the target of a cut restore, restored again, is the source disk, and
//     no state has the source's sector 0 on the target before every other
//     sector is there.
// Each census prints its cut points and states.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "disk/disk_image_test_support.h"
#include "disk/faulty_disk_test_support.h"
#include "engine/backup_engine.h"
#include "engine/backup_resume.h"
#include "engine/engine_test_support.h"
#include "engine/power_cut_states_test_support.h"
#include "engine/restore_engine.h"
#include "engine/verify_engine.h"
#include "format/bad_sector_map.h"
#include "format/header_file.h"
#include "format/set_digests.h"
#include "ui/recording_sink_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::cut_state;
using test_support::first_sector;
using test_support::make_blank_target;
using test_support::make_disk_image;
using test_support::medium_state;
using test_support::read_file;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::temp_folder;
using files = std::map<std::string, std::vector<unsigned char>>;

constexpr std::uint64_t kSectors = 2 * 32768 + 77;  // three blocks
constexpr std::uint64_t kBytes = kSectors * 512;
constexpr int kSource = 0;
constexpr int kTarget = 1;
constexpr int kFailingSource = 2;  // the same image with unreadable sectors

// Every question is answered Cancel (a missing data file is not looked for
// again and again).
std::vector<int> cancels() {
    return std::vector<int>(16, kIdCancel);
}

// The unreadable and untried runs of a map's text, as first sector, count
// and state; nullopt when it does not parse.
using lost_run = std::tuple<std::uint64_t, std::uint64_t, sector_state>;
std::optional<std::vector<lost_run>> lost_runs(const std::vector<unsigned char>& text) {
    bad_sector_map map;
    int bad_line = 0;
    if (!parse_bad_sector_map(std::string(text.begin(), text.end()), &map, &bad_line)) return {};
    std::vector<lost_run> runs;
    for (const sector_run& r : map.bad_runs()) runs.emplace_back(r.first, r.count, r.state);
    return runs;
}

// The state holds the set the run wrote: its header and data files byte for
// byte, and its digest file or none (a set of an older writer, whole but
// unproven). Without the digest file, the map may be one written on the
// way, as long as it records every sector lost (a block past its end lost
// none).
bool holds_whole_set(const files& state, const files& whole) {
    const bool digests = state.count(kDigestFileName) != 0;
    for (const auto& [name, bytes] : whole) {
        const auto it = state.find(name);
        if (name == kDigestFileName && !digests) continue;
        if (it == state.end()) return false;
        if (name == kBadSectorMapName && !digests) {
            if (lost_runs(it->second) != lost_runs(bytes)) return false;
        } else if (it->second != bytes) {
            return false;
        }
    }
    return true;
}

// The header's fields but its time.
bool same_header_but_time(const std::vector<unsigned char>& a,
                          const std::vector<unsigned char>& b) {
    backup_header x{}, y{};
    if (a.size() != kHeaderFileSize || b.size() != kHeaderFileSize ||
        !decode_header_record(a.data(), &x) || !decode_header_record(b.data(), &y)) {
        return false;
    }
    x.created = y.created = {};
    unsigned char ra[kHeaderFileSize], rb[kHeaderFileSize];
    encode_header_record(x, ra);
    encode_header_record(y, rb);
    return std::equal(ra, ra + kHeaderFileSize, rb);
}

std::string digests_but_header(const std::vector<unsigned char>& bytes) {
    std::string text(bytes.begin(), bytes.end());
    const std::size_t at = text.find("header ");
    return at == std::string::npos ? text : text.erase(at, text.find('\n', at) - at);
}

// The set one run writes: the same files, the same bytes, but the time in
// the header (a resume that found no header wrote its own).
bool set_of_one_run(const files& state, const files& whole) {
    if (state.size() != whole.size()) return false;
    for (const auto& [name, bytes] : whole) {
        const auto it = state.find(name);
        if (it == state.end()) return false;
        const bool same = name == kHeaderFileName ? same_header_but_time(it->second, bytes)
                          : name == kDigestFileName
                              ? digests_but_header(it->second) == digests_but_header(bytes)
                              : it->second == bytes;
        if (!same) return false;
    }
    return true;
}

bool passes_data_test(const std::string& folder) {
    recording_progress p;
    recording_sink quiet(cancels());
    return verify_backup_set(p, folder.c_str(), kBytes) == kEngineDone;
}

bool info_calls_whole(const std::string& folder) {
    const std::string command =
        std::string(KRDTOOL_PATH) + " info '" + folder + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The state, for a failure: the cut, the variant, the write it turns on.
std::string where(const char* census, const cut_state& c, const std::vector<io_change>& record) {
    std::string text = std::string(census) + ": cut " + std::to_string(c.cut) + ", " + c.variant;
    if (c.write < 0) return text;
    const io_change& w = record[static_cast<std::size_t>(c.write)];
    return text + " of write " + std::to_string(c.write) + " (" + std::to_string(w.bytes.size()) +
           " bytes at " + std::to_string(w.offset) + ")";
}

struct backup_scenario {
    const char* name;
    int source;
    bool rescue;        // past the source's unreadable sectors, with a map
    bool from_stopped;  // the run is the resume of a backup stopped after a block
};

// The scenario's name in the test's name and messages.
void PrintTo(const backup_scenario& s, std::ostream* out) {
    *out << s.name;
}

constexpr backup_scenario kBackups[] = {
    {"backup", kSource, false, false},
    {"rescue", kFailingSource, true, false},
    {"resume", kSource, false, true},
};

class PowerCutCensus : public ::testing::TestWithParam<backup_scenario> {
  protected:
    void SetUp() override {
        make_disk_image(source, kSectors, test_support::make_mbr_one_partition(2048, 1000));
        register_disk_path(kSource, source);
        register_disk_path(kFailingSource, source);
        disk_faults bad;
        bad.bad_sectors = {5000, 5001, 40000};
        set_disk_faults(kFailingSource, bad);
        make_blank_target(target, kSectors);
        register_disk_path(kTarget, target);
    }
    void TearDown() override {
        stop_io_record();
        clear_disk_paths();
    }

    // A restore of the set in `folder`, which is not the whole one: it
    // must fail, with sector 0 of the target as it was (what it may have
    // written after it is of no matter to the next).
    void restore_refuses(const std::string& folder) {
        recording_progress p;
        recording_sink quiet(cancels());
        EXPECT_NE(restore_disk(p, kTarget, folder.c_str(), kBytes), kEngineDone);
        if (first_sector(target) != std::vector<unsigned char>(512, 0xEE)) {
            ADD_FAILURE() << "sector 0 written by a restore that failed";
            make_blank_target(target, kSectors);
        }
    }

    temp_folder images;
    temp_folder work;  // every state in turn, at the path the run wrote to
    std::string source = images.file("source.img");
    std::string target = images.file("target.img");
};

TEST_P(PowerCutCensus, Backup) {
    const backup_scenario& s = GetParam();
    const std::string folder = work.text();
    backup_options options;
    options.rescue = s.rescue;
    if (s.from_stopped) {
        recording_progress p;
        recording_sink quiet;
        p.stop_at_detail = 2;  // before the second block
        ASSERT_NE(backup_disk(p, s.source, folder.c_str(), kBytes, options), kEngineDone);
        options.resume = true;
    }
    medium_state before;
    before.files = test_support::files_of(folder);
    // As krdtool makes it: the folder's name in its parent is the run's to
    // make durable.
    before.folder = folder;
    before.folder_new = true;
    {
        recording_progress p;
        recording_sink quiet;
        start_io_record();
        ASSERT_EQ(backup_disk(p, s.source, folder.c_str(), kBytes, options), kEngineDone);
    }
    const std::vector<io_change> record = stop_io_record();
    const files whole = test_support::files_of(folder);
    ASSERT_TRUE(test_support::state_after(before, record).files == whole)
        << "the record is the run";
    options.resume = true;
    int resumed = 0, refused = 0;
    // After the last sync point the run has said it is done: a cut then
    // must leave the whole set.
    const auto done_at = std::count_if(record.begin(), record.end(), [](const io_change& c) {
        return c.kind == io_change::committed || c.kind == io_change::folder_synced;
    });
    const test_support::census_count n =
        test_support::for_each_power_cut_state(before, record, [&](const cut_state& c) {
            SCOPED_TRACE(where(s.name, c, record));
            std::filesystem::create_directories(folder);
            test_support::put_files(folder, c.state->files);
            if (!c.state->folder_there) std::filesystem::remove_all(folder);
            if (c.cut == done_at) {
                EXPECT_TRUE(c.state->folder_there && holds_whole_set(c.state->files, whole));
            }
            if (!c.state->folder_there || !holds_whole_set(c.state->files, whole)) {
                EXPECT_FALSE(passes_data_test(folder));
                EXPECT_FALSE(info_calls_whole(folder));
                EXPECT_FALSE(set_is_finished(folder.c_str()));
                restore_refuses(folder);
            }
            recording_progress p;
            recording_sink sink(cancels());
            if (backup_disk(p, s.source, folder.c_str(), kBytes, options) == kEngineDone) {
                ++resumed;
                // A rescue ends saying how many sectors were lost.
                EXPECT_EQ(sink.seen.size(), s.rescue ? 1u : 0u);
                EXPECT_TRUE(set_of_one_run(test_support::files_of(folder), whole));
                EXPECT_TRUE(passes_data_test(folder));
            } else {
                ++refused;
                EXPECT_EQ(sink.seen.size(), 1u);
                if (passes_data_test(folder)) {
                    EXPECT_TRUE(holds_whole_set(test_support::files_of(folder), whole));
                }
            }
        });
    std::printf(
        "power-cut census, %s: %zu changes, %d cut points, %d states; "
        "%d resumed to the set of one run, %d refused\n",
        s.name, record.size(), n.cut_points, n.states, resumed, refused);
    RecordProperty("cut_points", n.cut_points);
    RecordProperty("states", n.states);
}

INSTANTIATE_TEST_SUITE_P(Engines, PowerCutCensus, ::testing::ValuesIn(kBackups),
                         [](const auto& scenario) { return std::string(scenario.param.name); });

TEST_F(PowerCutCensus, Restore) {
    temp_folder set;
    {
        recording_progress p;
        ASSERT_EQ(backup_disk(p, kSource, set.text().c_str(), kBytes), kEngineDone);
    }
    const std::vector<unsigned char> blank = read_file(target);
    // Read back at the end, and behind the writes (a flush after each block).
    for (const std::uint64_t behind : {std::uint64_t{0}, std::uint64_t{32768} * 512}) {
        test_support::write_file(target, blank);
        medium_state before;
        before.disks[kTarget] = blank;
        {
            recording_progress p;
            start_io_record();
            restore_options options;
            options.read_back_behind = behind;
            ASSERT_EQ(restore_disk(p, kTarget, set.text().c_str(), kBytes, options), kEngineDone);
        }
        const std::vector<io_change> record = stop_io_record();
        const std::vector<unsigned char> disk = read_file(source);
        ASSERT_TRUE(read_file(target) == disk);
        ASSERT_TRUE(test_support::state_after(before, record).disks[kTarget] == disk)
            << "the record is the run";
        int refused = 0;
        const test_support::census_count n =
            test_support::for_each_power_cut_state(before, record, [&](const cut_state& c) {
                SCOPED_TRACE(where("restore", c, record));
                const std::vector<unsigned char>& cut = c.state->disks.at(kTarget);
                // The set's sector 0 only on a target that holds the rest.
                if (std::equal(cut.begin(), cut.begin() + 512, disk.begin())) {
                    EXPECT_TRUE(cut == disk);
                }
                test_support::write_file(target, cut);
                recording_progress p;
                recording_sink sink(cancels());
                if (restore_disk(p, kTarget, set.text().c_str(), kBytes) != kEngineDone) {
                    // Refused only as a disk that looks partitioned: sector 0
                    // was written, and so was everything else.
                    ++refused;
                    EXPECT_EQ(sink.seen.size(), 1u);
                }
                EXPECT_TRUE(read_file(target) == disk);
            });
        std::printf(
            "power-cut census, restore%s: %zu changes, %d cut points, %d states; "
            "%d refused as already restored\n",
            behind == 0 ? "" : " reading back behind", record.size(), n.cut_points, n.states,
            refused);
    }
}

// A GPT restored onto a disk of another size: its protective MBR and primary
// header held back, the moved backup written after the read-back, then the
// mended head. No state has the mended head before everything else.
TEST_F(PowerCutCensus, RestoreWithAMovedGptBackup) {
    temp_folder set;
    {
        recording_progress p;
        ASSERT_EQ(backup_disk(p, kSource, set.text().c_str(), kBytes), kEngineDone);
    }
    restore_options options;
    options.held_sectors = 2;
    options.last_head = test_support::pattern_sector(7);
    options.last_head.resize(1024, 0x5A);
    options.last_tail = {{kSectors - 33, std::vector<unsigned char>(33 * 512, 0xA5)}};
    std::vector<unsigned char> whole = read_file(source);
    std::copy(options.last_head.begin(), options.last_head.end(), whole.begin());
    std::fill(whole.end() - 33 * 512, whole.end(), 0xA5);
    const std::vector<unsigned char> blank = read_file(target);
    medium_state before;
    before.disks[kTarget] = blank;
    {
        recording_progress p;
        start_io_record();
        ASSERT_EQ(restore_disk(p, kTarget, set.text().c_str(), kBytes, options), kEngineDone);
    }
    const std::vector<io_change> record = stop_io_record();
    ASSERT_TRUE(read_file(target) == whole);
    const test_support::census_count n =
        test_support::for_each_power_cut_state(before, record, [&](const cut_state& c) {
            SCOPED_TRACE(where("restore, GPT moved", c, record));
            const std::vector<unsigned char>& cut = c.state->disks.at(kTarget);
            if (std::equal(cut.begin(), cut.begin() + 1024, whole.begin())) {
                EXPECT_TRUE(cut == whole);
            }
            test_support::write_file(target, cut);
            recording_progress p;
            recording_sink sink(cancels());
            restore_disk(p, kTarget, set.text().c_str(), kBytes, options);
            EXPECT_TRUE(read_file(target) == whole);
        });
    std::printf(
        "power-cut census, restore with a moved GPT: %zu changes, %d cut points, %d states\n",
        record.size(), n.cut_points, n.states);
}

}  // namespace
}  // namespace kiroda
