#include "engine/backup_resume.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "disk/faulty_disk_test_support.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "format/bad_sector_map.h"
#include "format/packed_block.h"
#include "format/set_digests.h"
#include "ui/recording_sink_test_support.h"
#include "util/file_io.h"
#include "util/io_census_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

namespace fs = std::filesystem;
using test_support::make_disk_image;
using test_support::read_file;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::temp_folder;
using test_support::write_file;

constexpr std::uint64_t kChunk = 32768;  // sectors
// Two data files: 60 blocks, then one whole chunk and a short last one.
constexpr std::uint64_t kSectors = 61 * kChunk + 100;

using folder_files = std::map<std::string, std::vector<unsigned char>>;

folder_files files_of(const std::string& folder) {
    folder_files files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] = read_file(entry.path().string());
    }
    return files;
}

void copy_folder(const std::string& from, const std::string& to) {
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(from))
        fs::copy_file(entry.path(), fs::path(to) / entry.path().filename());
}

void cut(const std::string& path, std::uintmax_t bytes) {
    fs::resize_file(path, bytes);
}

// Where each block of a data file starts, and where the file ends.
std::vector<std::int64_t> block_starts(const std::string& path) {
    std::vector<std::int64_t> starts;
    unique_fd fd(open_for_reading(path.c_str()));
    while (at_end_of_file(fd.get()) == end_of_file::before) {
        starts.push_back(file_position(fd.get()));
        if (skip_packed_block(fd.get()) < 0) break;
    }
    starts.push_back(file_position(fd.get()));
    return starts;
}

// The digest file without its header line: what a resumed set shares with
// one made in one run when the interrupted run wrote its own header.
std::string digests_but_header(const std::vector<unsigned char>& bytes) {
    std::string text(bytes.begin(), bytes.end());
    const std::size_t at = text.find("header ");
    if (at == std::string::npos) return text;
    return text.erase(at, text.find('\n', at) - at);
}

class ResumeBackup : public ::testing::Test {
  public:  // the cases' lambdas reach into the fixture
    static void SetUpTestSuite() {
        shared_ = new temp_folder;
        make_disk_image(shared_->file("source.img"), kSectors);
        register_disk_path(0, shared_->file("source.img"));
        recording_progress p;
        recording_sink sink;
        fs::create_directories(shared_->file("one-run"));
        ASSERT_EQ(backup_disk(p, 0, shared_->file("one-run").c_str(), kSectors * 512), kEngineDone);
        clear_disk_paths();
    }
    static void TearDownTestSuite() {
        delete shared_;
        shared_ = nullptr;
    }
    void SetUp() override { register_disk_path(0, source()); }
    void TearDown() override {
        clear_disk_paths();
        set_write_budget_for_tests(-1);
    }
    static std::string source() { return shared_->file("source.img"); }
    static std::string one_run() { return shared_->file("one-run"); }
    std::string data(int n) const { return work + "/KRD0000" + std::to_string(n) + ".BIN"; }

    int resume(recording_progress& p, bool rescue = false) {
        return backup_disk(p, 0, work.c_str(), kSectors * 512, backup_options{rescue, true});
    }

    // The set in `work` equals the one-run set; `same_header` when the
    // interrupted run's header is the one-run set's own.
    void expect_same_as_one_run(bool same_header, const std::string& what) {
        folder_files want = files_of(one_run());
        folder_files got = files_of(work);
        ASSERT_EQ(got.size(), want.size()) << what;
        for (auto& [name, bytes] : want) {
            ASSERT_EQ(got.count(name), 1u) << what << ": " << name;
            if (!same_header && name == kDigestFileName) {
                EXPECT_EQ(digests_but_header(got[name]), digests_but_header(bytes)) << what;
            } else if (same_header || name != "KRD00000.BIN") {
                EXPECT_TRUE(got[name] == bytes) << what << ": " << name << " differs";
            }
        }
    }

    temp_folder dir;
    std::string work = dir.file("set");
    static temp_folder* shared_;
};

temp_folder* ResumeBackup::shared_ = nullptr;

TEST_F(ResumeBackup, WhateverTheCutTheResumedSetIsTheOneRunSet) {
    const std::vector<std::int64_t> first = block_starts(one_run() + "/KRD00001.BIN");
    const std::vector<std::int64_t> second = block_starts(one_run() + "/KRD00002.BIN");
    ASSERT_EQ(first.size(), 61u);
    ASSERT_EQ(second.size(), 3u);
    const struct {
        const char* what;
        std::function<void(ResumeBackup&)> interrupt;
        bool same_header;
        bool offered = false;        // the wizard's look offers to go on
        const char* said = nullptr;  // the one message of the resume
    } cases[] = {
        {"between blocks",
         [&](ResumeBackup& t) { cut(t.data(1), first[3]), fs::remove(t.data(2)); }, true, true},
        {"a damaged kept block, whole blocks after it",
         [&](ResumeBackup& t) {
             cut(t.data(1), first[5]), fs::remove(t.data(2));
             std::vector<unsigned char> bytes = read_file(t.data(1));
             bytes[static_cast<std::size_t>(first[1]) + 100] ^= 0x01;
             write_file(t.data(1), bytes);
         },
         true, true, "KRD00001.BIN\nのブロック 2 が壊れていました"},
        {"while the set was read back, every block written",
         [&](ResumeBackup& t) { write_file(t.work + "/" + kUnfinishedMarkName, {'b'}); }, true,
         true},
        {"inside a block's header",
         [&](ResumeBackup& t) { cut(t.data(1), first[3] + 10), fs::remove(t.data(2)); }, true},
        {"inside a block's code",
         [&](ResumeBackup& t) {
             cut(t.data(1), (first[3] + first[4]) / 2 + 1), fs::remove(t.data(2));
         },
         true},
        {"the block in flight is zeros (a power cut)",
         [&](ResumeBackup& t) {
             cut(t.data(1), first[4]);
             std::vector<unsigned char> bytes = read_file(t.data(1));
             std::fill(bytes.begin() + first[3] + 16, bytes.end(), 0);
             write_file(t.data(1), bytes);
             fs::remove(t.data(2));
         },
         true},
        {"no block yet", [&](ResumeBackup& t) { cut(t.data(1), 0), fs::remove(t.data(2)); }, true},
        {"after the 60th block of a data file", [&](ResumeBackup& t) { fs::remove(t.data(2)); },
         true},
        {"the next data file opened, empty", [&](ResumeBackup& t) { cut(t.data(2), 0); }, true},
        {"in the last block of the disk", [&](ResumeBackup& t) { cut(t.data(2), second[1] + 40); },
         true},
        {"while the digest file was written",
         [&](ResumeBackup& t) {
             write_file(t.work + "/KRDHASH.TMP", {'h', 'a', 'l', 'f'});
         },
         true},
        {"while the header was written",
         [&](ResumeBackup& t) {
             for (int n : {1, 2}) fs::remove(t.data(n));
             cut(t.work + "/KRD00000.BIN", 100);
         },
         false},
        {"before anything was written",
         [&](ResumeBackup& t) {
             for (int n : {1, 2}) fs::remove(t.data(n));
             fs::remove(t.work + "/KRD00000.BIN");
         },
         false},
    };
    for (const auto& c : cases) {
        fs::remove_all(work);
        copy_folder(one_run(), work);
        fs::remove(work + "/" + kDigestFileName);
        c.interrupt(*this);
        if (c.offered) EXPECT_TRUE(unfinished_set_of_disk(work.c_str(), 0, kSectors)) << c.what;
        recording_progress p;
        recording_sink sink;
        ASSERT_EQ(resume(p), kEngineDone)
            << c.what << (sink.seen.empty() ? "" : ": " + sink.seen[0].text);
        if (c.said == nullptr) {
            EXPECT_TRUE(sink.seen.empty()) << c.what << ": " << sink.seen[0].text;
        } else {
            ASSERT_EQ(sink.seen.size(), 1u) << c.what;
            EXPECT_NE(sink.seen[0].text.find(c.said), std::string::npos) << sink.seen[0].text;
        }
        expect_same_as_one_run(c.same_header, c.what);
    }
}

TEST_F(ResumeBackup, StopsAndFailuresOfTheBackupAndOfTheResumeGoOnToo) {
    const struct {
        const char* what;
        int stop_at_detail;         // the backup is stopped at this detail line...
        std::int64_t write_budget;  // ...or its writes fail after these bytes
        int resume_stop_at_detail;  // the first resume is stopped too (-1: not)
    } cases[] = {
        {"stopped after two blocks", 3, -1, -1},
        {"stopped after the 60th block", 61, -1, -1},
        {"stopped in the second data file", 62, -1, -1},
        {"a full medium inside a block", -1, 8192 + 5000, -1},
        {"stopped, then the resume stopped too", 3, -1, 10},
        {"stopped, then the resume stopped while it examined", 30, -1, 5},
    };
    for (const auto& c : cases) {
        fs::remove_all(work);
        fs::create_directories(work);
        {
            recording_progress p;
            p.stop_at_detail = c.stop_at_detail;
            recording_sink sink;
            set_write_budget_for_tests(c.write_budget);
            ASSERT_EQ(backup_disk(p, 0, work.c_str(), kSectors * 512), kEngineFailed) << c.what;
            set_write_budget_for_tests(-1);
        }
        if (c.resume_stop_at_detail > 0) {
            recording_progress p;
            p.stop_at_detail = c.resume_stop_at_detail;
            recording_sink sink;
            ASSERT_EQ(resume(p), kEngineFailed) << c.what;
            EXPECT_TRUE(sink.seen.empty()) << c.what << ": " << sink.seen[0].text;
        }
        recording_progress p;
        recording_sink sink;
        ASSERT_EQ(resume(p), kEngineDone)
            << c.what << (sink.seen.empty() ? "" : ": " + sink.seen[0].text);
        expect_same_as_one_run(false, c.what);
    }
}

TEST_F(ResumeBackup, ASetThatCannotGoOnSaysWhyAndStaysAsItWas) {
    const std::string other = dir.file("other.img");
    const std::string changed = dir.file("changed.img");
    make_disk_image(other, kSectors + 1);
    fs::copy_file(source(), changed);
    {
        // A sector inside the third block: the set (cut after it) is not this disk's.
        std::fstream image(changed, std::ios::binary | std::ios::in | std::ios::out);
        image.seekp(static_cast<std::streamoff>((2 * kChunk + 5) * 512));
        image.write(std::string(512, '\x77').data(), 512);
        ASSERT_TRUE(image.good());
    }
    // A sector of the 33rd block, one of those compared between the first
    // and the last of 60.
    const std::string changed_later = dir.file("changed-later.img");
    fs::copy_file(source(), changed_later);
    {
        std::fstream image(changed_later, std::ios::binary | std::ios::in | std::ios::out);
        image.seekp(static_cast<std::streamoff>((32 * kChunk + 5) * 512));
        image.write(std::string(512, '\x77').data(), 512);
        ASSERT_TRUE(image.good());
    }
    const std::string other_mbr = dir.file("other-mbr.img");
    {
        std::vector<unsigned char> sector0(512, 0x3C);
        sector0[510] = 0x55, sector0[511] = 0xAA;
        make_disk_image(other_mbr, kSectors, sector0);
    }
    const std::vector<std::int64_t> first = block_starts(one_run() + "/KRD00001.BIN");
    ASSERT_EQ(first.size(), 61u);
    auto keep_blocks = [&](ResumeBackup& t, int blocks) {
        fs::remove(t.work + "/" + kDigestFileName);
        fs::remove(t.data(2));
        cut(t.data(1), first[blocks]);
    };
    const struct {
        const char* what;
        std::function<void(ResumeBackup&)> prepare;
        std::string disk;
        std::string said;  // part of the one message
    } cases[] = {
        {"complete", [](ResumeBackup&) {}, "", "完成しています"},
        // Every block there and no digest file: an older writer's finished set.
        {"complete without a digest file",
         [](ResumeBackup& t) { fs::remove(t.work + "/" + kDigestFileName); }, "", "完成しています"},
        {"a block between the first and the last changed on the disk since",
         [&](ResumeBackup& t) { keep_blocks(t, 60); }, changed_later, "セクタ 1,048,581 から"},
        {"another disk's size", [](ResumeBackup& t) { fs::remove(t.work + "/" + kDigestFileName); },
         other,
         "バックアップデータ 1,023,461,376 バイト、元ディスク(ディスク 0) 1,023,461,888 バイト"},
        {"the last block is not the disk's",
         [&](ResumeBackup& t) {
             fs::remove(t.work + "/" + kDigestFileName);
             fs::remove(t.data(2));
             cut(t.data(1), first[3]);
         },
         changed, "セクタ 65,541 から"},
        {"another disk of the same size: its MBR differs",
         [&](ResumeBackup& t) { keep_blocks(t, 3); }, other_mbr, "セクタ 0 から"},
        {"not one sector left to compare",
         [&](ResumeBackup& t) {
             keep_blocks(t, 1);
             bad_sector_map lost;
             lost.add(0, kChunk, sector_state::unreadable);
             const std::string text = encode_bad_sector_map(lost, false);
             write_file(t.work + "/KRDMAP.TXT",
                        std::vector<unsigned char>(text.begin(), text.end()));
         },
         "", "確かめられません"},
        {"a damaged block before the last data file",
         [&](ResumeBackup& t) {
             fs::remove(t.work + "/" + kDigestFileName);
             std::vector<unsigned char> bytes = read_file(t.data(1));
             bytes[first[7] + 1] ^= 0xFF;
             write_file(t.data(1), bytes);
         },
         "", "KRD00001.BIN のブロック 8 を読めません"},
        {"a hole: the first data file short, a second one there",
         [&](ResumeBackup& t) {
             fs::remove(t.work + "/" + kDigestFileName);
             cut(t.data(1), first[30]);
         },
         "", "KRD00002.BIN のブロック 1"},
        {"a map that does not read",
         [](ResumeBackup& t) {
             fs::remove(t.work + "/" + kDigestFileName);
             write_file(t.work + "/KRDMAP.TXT", {'x', '\n'});
         },
         "", "KRDMAP.TXT"},
        {"a damaged header with data behind it",
         [](ResumeBackup& t) {
             fs::remove(t.work + "/" + kDigestFileName);
             cut(t.work + "/KRD00000.BIN", 8000);
         },
         "", "KRD00000.BIN"},
    };
    for (const auto& c : cases) {
        fs::remove_all(work);
        copy_folder(one_run(), work);
        c.prepare(*this);
        register_disk_path(0, c.disk.empty() ? source() : c.disk);
        const folder_files before = files_of(work);
        recording_progress p;
        recording_sink sink;
        const std::uint64_t bytes = fs::file_size(c.disk.empty() ? source() : c.disk);
        EXPECT_EQ(backup_disk(p, 0, work.c_str(), bytes, backup_options{false, true}),
                  kEngineFailed)
            << c.what;
        ASSERT_EQ(sink.seen.size(), 1u) << c.what;
        EXPECT_NE(sink.seen[0].text.find(c.said), std::string::npos)
            << c.what << ": " << sink.seen[0].text;
        EXPECT_TRUE(files_of(work) == before) << c.what << ": the set was changed";
    }
}

TEST_F(ResumeBackup, ARescueGoesOnWithItsMap) {
    // A smaller disk with unreadable sectors in the second and fifth chunks.
    constexpr std::uint64_t kSmall = 6 * kChunk;
    const std::string image = dir.file("failing.img");
    make_disk_image(image, kSmall);
    disk_faults faults;
    faults.bad_sectors = {kChunk + 17, kChunk + 18, 4 * kChunk + 1000};
    auto use_failing_disk = [&] {
        register_disk_path(0, image);
        set_disk_faults(0, faults);
    };
    const std::string whole = dir.file("whole");
    fs::create_directories(whole);
    {
        use_failing_disk();
        recording_progress p;
        recording_sink sink;
        ASSERT_EQ(backup_disk(p, 0, whole.c_str(), kSmall * 512, backup_options{true, false}),
                  kEngineDone);
    }
    bad_sector_map map;
    int bad_line = 0;
    ASSERT_EQ(read_bad_sector_map(whole.c_str(), &map, &bad_line), map_read::read);
    ASSERT_EQ(map.sectors(sector_state::unreadable), 3u);

    for (const int stop_at : {2, 3, 5, 6}) {
        fs::remove_all(work);
        fs::create_directories(work);
        use_failing_disk();
        {
            recording_progress p;
            p.stop_at_detail = stop_at;
            recording_sink sink;
            ASSERT_EQ(backup_disk(p, 0, work.c_str(), kSmall * 512, backup_options{true, false}),
                      kEngineFailed);
        }
        recording_progress p;
        recording_sink sink;
        ASSERT_EQ(backup_disk(p, 0, work.c_str(), kSmall * 512, backup_options{true, true}),
                  kEngineDone)
            << stop_at << (sink.seen.empty() ? "" : ": " + sink.seen[0].text);
        // The closing message counts the sectors lost in both runs.
        ASSERT_FALSE(sink.seen.empty());
        EXPECT_NE(sink.seen.back().text.find(" 3 個"), std::string::npos) << sink.seen.back().text;
        EXPECT_TRUE(read_file(work + "/KRDMAP.TXT") == read_file(whole + "/KRDMAP.TXT")) << stop_at;
        EXPECT_TRUE(read_file(work + "/KRD00001.BIN") == read_file(whole + "/KRD00001.BIN"))
            << stop_at;
        EXPECT_EQ(digests_but_header(read_file(work + "/KRDHASH.TXT")),
                  digests_but_header(read_file(whole + "/KRDHASH.TXT")))
            << stop_at;
    }

    // The disk reads whole now. A resume that keeps one block cuts the map
    // back to it, so when it is stopped after one more block, the next
    // resume does not find that block's sectors marked lost by the old map.
    fs::remove_all(work);
    copy_folder(whole, work);
    fs::remove(work + "/" + kDigestFileName);
    cut(work + "/KRD00001.BIN", block_starts(whole + "/KRD00001.BIN")[1]);
    register_disk_path(0, image);
    {
        recording_progress p;
        p.stop_at_detail = 3;  // one block examined, one copied, stopped at the next
        recording_sink sink;
        ASSERT_EQ(backup_disk(p, 0, work.c_str(), kSmall * 512, backup_options{true, true}),
                  kEngineFailed);
    }
    recording_progress p;
    recording_sink sink;
    ASSERT_EQ(backup_disk(p, 0, work.c_str(), kSmall * 512, backup_options{true, true}),
              kEngineDone);
    bad_sector_map now;
    ASSERT_EQ(read_bad_sector_map(work.c_str(), &now, &bad_line), map_read::read);
    EXPECT_EQ(now.sectors(sector_state::unreadable), 0u);
    EXPECT_EQ(now.end(), kSmall);
}

}  // namespace
}  // namespace kiroda
