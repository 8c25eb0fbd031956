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
#include "util/path.h"
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
    recording_sink sink;  // the format says nothing: every test ends with it empty
    std::string header_path() const { return dir.file("KRD00000.BIN"); }
    header_write store(std::int32_t disk, const std::string& folder, std::uint64_t bytes) {
        return store_header_file(disk, folder.c_str(), bytes, nullptr, path, sizeof path);
    }
    header_read load(backup_header* h) {
        return load_header_file(dir.text().c_str(), h, path, sizeof path);
    }
    void TearDown() override { EXPECT_TRUE(sink.seen.empty()); }
    char path[kPathCapacity + 16] = {};
};

TEST_F(HeaderFile, WrittenHeaderReadsBack) {
    const system_time before = local_time_now();
    ASSERT_EQ(store(1, dir.text(), 1000204886016ULL), header_write::written);
    const system_time after = local_time_now();
    EXPECT_EQ(read_file(header_path()).size(), kHeaderFileSize);

    backup_header h{};
    ASSERT_EQ(load(&h), header_read::read);
    EXPECT_EQ(std::string(path), header_path());
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
}

TEST_F(HeaderFile, AnOlderLongerFileIsReplacedNotOverlaid) {
    write_file(header_path(), std::vector<unsigned char>(10000, 0xEE));
    ASSERT_EQ(store(0, dir.text(), 512), header_write::written);
    EXPECT_EQ(read_file(header_path()).size(), kHeaderFileSize);
}

TEST_F(HeaderFile, FolderWithTrailingSeparatorGetsNoSecondOne) {
    std::string folder = dir.text();
#ifdef _WIN32
    folder += "\\";
#else
    folder += "/";
#endif
    ASSERT_EQ(store(0, folder, 512), header_write::written);
    backup_header h{};
    ASSERT_EQ(load(&h), header_read::read);
    EXPECT_EQ(std::string(h.folder), folder);
}

TEST_F(HeaderFile, TheFirst8192BytesDecideAndWhatFollowsIsIgnored) {
    ASSERT_EQ(store(3, dir.text(), 4096), header_write::written);
    const std::vector<unsigned char> whole = read_file(header_path());
    const struct {
        std::size_t length;
        header_read outcome;
    } cases[] = {
        {0, header_read::short_read},    {1, header_read::short_read},
        {31, header_read::short_read},   {4096, header_read::short_read},
        {8187, header_read::short_read}, {8191, header_read::short_read},
        {8192, header_read::read},       {8193, header_read::read},
        {9000, header_read::read},       {20000, header_read::read},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> file = whole;
        file.resize(c.length, 0x77);
        write_file(header_path(), file);
        backup_header h{};
        EXPECT_EQ(load(&h), c.outcome) << c.length;
        EXPECT_EQ(read_header_silently(dir.text().c_str(), &h), c.outcome == header_read::read)
            << c.length;
        if (c.outcome == header_read::read) EXPECT_EQ(h.source_disk, 3);
    }
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
        backup_header h{};
        EXPECT_EQ(load(&h), header_read::damaged) << c.what;
    }
    // The largest plausible count is accepted.
    write_file(header_path(), encoded(sample_header(static_cast<std::uint64_t>(INT64_MAX) - 511)));
    backup_header h{};
    EXPECT_EQ(load(&h), header_read::read);
}

TEST_F(HeaderFile, MissingFileCannotBeOpenedAndItsPathIsGiven) {
    backup_header h{};
    EXPECT_EQ(load(&h), header_read::cannot_open);
    EXPECT_EQ(std::string(path), header_path());
}

TEST_F(HeaderFile, WriteFailuresAreNamedApart) {
    const std::string missing = dir.file("no-such-folder");
    EXPECT_EQ(store(0, missing, 512), header_write::cannot_create);
    EXPECT_NE(std::string(path).find("KRD00000.BIN"), std::string::npos);
    set_write_budget_for_tests(100);
    EXPECT_EQ(store(0, dir.text(), 512), header_write::write_failed);
    set_write_budget_for_tests(-1);
    backup_header h{};
    EXPECT_EQ(load(&h), header_read::short_read);
}

TEST_F(HeaderFile, FolderTooLongForTheHeaderFieldIsRefusedBeforeWriting) {
    const std::string folder = dir.text() + std::string(2047 - dir.text().size(), 'x');
    EXPECT_EQ(store(0, folder, 512), header_write::cannot_create);
    EXPECT_EQ(std::string(path), folder);  // the folder is what the message names
}

}  // namespace
}  // namespace kiroda
