// The bytes of a set must not depend on the build that wrote them: the
// native and the Windows build both run these tests against the same fixed
// digests, so a set written by one is read by the other.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "format/header_file.h"
#include "format/packed_block.h"
#include "util/file_io.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::fill_random;
using test_support::fnv1a64;
using test_support::read_file;
using test_support::temp_folder;

TEST(GoldenBytes, HeaderRecord) {
    backup_header h{};
    std::strcpy(h.caption, "KIRODA V1.14\x83\xBF Whole-Disk Backup Jun 10 2017");
    std::strcpy(h.notice, "\x8F\x91\x8A\xB7\x82\xA6\x8B\xD6\x8E\x7E");
    h.version = 1.14;
    h.created = {2017, 6, 6, 10, 9, 30, 15, 123};
    h.source_disk = 1;
    h.backup_bytes = 1000204886016ULL;
    std::strcpy(h.folder, "D:\\BACKUP\\\x83\x5C\\");
    h.reserved = 1;
    std::vector<unsigned char> record(kHeaderFileSize);
    encode_header_record(h, record.data());
    EXPECT_EQ(fnv1a64(record), 18406307304525345326ULL);
}

TEST(GoldenBytes, DataFileOfMixedBlocks) {
    temp_folder dir;
    const std::string path = dir.file("KRD00001.BIN");
    std::vector<unsigned char> chunk(kChunkBytes);
    {
        unique_fd fd(open_for_writing(path.c_str()));
        ASSERT_TRUE(fd.valid());
        block_scratch scratch;
        // All zeros, then a mix of zero runs and data, then random bytes, then an odd length.
        std::memset(chunk.data(), 0, chunk.size());
        EXPECT_EQ(write_packed_block(fd.get(), chunk.data(), kChunkBytes, scratch), 8);
        for (std::size_t at = 0; at < chunk.size(); at += 65536) {
            fill_random(chunk.data() + at, 4096 + at % 7, at);
            chunk[at + 5000] = 0xA3;
            chunk[at + 5001] = 0xA3;
            chunk[at + 5002] = 0xA3;
            chunk[at + 5003] = 0xA3;
        }
        EXPECT_GT(write_packed_block(fd.get(), chunk.data(), kChunkBytes, scratch), 0);
        fill_random(chunk.data(), 1 << 20, 77);
        EXPECT_EQ(write_packed_block(fd.get(), chunk.data(), 1 << 20, scratch), 0);
        EXPECT_EQ(write_packed_block(fd.get(), chunk.data(), 1001, scratch), 0);
    }
    const std::vector<unsigned char> file = read_file(path);
    EXPECT_EQ(file.size(), 2105601u);
    EXPECT_EQ(fnv1a64(file), 3623951922124074103ULL);
}

}  // namespace
}  // namespace kiroda
