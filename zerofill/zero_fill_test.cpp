#include "zerofill/zero_fill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/recording_sink_test_support.h"
#include "ui/stored_text.h"
#include "util/test_support.h"
#include "zerofill/zero_fill_test_support.h"
#include "zerofill/zero_fill_texts.h"

namespace kiroda {
namespace {

using test_support::capped_volume;
using test_support::entries_in;
using test_support::recording_screen;
using test_support::recording_sink;
using test_support::temp_folder;

// Small units keep the runs quick: 4 KiB chunks, a 10,000-byte margin, and
// FAT files closed once they hold more than 10,000 bytes (three chunks).
constexpr zero_fill_limits kSmall{4096, 10000, 10000};

std::string sep() {
    return std::string(1, static_cast<char>(std::filesystem::path::preferred_separator));
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    for (const auto& l : lines) {
        if (l == line) return true;
    }
    return false;
}

TEST(ZeroFill, NtfsFillsOneFileUpToTheMarginThenRemovesIt) {
    temp_folder folder;
    capped_volume volume(folder.path(), 10000 + 5 * 4096 + 123);
    recording_screen screen;
    recording_sink sink;
    EXPECT_EQ(zero_fill_drive('T', volume.root(), volume, screen, kSmall), kZeroFillFinished);
    EXPECT_EQ(volume.created, std::vector<std::string>{volume.root() + "Z_000000.TMP"});
    // Every chunk is whole until the last, which is cut to what lies above the margin.
    EXPECT_EQ(volume.chunks, (std::vector<std::int64_t>{4096, 4096, 4096, 4096, 4096, 123}));
    EXPECT_TRUE(entries_in(folder.path()).empty());
    EXPECT_TRUE(sink.seen.empty());
    ASSERT_FALSE(screen.statuses.empty());
    EXPECT_EQ(screen.statuses[0], "T: ドライブにゼロを書込中");
    ASSERT_GE(screen.details.size(), 2u);
    EXPECT_EQ(screen.details[screen.details.size() - 2], "バッファ書込中。お待ち下さい。");
    EXPECT_EQ(screen.details.back(), "ファイル削除中。お待ち下さい。");
}

TEST(ZeroFill, TwelveMillionBytesFreeTakeOneCutChunk) {
    temp_folder folder;
    capped_volume volume(folder.path(), 12000000);
    recording_screen screen;
    recording_sink sink;
    EXPECT_EQ(zero_fill_drive('E', volume.root(), volume, screen), kZeroFillFinished);
    EXPECT_EQ(volume.chunks, std::vector<std::int64_t>{1514240});
    // Megabytes of a million bytes above the margin, truncated.
    EXPECT_TRUE(contains(screen.details, "残り 1 (MB)"));
    EXPECT_TRUE(entries_in(folder.path()).empty());
}

TEST(ZeroFill, AVolumeAtTheMarginGetsAnEmptyFileThatIsRemovedAgain) {
    for (const std::int64_t capacity : {std::int64_t{10000}, std::int64_t{9000}, std::int64_t{0}}) {
        temp_folder folder;
        capped_volume volume(folder.path(), capacity);
        recording_screen screen;
        recording_sink sink;
        EXPECT_EQ(zero_fill_drive('T', volume.root(), volume, screen, kSmall), kZeroFillFinished);
        EXPECT_EQ(volume.created.size(), 1u);
        EXPECT_TRUE(volume.chunks.empty());
        EXPECT_TRUE(entries_in(folder.path()).empty()) << capacity;
    }
}

TEST(ZeroFill, FatClosesEachFileOverTheCapAndRemovesFilesAndFolder) {
    for (const int kind : {kFileSystemFat, kFileSystemFat32}) {
        temp_folder folder;
        capped_volume volume(folder.path(), 10000 + 8 * 4096, kind, "FAT32");
        recording_screen screen;
        recording_sink sink;
        EXPECT_EQ(zero_fill_drive('F', volume.root(), volume, screen, kSmall), kZeroFillFinished);
        const std::string dir = volume.root() + "ZEROTEMP" + sep();
        EXPECT_EQ(volume.created,
                  (std::vector<std::string>{dir + "Z_000000.TMP", dir + "Z_000001.TMP",
                                            dir + "Z_000002.TMP"}));
        EXPECT_EQ(volume.chunks.size(), 8u);
        EXPECT_TRUE(entries_in(folder.path()).empty()) << kind;  // the folder is gone too
        EXPECT_TRUE(sink.seen.empty());
        bool rotated = false;
        for (const auto& d : screen.details)
            rotated |= d.find("(MB,バッファ書込中)") != std::string::npos;
        EXPECT_TRUE(rotated);
    }
}

TEST(ZeroFill, AnExistingZerotempFolderIsUsedAndKept) {
    temp_folder folder;
    std::filesystem::create_directory(folder.path() / "ZEROTEMP");
    test_support::write_file(folder.file("ZEROTEMP" + sep() + "notes.txt"), {1, 2, 3});
    capped_volume volume(folder.path(), 10000 + 3 + 4 * 4096, kFileSystemFat, "FAT");
    recording_screen screen;
    recording_sink sink;
    EXPECT_EQ(zero_fill_drive('F', volume.root(), volume, screen, kSmall), kZeroFillFinished);
    EXPECT_EQ(volume.created.size(), 2u);
    EXPECT_EQ(entries_in(folder.path()),
              (std::vector<std::string>{"ZEROTEMP", "ZEROTEMP/notes.txt"}));
}

TEST(ZeroFill, AUserFileWithATemporaryNameStopsTheRunUntouched) {
    const struct {
        int kind;
        std::string existing;  // relative to the root
        std::size_t files_made_first;
    } cases[] = {
        {kFileSystemNtfs, "Z_000000.TMP", 0},
        {kFileSystemFat32, "ZEROTEMP" + sep() + "Z_000000.TMP", 0},
        // The second file's name is taken: the first, ours, is removed again.
        {kFileSystemFat32, "ZEROTEMP" + sep() + "Z_000001.TMP", 1},
    };
    for (const auto& c : cases) {
        temp_folder folder;
        std::filesystem::create_directory(folder.path() / "ZEROTEMP");
        const std::vector<unsigned char> content{'u', 's', 'e', 'r', 0, 1, 2};
        test_support::write_file(folder.file(c.existing), content);
        capped_volume volume(folder.path(), 10000 + 20 * 4096, c.kind, "x");
        recording_screen screen;
        recording_sink sink;
        EXPECT_EQ(zero_fill_drive('U', volume.root(), volume, screen, kSmall), kZeroFillFailed);
        EXPECT_EQ(volume.created.size(), c.files_made_first);
        EXPECT_EQ(test_support::read_file(folder.file(c.existing)), content) << c.existing;
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_EQ(sink.seen[0].caption, kNullpassCaption);
        EXPECT_EQ(sink.seen[0].text,
                  "一時ファイル「" + volume.root() + c.existing + "」の作成に失敗しました。");
        // Only the user's file and the folder that was there before are left.
        std::vector<std::string> expected{"ZEROTEMP",
                                          std::filesystem::path(c.existing).generic_string()};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(entries_in(folder.path()), expected);
    }
}

TEST(ZeroFill, AStopEndsTheRunWithEverythingRemoved) {
    for (const int kind : {kFileSystemNtfs, kFileSystemFat32}) {
        temp_folder folder;
        capped_volume volume(folder.path(), 10000 + 100 * 4096, kind, "x");
        recording_screen screen;
        screen.stop_after_details = 5;
        recording_sink sink;
        EXPECT_EQ(zero_fill_drive('S', volume.root(), volume, screen, kSmall), kZeroFillStopped);
        EXPECT_LT(volume.chunks.size(), 10u);
        EXPECT_TRUE(entries_in(folder.path()).empty()) << kind;
        EXPECT_TRUE(sink.seen.empty());
    }
}

TEST(ZeroFill, AStopBeforeTheStartCreatesNothing) {
    temp_folder folder;
    capped_volume volume(folder.path(), 10000 + 100 * 4096, kFileSystemFat, "FAT");
    recording_screen screen;
    screen.stop_after_details = 0;
    EXPECT_EQ(zero_fill_drive('S', volume.root(), volume, screen, kSmall), kZeroFillStopped);
    EXPECT_TRUE(volume.created.empty());
    EXPECT_EQ(volume.free_queries, 0);
    EXPECT_TRUE(entries_in(folder.path()).empty());
}

TEST(ZeroFill, AShortWriteFailsWithoutAMessageAndRemovesTheFiles) {
    for (const int kind : {kFileSystemNtfs, kFileSystemFat}) {
        temp_folder folder;
        capped_volume volume(folder.path(), 10000 + 100 * 4096, kind, "x");
        volume.write_budget = 4096 * 4 + 100;
        recording_screen screen;
        recording_sink sink;
        EXPECT_EQ(zero_fill_drive('W', volume.root(), volume, screen, kSmall), kZeroFillFailed);
        EXPECT_TRUE(contains(screen.details, "バッファ書込中。(Write False)"));
        EXPECT_EQ(screen.details.back(), "ファイル削除中。お待ち下さい。");
        EXPECT_TRUE(sink.seen.empty());
        EXPECT_TRUE(entries_in(folder.path()).empty()) << kind;
    }
}

TEST(ZeroFill, AFailedFreeSpaceQueryIsAFailureNotAFullVolume) {
    temp_folder folder;
    capped_volume volume(folder.path(), 10000 + 100 * 4096, kFileSystemFat32, "FAT32");
    volume.free_query_fails_at = 3;
    recording_screen screen;
    recording_sink sink;
    EXPECT_EQ(zero_fill_drive('Q', volume.root(), volume, screen, kSmall), kZeroFillFailed);
    EXPECT_EQ(volume.chunks.size(), 2u);
    EXPECT_TRUE(entries_in(folder.path()).empty());
}

TEST(ZeroFill, UnsupportedOrUnreadableFileSystemsAreRefusedBeforeAnythingIsMade) {
    const struct {
        int kind;
        const char* name;
    } cases[] = {
        {kFileSystemOther, "exFAT"}, {kFileSystemOther, "CDFS"}, {kFileSystemQueryFailed, "Error"}};
    for (const auto& c : cases) {
        temp_folder folder;
        capped_volume volume(folder.path(), 10000 + 100 * 4096, c.kind, c.name);
        recording_screen screen;
        recording_sink sink;
        EXPECT_EQ(zero_fill_drive('X', volume.root(), volume, screen, kSmall), kZeroFillFailed);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_EQ(sink.seen[0].text,
                  "ファイルシステムが異常です。\n本プログラムは、NTFS,FAT,FAT32 のみ対応です。\n"
                  "ファイルシステム = " +
                      std::string(c.name) + "  (" + volume.root() + ")");
        EXPECT_TRUE(volume.created.empty());
        EXPECT_TRUE(entries_in(folder.path()).empty());
    }
}

TEST(ZeroFill, AFolderThatCannotBeMadeIsReported) {
    temp_folder folder;
    // A file named ZEROTEMP: not a folder, and no folder can be made there.
    test_support::write_file(folder.file("ZEROTEMP"), {7});
    capped_volume volume(folder.path(), 10000 + 100 * 4096, kFileSystemFat, "FAT");
    recording_screen screen;
    recording_sink sink;
    EXPECT_EQ(zero_fill_drive('D', volume.root(), volume, screen, kSmall), kZeroFillFailed);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_EQ(sink.seen[0].text,
              "一時ファイル保管用フォルダの作成に失敗しました。\n[" + volume.root() + "ZEROTEMP]");
    EXPECT_EQ(test_support::read_file(folder.file("ZEROTEMP")), std::vector<unsigned char>{7});
}

TEST(ZeroFill, AFolderMadeForAFileThatCannotBeCreatedIsRemovedAgain) {
    temp_folder folder;
    capped_volume volume(folder.path(), 10000 + 100 * 4096, kFileSystemFat32, "FAT32");
    volume.create_fails_at = 0;
    recording_screen screen;
    recording_sink sink;
    EXPECT_EQ(zero_fill_drive('C', volume.root(), volume, screen, kSmall), kZeroFillFailed);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_NE(sink.seen[0].text.find("の作成に失敗しました。"), std::string::npos);
    EXPECT_TRUE(entries_in(folder.path()).empty());
}

std::string stored(stored_text t) {
    return get_stored_text(t);
}

TEST(ZeroFill, CleanUpFailuresAreReportedAndFailTheRun) {
    struct outcome {
        int kind;
        bool stop;
        bool undeletable_first;
        bool folder_stays;
    };
    const outcome cases[] = {
        {kFileSystemNtfs, false, true, false},  {kFileSystemNtfs, true, true, false},
        {kFileSystemFat32, false, true, false}, {kFileSystemFat32, false, false, true},
        {kFileSystemFat, true, false, true},
    };
    for (const auto& c : cases) {
        temp_folder folder;
        capped_volume volume(folder.path(), 10000 + 8 * 4096, c.kind, "x");
        const std::string first = zero_file_path(volume.root(), c.kind, 0);
        if (c.undeletable_first) volume.undeletable.insert(first);
        volume.folder_stays = c.folder_stays;
        recording_screen screen;
        if (c.stop) screen.stop_after_details = 3;
        recording_sink sink;
        EXPECT_EQ(zero_fill_drive('R', volume.root(), volume, screen, kSmall), kZeroFillFailed);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_EQ(sink.seen[0].caption, kNullpassCaption);
        std::string expected(256, '\0');
        if (c.kind == kFileSystemNtfs) {
            expected.resize(std::snprintf(expected.data(), expected.size(),
                                          stored(zero_fill_texts::kFileNotDeleted).c_str(),
                                          first.c_str()));
        } else if (c.undeletable_first) {
            expected.resize(std::snprintf(expected.data(), expected.size(),
                                          stored(zero_fill_texts::kFilesNotDeleted).c_str(), 'R',
                                          1));
        } else {
            expected.resize(std::snprintf(expected.data(), expected.size(),
                                          stored(zero_fill_texts::kFolderNotRemoved).c_str(), 'R'));
        }
        EXPECT_EQ(sink.seen[0].text, expected);
        // Whatever could be deleted is gone; the undeletable file is what stays.
        for (const auto& path : volume.created) {
            EXPECT_EQ(std::filesystem::exists(path), path == first && c.undeletable_first) << path;
        }
    }
}

TEST(ZeroFillNames, TemporaryFilesFollowTheVolumesFileSystem) {
    const struct {
        const char* root;
        int kind;
        int index;
        const char* path;
    } cases[] = {
        {"E:\\", kFileSystemNtfs, 0, "E:\\Z_000000.TMP"},
        {"E:\\", kFileSystemFat, 0, "E:\\ZEROTEMP\\Z_000000.TMP"},
        {"E:\\", kFileSystemFat32, 12, "E:\\ZEROTEMP\\Z_000012.TMP"},
        {"E:\\", kFileSystemFat32, 999999, "E:\\ZEROTEMP\\Z_999999.TMP"},
        {"/tmp/v/", kFileSystemFat32, 3, "/tmp/v/ZEROTEMP/Z_000003.TMP"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zero_file_path(c.root, c.kind, c.index), c.path);
    }
    EXPECT_EQ(zero_temp_folder("E:\\"), "E:\\ZEROTEMP");
}

}  // namespace
}  // namespace kiroda
