#include "format/header_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ui/program.h"
#include "format/crc32.h"
#include "format/header_scramble.h"
#include "ui/recording_sink_test_support.h"
#include "util/file_io.h"
#include "util/io_census_test_support.h"
#include "util/le.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::read_file;
using test_support::recording_sink;
using test_support::temp_folder;
using test_support::write_file;

backup_header sample_header(std::uint64_t bytes = 1000204886016ULL) {
    backup_header h{};
    std::strcpy(h.caption, program_caption_sjis());
    std::strcpy(h.notice, "\x8F\x91\x8A\xB7\x82\xA6\x8B\xD6\x8E\x7E");
    h.version = kProgramVersion;
    h.created = {2026, 12, 1, 7, 13, 45, 30, 250};
    h.source_disk = 1;
    h.backup_bytes = bytes;
    std::strcpy(h.folder, "D:\\BACKUP\\");
    h.reserved = 1;
    return h;
}

std::vector<unsigned char> encoded(const backup_header& h) {
    std::vector<unsigned char> record(kHeaderFileSize);
    encode_header_record(h, record.data());
    return record;
}

// Orders times; the day of the week is left out.
std::uint64_t time_key(const system_time& t) {
    return ((((static_cast<std::uint64_t>(t.year) * 13 + t.month) * 32 + t.day) * 24 + t.hour) *
                60 +
            t.minute) *
               60000 +
           t.second * 1000u + t.milliseconds;
}

TEST(HeaderRecord, EncodesEveryFieldAtItsOffset) {
    const backup_header h = sample_header();
    std::vector<unsigned char> record = encoded(h);
    const std::uint32_t crc = load_le32(record.data() + 8188);
    // Undo the scramble by hand to look at the plain layout.
    std::vector<unsigned char> plain = record;
    backup_header unused{};
    ASSERT_TRUE(decode_header_record(record.data(), &unused));
    classic_rand first(crc);
    classic_rand stream(static_cast<std::uint32_t>(first.next()));
    for (std::size_t i = 0; i < 8188; ++i) plain[i] ^= static_cast<unsigned char>(stream.next());

    EXPECT_EQ(std::string(reinterpret_cast<char*>(plain.data())), program_caption_sjis());
    EXPECT_EQ(std::memcmp(plain.data() + 64, "\x8F\x91\x8A\xB7\x82\xA6\x8B\xD6\x8E\x7E\0", 11), 0);
    EXPECT_EQ(load_le64(plain.data() + 320), 0x3FF23D70A3D70A3DULL);
    EXPECT_EQ(load_le16(plain.data() + 328), 2026);
    EXPECT_EQ(load_le16(plain.data() + 342), 250);
    EXPECT_EQ(load_le32(plain.data() + 344), 1u);
    EXPECT_EQ(load_le64(plain.data() + 348), 1000204886016ULL);
    EXPECT_STREQ(reinterpret_cast<char*>(plain.data() + 356), "D:\\BACKUP\\");
    EXPECT_EQ(load_le32(plain.data() + 2404), 1u);
    for (std::size_t i = 2408; i < 8188; ++i) ASSERT_EQ(plain[i], 0) << i;
    EXPECT_EQ(crc32(plain.data(), 8188), crc);
}

TEST(HeaderRecord, EveryFlippedBitIsDetected) {
    const std::vector<unsigned char> record = encoded(sample_header());
    backup_header decoded{};
    ASSERT_TRUE(decode_header_record(record.data(), &decoded));
    std::vector<unsigned char> damaged = record;
    for (std::size_t i = 0; i < kHeaderFileSize; ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            damaged[i] ^= static_cast<unsigned char>(1 << bit);
            ASSERT_FALSE(decode_header_record(damaged.data(), &decoded)) << i << ":" << bit;
            damaged[i] = record[i];
        }
    }
}

TEST(HeaderRecord, ANewTimeChangesTheWholeKeystream) {
    backup_header a = sample_header();
    backup_header b = a;
    b.created.milliseconds = 251;
    const auto ra = encoded(a);
    const auto rb = encoded(b);
    std::size_t same = 0;
    for (std::size_t i = 2408; i < 8188; ++i) same += ra[i] == rb[i];
    // The zero tail is pure keystream: with another CRC about 1 byte in 256 matches.
    EXPECT_LT(same, 100u);
}

class HeaderFile : public ::testing::Test {
  protected:
    temp_folder dir;
    std::string header_path() const { return dir.file("KRD00000.BIN"); }
};

TEST_F(HeaderFile, WrittenHeaderReadsBack) {
    recording_sink sink;
    const system_time before = local_time_now();
    ASSERT_EQ(write_header_file(nullptr, 1, dir.text().c_str(), 1000204886016ULL), 1);
    const system_time after = local_time_now();
    EXPECT_EQ(read_file(header_path()).size(), kHeaderFileSize);

    backup_header h{};
    ASSERT_EQ(read_header_file(nullptr, dir.text().c_str(), &h), header_read::read);
    EXPECT_TRUE(sink.seen.empty());
    EXPECT_EQ(h.source_disk, 1);
    EXPECT_EQ(h.backup_bytes, 1000204886016ULL);
    EXPECT_EQ(h.version, kProgramVersion);
    EXPECT_EQ(h.reserved, 1u);
    EXPECT_STREQ(h.caption, program_caption_sjis());
    EXPECT_LE(time_key(before), time_key(h.created));
    EXPECT_LE(time_key(h.created), time_key(after));
    const std::string folder = h.folder;
    EXPECT_EQ(folder.substr(0, dir.text().size()), dir.text());
    EXPECT_EQ(folder.size(), dir.text().size() + 1);  // one separator added, never two
    EXPECT_EQ(confirm_header_version(nullptr, h), kIdOk);
    EXPECT_TRUE(sink.seen.empty());  // same version: no question
}

TEST_F(HeaderFile, AnOlderLongerFileIsReplacedNotOverlaid) {
    write_file(header_path(), std::vector<unsigned char>(10000, 0xEE));
    recording_sink sink;
    ASSERT_EQ(write_header_file(nullptr, 0, dir.text().c_str(), 512), 1);
    EXPECT_EQ(read_file(header_path()).size(), kHeaderFileSize);
}

TEST_F(HeaderFile, FolderWithTrailingSeparatorGetsNoSecondOne) {
    recording_sink sink;
    std::string folder = dir.text();
#ifdef _WIN32
    folder += "\\";
#else
    folder += "/";
#endif
    ASSERT_EQ(write_header_file(nullptr, 0, folder.c_str(), 512), 1);
    backup_header h{};
    ASSERT_EQ(read_header_file(nullptr, dir.text().c_str(), &h), header_read::read);
    EXPECT_EQ(std::string(h.folder), folder);
}

TEST_F(HeaderFile, EveryTruncationIsAShortRead) {
    ASSERT_EQ(write_header_file(nullptr, 3, dir.text().c_str(), 4096), 1);
    const std::vector<unsigned char> whole = read_file(header_path());
    for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{31}, std::size_t{4096},
                               std::size_t{8187}, std::size_t{8191}}) {
        write_file(header_path(),
                   std::vector<unsigned char>(whole.begin(), whole.begin() + length));
        recording_sink sink;
        backup_header h{};
        EXPECT_EQ(read_header_file(nullptr, dir.text().c_str(), &h), header_read::short_read)
            << length;
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_NE(sink.seen[0].text.find(header_path()), std::string::npos);
        EXPECT_EQ(sink.seen[0].type, kMbOk);
        EXPECT_EQ(sink.seen[0].caption, program_caption());
    }
    // Extra bytes after the 8192 are not read.
    std::vector<unsigned char> longer = whole;
    longer.resize(9000, 0x77);
    write_file(header_path(), longer);
    recording_sink sink;
    backup_header h{};
    EXPECT_EQ(read_header_file(nullptr, dir.text().c_str(), &h), header_read::read);
    EXPECT_EQ(h.source_disk, 3);
}

TEST_F(HeaderFile, DamageAndImplausibleByteCountsAreRefused) {
    const struct {
        const char* what;
        std::uint64_t bytes;
        int flip_at;  // -1: none
    } cases[] = {
        {"flipped caption byte", 512, 10}, {"flipped tail byte", 512, 8000},
        {"flipped stored crc", 512, 8190}, {"zero bytes", 0, -1},
        {"part of a sector", 511, -1},     {"beyond the signed range", 1ULL << 63, -1},
        {"all bits set", ~0ULL, -1},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> record = encoded(sample_header(c.bytes));
        if (c.flip_at >= 0) record[static_cast<std::size_t>(c.flip_at)] ^= 0x04;
        write_file(header_path(), record);
        recording_sink sink;
        backup_header h{};
        EXPECT_EQ(read_header_file(nullptr, dir.text().c_str(), &h), header_read::damaged)
            << c.what;
        ASSERT_EQ(sink.seen.size(), 1u) << c.what;
        EXPECT_NE(sink.seen[0].text.find(header_path()), std::string::npos);
    }
    // The largest plausible count is accepted.
    write_file(header_path(), encoded(sample_header(static_cast<std::uint64_t>(INT64_MAX) - 511)));
    backup_header h{};
    EXPECT_EQ(read_header_file(nullptr, dir.text().c_str(), &h), header_read::read);
}

TEST_F(HeaderFile, MissingFileCannotBeOpened) {
    recording_sink sink;
    backup_header h{};
    EXPECT_EQ(read_header_file(nullptr, dir.text().c_str(), &h), header_read::cannot_open);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_NE(sink.seen[0].text.find(header_path()), std::string::npos);
}

TEST_F(HeaderFile, WriteFailuresShowTheirMessageAndReturnZero) {
    {
        recording_sink sink;
        const std::string missing = dir.file("no-such-folder");
        EXPECT_EQ(write_header_file(nullptr, 0, missing.c_str(), 512), 0);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_NE(sink.seen[0].text.find("KRD00000.BIN"), std::string::npos);
    }
    {
        recording_sink sink;
        set_write_budget_for_tests(100);
        EXPECT_EQ(write_header_file(nullptr, 0, dir.text().c_str(), 512), 0);
        set_write_budget_for_tests(-1);
        ASSERT_EQ(sink.seen.size(), 1u);
        // The write message differs from the create message.
        recording_sink other;
        write_header_file(nullptr, 0, dir.file("no-such-folder").c_str(), 512);
        ASSERT_EQ(other.seen.size(), 1u);
        EXPECT_NE(sink.seen[0].text, other.seen[0].text);
        backup_header h{};
        recording_sink quiet;
        EXPECT_EQ(read_header_file(nullptr, dir.text().c_str(), &h), header_read::short_read);
    }
}

TEST_F(HeaderFile, FolderTooLongForTheHeaderFieldIsRefusedBeforeWriting) {
    recording_sink sink;
    const std::string folder = dir.text() + std::string(2047 - dir.text().size(), 'x');
    EXPECT_EQ(write_header_file(nullptr, 0, folder.c_str(), 512), 0);
    EXPECT_EQ(sink.seen.size(), 1u);
}

TEST(HeaderVersion, ADifferentVersionAsksAndTheAnswerDecides) {
    backup_header h = sample_header();
    h.version = 1.13;
    {
        recording_sink sink({kIdOk});
        EXPECT_EQ(confirm_header_version(nullptr, h), kIdOk);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_EQ(sink.seen[0].type, kMbOkCancel);
        EXPECT_NE(sink.seen[0].text.find("1.14"), std::string::npos);
        EXPECT_NE(sink.seen[0].text.find("1.13"), std::string::npos);
    }
    {
        recording_sink sink({kIdCancel});
        EXPECT_EQ(confirm_header_version(nullptr, h), kIdCancel);
    }
}

}  // namespace
}  // namespace kiroda
