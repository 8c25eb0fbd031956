#include "app/backup_flow.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ui/program.h"
#include "ui/recording_sink_test_support.h"
#include "disk/faulty_disk_test_support.h"
#include "disk/disk_image_test_support.h"
#include "disk/physical_disk.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "engine/verify_engine.h"
#include "format/header_file.h"
#include "format/packed_block.h"
#include "util/file_io.h"
#include "util/free_space.h"
#include "util/io_census_test_support.h"
#include "util/number_format.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

namespace fs = std::filesystem;
using test_support::make_disk_image;
using test_support::make_mbr;
using test_support::make_mbr_one_partition;
using test_support::mbr_slot;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::temp_folder;
using test_support::write_file;

constexpr std::uint64_t kSectors = 2 * 32768 + 7;
#ifdef _WIN32
constexpr const char* kSeparator = "\\";
#else
constexpr const char* kSeparator = "/";
#endif
constexpr double kPlenty = 1e15;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class BackupFlow : public ::testing::Test {
  protected:
    void SetUp() override {
        make_disk_image(images.file("source.img"), kSectors, make_mbr_one_partition(63, 1000));
        register_disk_path(0, images.file("source.img"));
        write_file(program.file("KIRODA.EXE"), {'M', 'Z', 1, 2, 3});
        set_free_space_for_tests([this](const char*) { return free_bytes; });
    }
    void TearDown() override {
        clear_disk_paths();
        set_free_space_for_tests({});
    }

    // The flow with steps that record what they were asked to do; the
    // backup itself is the real engine behind a recording progress.
    int run(const std::string& folder, int scope = kScopeWholeDisk, int zero_fill = 0) {
        return run(folder.c_str(), scope, zero_fill);
    }
    int run(const char* folder, int scope = kScopeWholeDisk, int zero_fill = 0) {
        backup_request r;
        r.source_disk = 0;
        r.folder = folder;
        r.scope = scope;
        r.zero_fill = zero_fill;
        const std::string program_path = program.file("KIRODA.EXE");
        backup_flow_steps steps;
        steps.program_path = program_path.c_str();
        steps.program_folder = "PROGRAM-FOLDER";
        steps.copy_program = [this](const char* from, const char* to) {
            copies.emplace_back(std::string(from) + " -> " + to);
            if (!copy_works) return false;
            write_file(to, test_support::read_file(from));  // MinGW's copy_file never overwrites
            return true;
        };
        steps.zero_fill = [this](char letter) { zero_filled += letter; };
        steps.run_backup = [this](const char* f, std::uint64_t size, bool resume) {
            backups.push_back(size);
            backup_folder = f;
            resumed = resume;
            recording_progress p;
            return backup_disk(p, 0, f, size, backup_options{false, resume});
        };
        return run_backup_flow(nullptr, r, steps);
    }

    bool folder_untouched() const {
        return fs::is_empty(set.path()) && copies.empty() && backups.empty();
    }

    temp_folder images;
    temp_folder set;
    temp_folder program;
    double free_bytes = kPlenty;
    bool copy_works = true;
    std::vector<std::string> copies;
    std::vector<std::uint64_t> backups;
    std::string backup_folder;
    std::string zero_filled;
    bool resumed = false;
};

TEST_F(BackupFlow, AConfirmedBackupCopiesTheProgramAndWritesASetThatPassesTheDataTest) {
    recording_sink sink({kIdOk});
    ASSERT_EQ(run(set.text() + kSeparator), 1);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].type, kMbOkCancel);
    EXPECT_EQ(sink.seen[0].caption, program_caption());
    // The question names every figure: disk, size, folder, free space, scope,
    // zero fill, program and its copy.
    for (const std::string& part :
         {std::string("33,558,016"), set.text(), std::string("1,000,000,000,000,000"),
          std::string("ディスク全面"), std::string("実施しない"), program.file("KIRODA.EXE"),
          set.file("KIRODA.EXE")}) {
        EXPECT_TRUE(contains(sink.seen[0].text, part)) << part;
    }
    EXPECT_EQ(backups, std::vector<std::uint64_t>{kSectors * 512});
    EXPECT_EQ(backup_folder, set.text());  // the trailing separator is dropped
    EXPECT_EQ(test_support::read_file(set.file("KIRODA.EXE")),
              (std::vector<unsigned char>{'M', 'Z', 1, 2, 3}));
    recording_progress p;
    EXPECT_EQ(verify_backup_set(p, set.text().c_str(), kSectors * 512), kEngineDone);
    EXPECT_TRUE(zero_filled.empty());
}

TEST_F(BackupFlow, AnyAnswerButOkToTheLastQuestionWritesNothing) {
    for (const int answer : {kIdCancel, kNoAnswer}) {
        recording_sink sink({answer});
        EXPECT_EQ(run(set.text()), 0);
        EXPECT_EQ(sink.seen.size(), 1u);
        EXPECT_TRUE(folder_untouched());
    }
}

TEST_F(BackupFlow, EveryRefusalComesBeforeAnythingIsWritten) {
    fs::create_directory(set.path() / "KIRODA.EXE");
    temp_folder with_data;
    write_file(with_data.file("KRD00001.BIN"), {1});
    temp_folder with_dir;
    fs::create_directory(with_dir.path() / "KRD00000.BIN");
    // An old set's map alone would be read as the new set's.
    temp_folder with_map;
    write_file(with_map.file("KRDMAP.TXT"), {'#'});
    const std::string plain_file = images.file("source.img");
    const std::string missing = set.text() + "/missing";

    const struct {
        const char* what;
        std::string folder;
        std::function<void()> arrange;
        std::string names;  // a value the message must show
        std::string says;   // and a word of its text
    } cases[] = {
        {"not a folder", missing, [] {}, missing, "ありません"},
        {"a file, not a folder", plain_file, [] {}, plain_file, "ありません"},
        {"a program copy is there", set.text(), [] {}, set.file("KIRODA.EXE"), "KIRODA.EXE"},
        {"a data file is there", with_data.text(), [] {}, with_data.file("KRD00001.BIN"),
         "バックアップデータ"},
        {"a folder named like the header", with_dir.text(), [] {}, with_dir.file("KRD00000.BIN"),
         "バックアップデータ"},
        {"an old set's map is there", with_map.text(), [] {}, with_map.file("KRDMAP.TXT"),
         "バックアップデータ"},
        {"the disk does not open", images.text(), [] { clear_disk_paths(); }, "0", "開けません"},
        {"4096-byte sectors", images.text(),
         [] {
             disk_faults f;
             f.bytes_per_sector = 4096;
             set_disk_faults(0, f);
         },
         "4096", "セクタサイズ"},
        {"neither fixed nor removable", images.text(),
         [] {
             disk_faults f;
             f.media_type = kMediaUnknown;
             set_disk_faults(0, f);
         },
         media_type_name(kMediaUnknown), "メディアタイプ"},
        {"the size query fails", images.text(),
         [] {
             disk_faults f;
             f.size_query_fails = true;
             set_disk_faults(0, f);
         },
         "0", "大きさ"},
        {"a disk of less than a sector", images.text(),
         [this] {
             write_file(images.file("tiny.img"), std::vector<unsigned char>(511, 7));
             register_disk_path(0, images.file("tiny.img"));
         },
         "0", "大きさ"},
        {"the free-space query fails", images.text(), [this] { free_bytes = -1; }, images.text(),
         "空き"},
        {"less than a byte free", images.text(), [this] { free_bytes = 0.5; }, images.text(),
         "空き"},
    };
    for (const auto& c : cases) {
        SetUp();
        free_bytes = kPlenty;
        c.arrange();
        fs::remove(images.file("KRD00000.BIN"));
        recording_sink sink;
        EXPECT_EQ(run(c.folder), -1) << c.what;
        ASSERT_EQ(sink.seen.size(), 1u) << c.what;
        EXPECT_EQ(sink.seen[0].type, kMbOk) << c.what;
        EXPECT_TRUE(contains(sink.seen[0].text, c.names)) << c.what << ": " << sink.seen[0].text;
        EXPECT_TRUE(contains(sink.seen[0].text, c.says)) << c.what << ": " << sink.seen[0].text;
        EXPECT_TRUE(copies.empty() && backups.empty()) << c.what;
        EXPECT_FALSE(fs::exists(images.file("KRD00000.BIN"))) << c.what;
        EXPECT_FALSE(fs::exists(images.file("KIRODA.EXE"))) << c.what;
    }
}

TEST_F(BackupFlow, AFolderOnAnyExtentOfTheSourceDiskIsRefusedFirst) {
    // The folder's volume spans disks 2 and 0; the first extent alone would pass it.
    register_drive_extents('E', {2, 0});
    register_drive_extents('F', {2});
    {
        recording_sink sink;
        EXPECT_EQ(run("E:\\BK"), -1);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_TRUE(contains(sink.seen[0].text, "E:\\BK"));
        EXPECT_TRUE(contains(sink.seen[0].text, "元ディスク: ディスク 0"));
        // The folder's disk is the one that holds its volume, not the source again.
        EXPECT_TRUE(contains(sink.seen[0].text, "フォルダのディスク: ディスク 2"));
    }
    {
        // Disk 2 alone is not the source: the flow goes on (and finds no such folder).
        recording_sink sink;
        EXPECT_EQ(run("F:\\BK"), -1);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_TRUE(contains(sink.seen[0].text, "ありません"));
    }
    EXPECT_TRUE(path_on_disk("E:\\", 0));
    EXPECT_TRUE(path_on_disk("E:\\", 2));
    EXPECT_FALSE(path_on_disk("F:\\", 0));
    EXPECT_FALSE(path_on_disk("\\\\server\\share", 0));  // a share maps to no disk
    EXPECT_FALSE(path_on_disk("", 0));
}

TEST_F(BackupFlow, AFolderTooLongForTheSetsNamesIsRefusedBeforeAnyCheck) {
    // 2,034 bytes still take "\KRD00000.BIN" and the NUL; one more does not.
    constexpr std::size_t kGuard = 16;
    for (const std::size_t length : {std::size_t{2035}, std::size_t{2040}, std::size_t{5000}}) {
        std::vector<char> buffer(length + 1 + kGuard, 'Z');
        const std::string base = set.text() + kSeparator;
        std::copy(base.begin(), base.end(), buffer.begin());
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(base.size()),
                  buffer.begin() + static_cast<std::ptrdiff_t>(length), 'a');
        buffer[length] = '\0';
        recording_sink sink;
        EXPECT_EQ(run(buffer.data()), -1) << length;
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_TRUE(contains(sink.seen[0].text, "長すぎます")) << length;
        EXPECT_EQ(std::string(buffer.end() - kGuard, buffer.end()), std::string(kGuard, 'Z'));
    }
    std::string longest = set.text() + kSeparator;
    longest.append(kLongestBackupFolder - longest.size(), 'a');
    recording_sink sink;
    EXPECT_EQ(run(longest.c_str()), -1);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_TRUE(contains(sink.seen[0].text, "ありません"));  // past the length test
    EXPECT_TRUE(folder_untouched());
}

TEST_F(BackupFlow, TheWarningReplacesTheConfirmationWhenTheSpaceMayBeShort) {
    const std::uint64_t size = kSectors * 512;
    const struct {
        double free_bytes;
        bool warned;
    } cases[] = {
        {static_cast<double>(size + kDataFileRoom) - 1, true},
        {static_cast<double>(size + kDataFileRoom), false},
        {static_cast<double>(size), true},
        {1, true},
        {1e30, false},
    };
    for (const auto& c : cases) {
        free_bytes = c.free_bytes;
        recording_sink sink({kIdCancel});
        EXPECT_EQ(run(set.text()), 0);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_EQ(contains(sink.seen[0].text, "足りない可能性"), c.warned) << c.free_bytes;
        // Both say the same of the zero fill.
        EXPECT_TRUE(contains(sink.seen[0].text, "NULLPASS(空き領域のゼロ埋め): 実施しない"))
            << c.free_bytes;
    }
    EXPECT_TRUE(folder_untouched());
}

TEST_F(BackupFlow, AFailedProgramCopyIsReportedAndTheBackupStillRuns) {
    copy_works = false;
    recording_sink sink({kIdOk});
    EXPECT_EQ(run(set.text()), 1);
    ASSERT_EQ(sink.seen.size(), 2u);
    EXPECT_EQ(sink.seen[1].type, kMbOk);
    EXPECT_TRUE(contains(sink.seen[1].text, set.text()));
    EXPECT_TRUE(contains(sink.seen[1].text, "PROGRAM-FOLDER"));
    EXPECT_EQ(copies.size(), 1u);
    EXPECT_TRUE(fs::exists(set.file("KRD00001.BIN")));
    EXPECT_FALSE(fs::exists(set.file("KIRODA.EXE")));
}

TEST_F(BackupFlow, AFailedBackupIsPassedOnAndKeepsTheProgramCopy) {
    disk_faults f;
    f.fail_read_at = 40000;
    set_disk_faults(0, f);
    // The last question, OK; the unreadable sector's question, Cancel.
    recording_sink sink({kIdOk, kIdCancel});
    EXPECT_EQ(run(set.text()), -1);
    EXPECT_TRUE(fs::exists(set.file("KIRODA.EXE")));
    ASSERT_EQ(sink.seen.size(), 3u);  // then the engine's read error
    EXPECT_NE(sink.seen[1].text.find("セクタ 32,768 から"), std::string::npos) << sink.seen[1].text;
}

TEST_F(BackupFlow, ValidPartitionScopeEndsWithThePartitionThatEndsLast) {
    const struct {
        const char* what;
        std::vector<unsigned char> sector0;
        std::uint64_t size;  // 0: refused
    } cases[] = {
        {"one partition", make_mbr_one_partition(2048, 204800), 105906176},
        {"the later of two, whatever their order",
         make_mbr({mbr_slot{7, 5000, 100}, mbr_slot{7, 63, 10}, {}, {}}), 5100 * 512ULL},
        {"ending at 2 TiB", make_mbr_one_partition(2048, 4294965248u), (1ULL << 32) * 512},
        {"no partition", make_mbr({mbr_slot{}, {}, {}, {}}), 0},
        {"no signature", make_mbr(std::array<mbr_slot, 4>{mbr_slot{7, 1, 8}, {}, {}, {}}, false),
         0},
    };
    for (const auto& c : cases) {
        write_file(images.file("mbr.img"), c.sector0);
        register_disk_path(0, images.file("mbr.img"));
        recording_sink sink({kIdCancel});
        EXPECT_EQ(run(set.text(), kScopeValidPartitions), c.size == 0 ? -1 : 0) << c.what;
        ASSERT_EQ(sink.seen.size(), 1u) << c.what;
        if (c.size != 0) {
            char grouped[kGroupedTextSize];
            format_uint64_grouped(grouped, c.size);
            EXPECT_TRUE(contains(sink.seen[0].text, grouped))
                << c.what << ": " << sink.seen[0].text;
            EXPECT_TRUE(contains(sink.seen[0].text, "パーテーション有効部")) << c.what;
        }
    }
    disk_faults f;
    f.fail_read_at = 0;
    set_disk_faults(0, f);
    recording_sink sink;
    EXPECT_EQ(run(set.text(), kScopeValidPartitions), -1);
    EXPECT_TRUE(contains(sink.seen.at(0).text, "読み込めません"));
    EXPECT_TRUE(folder_untouched());
}

TEST_F(BackupFlow, ZeroFillRunsOnTheVolumesOfTheSourceDiskOnly) {
    // Letters past the temporary folder's drive, which must stay off the source.
    register_drive_extents('H', {0});
    register_drive_extents('J', {1});
    register_drive_extents('K', {0});
    recording_sink sink({kIdOk});
    EXPECT_EQ(run(set.text(), kScopeWholeDisk, 1), 1);
    EXPECT_EQ(zero_filled, "HK");
    EXPECT_TRUE(contains(sink.seen.at(0).text, "実施する"));
}

TEST_F(BackupFlow, AnUnfinishedSetOfTheDiskIsOfferedToBeContinued) {
    // A finished set of the disk, kept aside to compare with.
    temp_folder whole;
    {
        recording_sink sink({kIdOk});
        ASSERT_EQ(run(whole.text()), 1);
    }
    std::int64_t second_block = 0;
    {
        unique_fd fd(open_for_reading(whole.file("KRD00001.BIN").c_str()));
        ASSERT_GT(skip_packed_block(fd.get()), 0);
        second_block = file_position(fd.get());
    }
    const std::string changed = images.file("changed.img");
    fs::copy_file(images.file("source.img"), changed);
    {
        std::fstream image(changed, std::ios::binary | std::ios::in | std::ios::out);
        image.seekp(40 * 512);  // inside the first block
        image.write(std::string(512, '\x77').data(), 512);
    }
    const std::string bigger = images.file("bigger.img");
    make_disk_image(bigger, kSectors + 1, make_mbr_one_partition(63, 1000));

    const struct {
        const char* what;
        bool finished;             // the digest file stays: a complete set
        std::string disk;          // the disk chosen (the source when empty)
        std::vector<int> answers;  // to the offer and the last question
        int result;
        bool offered;
    } cases[] = {
        {"OK, then OK: it goes on", false, "", {kIdOk, kIdOk}, 1, true},
        {"cancel: it ends, nothing is written", false, "", {kIdCancel}, 0, true},
        {"OK, then cancel: nothing is written", false, "", {kIdOk, kIdCancel}, 0, true},
        {"a finished set is not offered", true, "", {}, -1, false},
        {"another disk's set is not offered", false, bigger, {}, -1, false},
        {"a set whose block the disk no longer holds is not offered",
         false,
         changed,
         {},
         -1,
         false},
    };
    for (const auto& c : cases) {
        for (const auto& entry : fs::directory_iterator(whole.path())) {
            // Over what the case before left (the MinGW library's copy_file
            // refuses to overwrite, whatever the options).
            write_file((set.path() / entry.path().filename()).string(),
                       test_support::read_file(entry.path().string()));
        }
        if (!c.finished) {
            fs::remove(set.file("KRDHASH.TXT"));
            fs::resize_file(set.file("KRD00001.BIN"),
                            static_cast<std::uintmax_t>(second_block) + 100);
        }
        register_disk_path(0, c.disk.empty() ? images.file("source.img") : c.disk);
        const std::vector<unsigned char> before = test_support::read_file(set.file("KRD00001.BIN"));
        backups.clear();
        zero_filled.clear();
        resumed = false;
        recording_sink sink(c.answers);
        // Zero fill asked for: a resumed set must not see the disk change under it.
        EXPECT_EQ(run(set.text(), kScopeWholeDisk, 1), c.result) << c.what;
        ASSERT_FALSE(sink.seen.empty()) << c.what;
        const bool offer = contains(sink.seen[0].text, "未完成のバックアップデータがあります");
        EXPECT_EQ(offer, c.offered) << c.what << ": " << sink.seen[0].text;
        if (offer) {
            EXPECT_EQ(sink.seen[0].type, kMbOkCancel) << c.what;
            EXPECT_TRUE(contains(sink.seen[0].text, "作成日時: ")) << sink.seen[0].text;
        }
        EXPECT_TRUE(zero_filled.empty()) << c.what;
        if (c.result == 1) {
            EXPECT_TRUE(resumed) << c.what;
            EXPECT_TRUE(contains(sink.seen[1].text, "続けます")) << c.what;
            EXPECT_TRUE(contains(sink.seen[1].text, "NULLPASS(空き領域のゼロ埋め): 実施しない"))
                << c.what;
            EXPECT_EQ(test_support::read_file(set.file("KRD00001.BIN")),
                      test_support::read_file(whole.file("KRD00001.BIN")))
                << c.what;
            EXPECT_TRUE(fs::exists(set.file("KRDHASH.TXT"))) << c.what;
        } else {
            EXPECT_TRUE(backups.empty()) << c.what;
            EXPECT_EQ(test_support::read_file(set.file("KRD00001.BIN")), before) << c.what;
            if (c.result == -1) {
                // Today's refusal: the set's program copy is the first thing it finds.
                EXPECT_TRUE(contains(sink.seen.back().text, "既にプログラム"))
                    << c.what << ": " << sink.seen.back().text;
            }
        }
    }
}

TEST(NormaliseFolder, DropsOneTrailingSeparator) {
    char out[16];
#ifdef _WIN32
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"D:\\BK\\", "D:\\BK"},
                 {"D:\\BK", "D:\\BK"},
                 {"D:\\", "D:"},
                 {"D:", "D:"},
                 // The trail byte of "ソ" is the byte of "\": it is no separator.
                 {"D:\\\x83\x5C", "D:\\\x83\x5C"}};
#else
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"/tmp/bk/", "/tmp/bk"}, {"/tmp/bk", "/tmp/bk"}, {"/", "/"}};
#endif
    for (const auto& c : cases) {
        ASSERT_TRUE(normalise_folder(c.in, out, sizeof out)) << c.in;
        EXPECT_STREQ(out, c.out);
    }
    EXPECT_FALSE(normalise_folder("0123456789abcdef", out, sizeof out));
    EXPECT_FALSE(
        normalise_folder("0123456789abcde", out, sizeof out));  // no room for the separator
}

}  // namespace
}  // namespace kiroda
