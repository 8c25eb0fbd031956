#include "format/set_digests.h"

#include <gtest/gtest.h>

#include <string>

#include "format/packed_block.h"
#include "util/file_io.h"
#include "util/io_census_test_support.h"
#include "util/path_query.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::temp_folder;

digest128 d(std::uint64_t n) {
    return digest128{n, ~n};
}

// A set of 61 blocks (two data files), the last one short.
set_digests sample() {
    set_digests s;
    s.header_bytes = 8192;
    s.header = d(1);
    for (int i = 0; i < 61; ++i) s.blocks.push_back({i == 60 ? 4096 : kChunkBytes, d(100 + i)});
    s.files = {{123456, d(2)}, {789, d(3)}};
    s.sides = {{"KRDMAP.TXT", 55, d(4)}};
    s.stream_bytes = 60ULL * kChunkBytes + 4096;
    s.stream = d(5);
    return s;
}

void expect_same(const set_digests& a, const set_digests& b) {
    EXPECT_EQ(a.header_bytes, b.header_bytes);
    EXPECT_EQ(a.header, b.header);
    ASSERT_EQ(a.blocks.size(), b.blocks.size());
    for (std::size_t i = 0; i < a.blocks.size(); ++i) {
        EXPECT_EQ(a.blocks[i].bytes, b.blocks[i].bytes);
        EXPECT_EQ(a.blocks[i].digest, b.blocks[i].digest);
    }
    ASSERT_EQ(a.files.size(), b.files.size());
    for (std::size_t i = 0; i < a.files.size(); ++i) {
        EXPECT_EQ(a.files[i].bytes, b.files[i].bytes);
        EXPECT_EQ(a.files[i].digest, b.files[i].digest);
    }
    ASSERT_EQ(a.sides.size(), b.sides.size());
    EXPECT_EQ(a.stream_bytes, b.stream_bytes);
    EXPECT_EQ(a.stream, b.stream);
}

TEST(SetDigests, TextRoundTrip) {
    const set_digests s = sample();
    const std::string text = encode_set_digests(s);
    EXPECT_EQ(text.rfind("KIRODA digests 1\nhash XXH3-128\nheader KRD00000.BIN 8192 ", 0), 0u);
    EXPECT_NE(text.find("\nblock 61 4096 "), std::string::npos);
    EXPECT_NE(text.find("\nfile KRD00002.BIN 789 "), std::string::npos);
    set_digests back;
    ASSERT_EQ(parse_set_digests(text.data(), text.size(), &back), 0);
    expect_same(s, back);
    // Lines ended the Windows way (a file opened and saved in an editor).
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ASSERT_EQ(parse_set_digests(crlf.data(), crlf.size(), &back), 0);
}

// Each kind of damage names the line at fault; nothing is taken from a text
// that does not parse.
TEST(SetDigests, DamagedTextNamesTheLine) {
    const std::string good = encode_set_digests(sample());
    auto replace = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        const std::size_t at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return t.replace(at, from.size(), to);
    };
    const int last = 2 + 1 + 61 + 2 + 1 + 1 + 1;  // end line
    const struct {
        const char* what;
        std::string text;
        int line;
    } cases[] = {
        {"empty", "", 1},
        {"another first line", replace("KIRODA digests 1", "KIRODA digests 2"), 1},
        {"another hash", replace("hash XXH3-128", "hash MD5"), 2},
        {"block numbers skip", replace("\nblock 2 ", "\nblock 3 "), 5},
        {"short digest",
         replace("\nblock 1 16777216 0000000000000064", "\nblock 1 16777216 000000000000064"), 4},
        {"block larger than a chunk", replace("\nblock 1 16777216", "\nblock 1 16777728"), 4},
        {"negative size", replace("\nfile KRD00002.BIN 789", "\nfile KRD00002.BIN -789"), 66},
        {"files out of order", replace("\nfile KRD00002.BIN", "\nfile KRD00003.BIN"), 66},
        {"unknown record", replace("\nstream ", "\nstreams "), 68},
        {"two spaces", replace("\nstream ", "\nstream  "), 68},
        {"a side file outside the folder", replace("side KRDMAP.TXT", "side ../../etc/passwd"), 67},
        {"a side file name with a NUL",
         replace("side KRDMAP.TXT", std::string("side KRDMAP\0TXT", 15)), 67},
        {"cut before end", good.substr(0, good.size() - 4), last},
        {"cut inside the last line", good.substr(0, good.size() - 1), last},
        {"text after end", good + "block 62 512 00000000000000000000000000000000\n", last + 1},
        // Lines that parse but do not agree with each other.
        {"a short block not last", replace("\nblock 1 16777216", "\nblock 1 8192"), last},
        {"stream size off", replace("\nstream 1006637056", "\nstream 1006637568"), last},
        {"a file missing", replace("file KRD00002.BIN", "side KRD00002.BIN"), last},
    };
    for (const auto& c : cases) {
        set_digests out = sample();
        out.blocks.clear();
        EXPECT_EQ(parse_set_digests(c.text.data(), c.text.size(), &out), c.line) << c.what;
        EXPECT_TRUE(out.blocks.empty()) << c.what;
    }
}

TEST(SetDigests, WrittenThroughATemporaryName) {
    temp_folder dir;
    const set_digests s = sample();
    ASSERT_TRUE(write_set_digests(dir.text().c_str(), s));
    EXPECT_FALSE(path_exists(dir.file(kDigestTempName).c_str()));
    set_digests back;
    int bad_line = -1;
    ASSERT_EQ(read_set_digests(dir.text().c_str(), &back, &bad_line), digests_read::read);
    EXPECT_EQ(bad_line, 0);
    expect_same(s, back);

    // A volume that fills up while it is written: no file that looks whole,
    // and the one written before stays as it was.
    set_digests other = sample();
    other.stream = d(99);
    set_write_budget_for_tests(100);
    EXPECT_FALSE(write_set_digests(dir.text().c_str(), other));
    set_write_budget_for_tests(-1);
    EXPECT_FALSE(path_exists(dir.file(kDigestTempName).c_str()));
    ASSERT_EQ(read_set_digests(dir.text().c_str(), &back, &bad_line), digests_read::read);
    EXPECT_EQ(back.stream, s.stream);
}

TEST(SetDigests, AbsentAndUnreadableAreTold) {
    temp_folder dir;
    set_digests out;
    int bad_line = -1;
    EXPECT_EQ(read_set_digests(dir.text().c_str(), &out, &bad_line), digests_read::absent);
    test_support::write_file(dir.file(kDigestFileName), {'K', 'I', 'R', '\n'});
    EXPECT_EQ(read_set_digests(dir.text().c_str(), &out, &bad_line), digests_read::unreadable);
    EXPECT_EQ(bad_line, 1);
}

}  // namespace
}  // namespace kiroda
