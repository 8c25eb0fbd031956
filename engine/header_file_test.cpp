#include "engine/header_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/program.h"
#include "ui/recording_sink_test_support.h"
#include "util/file_io.h"
#include "util/io_census_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::read_file;
using test_support::recording_sink;
using test_support::temp_folder;
using test_support::write_file;

// The speaking reader and the silent one take the same files: each refusal
// the silent one names is one message box naming the file, and a file the
// silent one reads raises none.
TEST(HeaderFileRead, SpeakingAndSilentReadersAgreeOnEveryFile) {
    temp_folder dir;
    const std::string header = dir.file("KRD00000.BIN");
    {
        recording_sink quiet;
        ASSERT_TRUE(write_header_file(nullptr, 2, dir.text().c_str(), 1048576));
    }
    const std::vector<unsigned char> whole = read_file(header);
    const struct {
        const char* what;
        std::size_t length;  // 0 with `absent`: no file
        int flip_at;         // -1: none
        bool absent;
        header_read outcome;
        const char* says;  // a piece of the message, "" for none
    } cases[] = {
        {"whole", 8192, -1, false, header_read::read, ""},
        {"bytes after the record", 8192 + 513, -1, false, header_read::read, ""},
        {"twice the record", 16384, -1, false, header_read::read, ""},
        {"one byte short", 8191, -1, false, header_read::short_read, "短すぎます"},
        {"empty", 0, -1, false, header_read::short_read, "短すぎます"},
        {"flipped byte", 8192, 100, false, header_read::damaged, "壊れているか"},
        {"flipped byte, bytes after", 9000, 100, false, header_read::damaged, "壊れているか"},
        {"missing", 0, -1, true, header_read::cannot_open, "開けません"},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> file = whole;
        file.resize(c.length, 0x5A);
        if (c.flip_at >= 0) file[static_cast<std::size_t>(c.flip_at)] ^= 0x10;
        if (c.absent) {
            remove_file(header.c_str());
        } else {
            write_file(header, file);
        }
        recording_sink sink;
        backup_header silent{};
        char path[600];
        EXPECT_EQ(load_header_file(dir.text().c_str(), &silent, path, sizeof path), c.outcome)
            << c.what;
        EXPECT_TRUE(sink.seen.empty()) << c.what;
        backup_header spoken{};
        EXPECT_EQ(read_header_file(nullptr, dir.text().c_str(), &spoken), c.outcome) << c.what;
        if (c.outcome == header_read::read) {
            EXPECT_TRUE(sink.seen.empty()) << c.what;
            EXPECT_EQ(spoken.backup_bytes, silent.backup_bytes) << c.what;
            continue;
        }
        ASSERT_EQ(sink.seen.size(), 1u) << c.what;
        EXPECT_EQ(sink.seen[0].type, kMbOk);
        EXPECT_EQ(sink.seen[0].caption, program_caption());
        EXPECT_NE(sink.seen[0].text.find(c.says), std::string::npos) << c.what;
        EXPECT_NE(sink.seen[0].text.find(header), std::string::npos) << c.what;
    }
}

TEST(HeaderFileWrite, EachFailureShowsItsOwnMessage) {
    temp_folder dir;
    const struct {
        const char* what;
        std::string folder;
        std::int64_t budget;  // -1: none
        const char* says;
    } cases[] = {
        {"no folder", dir.file("no-such-folder"), -1, "作成できません"},
        {"too long for the field", dir.text() + std::string(2047 - dir.text().size(), 'x'), -1,
         "作成できません"},
        {"volume full", dir.text(), 100, "書き込みに失敗しました"},
    };
    for (const auto& c : cases) {
        recording_sink sink;
        set_write_budget_for_tests(c.budget);
        EXPECT_FALSE(write_header_file(nullptr, 0, c.folder.c_str(), 512)) << c.what;
        set_write_budget_for_tests(-1);
        ASSERT_EQ(sink.seen.size(), 1u) << c.what;
        EXPECT_NE(sink.seen[0].text.find(c.says), std::string::npos) << c.what;
        EXPECT_NE(sink.seen[0].text.find(c.folder), std::string::npos) << c.what;
    }
}

TEST(HeaderVersion, ADifferentVersionAsksAndTheAnswerDecides) {
    backup_header h{};
    h.version = kProgramVersion;
    {
        recording_sink sink;
        EXPECT_EQ(confirm_header_version(nullptr, h), kIdOk);
        EXPECT_TRUE(sink.seen.empty());  // same version: no question
    }
    h.version = 1.13;
    for (const int answer : {kIdOk, kIdCancel}) {
        recording_sink sink({answer});
        EXPECT_EQ(confirm_header_version(nullptr, h), answer);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_EQ(sink.seen[0].type, kMbOkCancel);
        EXPECT_NE(sink.seen[0].text.find("1.14"), std::string::npos);
        EXPECT_NE(sink.seen[0].text.find("1.13"), std::string::npos);
    }
}

}  // namespace
}  // namespace kiroda
