#include "util/file_io.h"

#include <gtest/gtest.h>

#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>

#include <cerrno>
#endif

#include "util/io_census_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::read_file;
using test_support::temp_folder;
using test_support::write_file;

TEST(FileIo, WritingTruncatesAnOlderLongerFile) {
    temp_folder dir;
    const std::string path = dir.file("KRD00001.BIN");
    write_file(path, std::vector<unsigned char>(1000, 0xEE));
    {
        unique_fd fd(open_for_writing(path.c_str()));
        ASSERT_TRUE(fd.valid());
        const unsigned char data[3] = {1, 2, 3};
        EXPECT_EQ(write_full(fd.get(), data, 3), 3);
        EXPECT_TRUE(commit_file(fd.get()));
    }
    EXPECT_EQ(read_file(path), (std::vector<unsigned char>{1, 2, 3}));
}

TEST(FileIo, ReadFullStopsAtTheEndAndReportsIt) {
    temp_folder dir;
    const std::string path = dir.file("data");
    write_file(path, {9, 8, 7, 6, 5});
    unique_fd fd(open_for_reading(path.c_str()));
    ASSERT_TRUE(fd.valid());
    unsigned char buffer[8] = {};
    EXPECT_EQ(at_end_of_file(fd.get()), end_of_file::before);
    EXPECT_EQ(read_full(fd.get(), buffer, 3), 3);
    EXPECT_EQ(read_full(fd.get(), buffer, 8), 2);
    EXPECT_EQ(buffer[0], 6);
    EXPECT_EQ(at_end_of_file(fd.get()), end_of_file::at_end);
    EXPECT_EQ(read_full(fd.get(), buffer, 8), 0);
}

TEST(FileIo, OpeningAMissingFileFails) {
    temp_folder dir;
    EXPECT_LT(open_for_reading(dir.file("absent").c_str()), 0);
    EXPECT_LT(open_for_writing(dir.file("no/such/folder").c_str()), 0);
}

#if !defined(_WIN32)
// What stands in place of a set's file and is no regular file is refused at
// once: a FIFO would otherwise hold the open until a writer comes.
TEST(FileIo, OnlyARegularFileOpensForReading) {
    temp_folder dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    for (const std::string& path : {dir.file("fifo"), dir.text(), std::string("/dev/null")}) {
        errno = 0;
        EXPECT_LT(open_for_reading(path.c_str()), 0) << path;
        EXPECT_EQ(errno, EINVAL) << path;
    }
}
#endif

TEST(FileIo, WriteBudgetCutsWritesLikeAFullVolume) {
    temp_folder dir;
    const std::string path = dir.file("full");
    unique_fd fd(open_for_writing(path.c_str()));
    ASSERT_TRUE(fd.valid());
    const std::vector<unsigned char> data(100, 0x11);
    set_write_budget_for_tests(150);
    EXPECT_EQ(write_full(fd.get(), data.data(), data.size()), 100);
    EXPECT_EQ(write_full(fd.get(), data.data(), data.size()), 50);
    EXPECT_EQ(write_full(fd.get(), data.data(), data.size()), 0);
    set_write_budget_for_tests(-1);
    EXPECT_EQ(write_full(fd.get(), data.data(), data.size()), 100);
    fd.reset();
    EXPECT_EQ(read_file(path).size(), 250u);
}

// What the installed table answers decides what replace_file and remove_file
// report: a rename whose folder does not reach the volume is no replacement,
// and a file that was never there is gone.
struct table_answers {
    bool renamed;
    bool synced;
    removal removed;
};
table_answers g_answers{};

TEST(FileIo, ReplaceAndRemoveReportWhatTheTableDid) {
    const struct {
        table_answers answers;
        bool replaced;
        bool gone;
    } cases[] = {
        {{true, true, removal::removed}, true, true},
        {{true, false, removal::absent}, false, true},
        {{false, true, removal::failed}, false, false},
    };
    const file_ops* before = &installed_file_ops();
    file_ops scripted = *before;
    scripted.rename_replacing = [](const char*, const char*) { return g_answers.renamed; };
    scripted.sync_folder_of = [](const char*) { return g_answers.synced; };
    scripted.remove_file = [](const char*) { return g_answers.removed; };
    install_file_ops(&scripted);
    for (const auto& c : cases) {
        g_answers = c.answers;
        EXPECT_EQ(replace_file("a", "b"), c.replaced);
        EXPECT_EQ(remove_file("a"), c.gone);
    }
    install_file_ops(before);
}

}  // namespace
}  // namespace kiroda
