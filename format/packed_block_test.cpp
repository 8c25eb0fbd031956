#include "format/packed_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "format/word_codec.h"
#include "util/file_io.h"
#include "util/io_census_test_support.h"
#include "util/le.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::fill_random;
using test_support::read_file;
using test_support::temp_folder;
using test_support::write_file;

class PackedBlock : public ::testing::Test {
  protected:
    temp_folder dir;
    std::string path = dir.file("KRD00001.BIN");

    // Writes each chunk as one block; returns the write results.
    std::vector<std::int32_t> write_blocks(const std::vector<std::vector<unsigned char>>& chunks) {
        unique_fd fd(open_for_writing(path.c_str()));
        EXPECT_TRUE(fd.valid());
        std::vector<std::int32_t> results;
        block_scratch scratch;
        for (const auto& c : chunks) {
            results.push_back(write_packed_block(fd.get(), c.data(),
                                                 static_cast<std::int32_t>(c.size()), scratch));
        }
        return results;
    }

    // Reads blocks until one fails; returns every result, the failure last.
    std::vector<std::int32_t> read_blocks(std::vector<std::vector<unsigned char>>* chunks = nullptr,
                                          std::int32_t capacity = kChunkBytes) {
        unique_fd fd(open_for_reading(path.c_str()));
        EXPECT_TRUE(fd.valid());
        std::vector<unsigned char> destination(static_cast<std::size_t>(capacity));
        std::vector<std::int32_t> results;
        block_scratch scratch;
        for (;;) {
            const std::int32_t r =
                read_packed_block(fd.get(), destination.data(), capacity, scratch);
            results.push_back(r);
            if (r < 0) break;
            if (chunks != nullptr)
                chunks->emplace_back(destination.begin(), destination.begin() + r);
        }
        return results;
    }
};

std::vector<unsigned char> random_bytes(std::size_t n, std::uint64_t seed) {
    std::vector<unsigned char> v(n);
    fill_random(v.data(), n, seed);
    return v;
}

TEST_F(PackedBlock, ZeroChunkIsAFortyByteBlock) {
    const std::vector<unsigned char> zeros(kChunkBytes, 0);
    EXPECT_EQ(write_blocks({zeros}), std::vector<std::int32_t>{8});
    const std::vector<unsigned char> file = read_file(path);
    ASSERT_EQ(file.size(), 40u);
    EXPECT_EQ(std::memcmp(file.data(), "KRDPACK\0", 8), 0);
    EXPECT_EQ(load_le32(file.data() + 8), 1u);
    EXPECT_EQ(load_le32(file.data() + 12), 16777216u);
    EXPECT_EQ(load_le32(file.data() + 16), 8u);
    EXPECT_EQ(load_le32(file.data() + 20), 0u);
    EXPECT_EQ(load_le32(file.data() + 24), 0u);
    EXPECT_EQ(load_le32(file.data() + 32), kEscapeWord);
    EXPECT_EQ(load_le32(file.data() + 36), 4194304u);
    std::vector<std::vector<unsigned char>> back;
    EXPECT_EQ(read_blocks(&back), (std::vector<std::int32_t>{kChunkBytes, kBlockHeaderShort}));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0], zeros);
}

TEST_F(PackedBlock, IncompressibleChunksAreStored) {
    const auto random = random_bytes(65536, 1);
    std::vector<unsigned char> escapes(4096);
    for (std::size_t i = 0; i < escapes.size(); ++i)
        escapes[i] = 0xA3;  // code would be twice as long
    std::vector<unsigned char> odd = random_bytes(1003, 2);
    EXPECT_EQ(write_blocks({random, escapes, odd}), (std::vector<std::int32_t>{0, 0, 0}));
    const std::vector<unsigned char> file = read_file(path);
    ASSERT_EQ(file.size(), 3 * 32 + 65536 + 4096 + 1003u);
    EXPECT_EQ(load_le32(file.data() + 8), 0u);
    EXPECT_EQ(load_le32(file.data() + 16), 65536u);
    std::vector<std::vector<unsigned char>> back;
    EXPECT_EQ(read_blocks(&back),
              (std::vector<std::int32_t>{65536, 4096, 1003, kBlockHeaderShort}));
    EXPECT_EQ(back[0], random);
    EXPECT_EQ(back[1], escapes);
    EXPECT_EQ(back[2], odd);
}

TEST_F(PackedBlock, TrailingBytesTravelAtTheEndOfThePayload) {
    std::vector<unsigned char> chunk(1027, 0);
    chunk[1024] = 0x11;
    chunk[1026] = 0x33;
    const auto results = write_blocks({chunk});
    ASSERT_EQ(results, std::vector<std::int32_t>{11});  // escape pair + 3 trailing bytes
    const std::vector<unsigned char> file = read_file(path);
    EXPECT_EQ(load_le32(file.data() + 36), 256u);
    EXPECT_EQ(file[40], 0x11);
    EXPECT_EQ(file[42], 0x33);
    EXPECT_EQ(load_le32(file.data() + 20), 0x11u ^ 0x33u);  // byte checksum includes them
    EXPECT_EQ(load_le32(file.data() + 24), 0u);             // word checksum does not
    std::vector<std::vector<unsigned char>> back;
    read_blocks(&back);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0], chunk);
}

// Header fields of the first block in `file`.
void set_le32(std::vector<unsigned char>& file, std::size_t at, std::uint32_t v) {
    store_le32(file.data() + at, v);
}

TEST_F(PackedBlock, DamagedHeadersAreRefusedBeforeThePayloadIsRead) {
    std::vector<unsigned char> mixed(4096, 0);
    fill_random(mixed.data() + 1024, 1024, 3);
    write_blocks({mixed});
    const std::vector<unsigned char> good = read_file(path);
    ASSERT_EQ(load_le32(good.data() + 8), 1u);  // packed

    const struct {
        const char* what;
        std::size_t at;
        std::uint32_t value;  // a 32-bit field, or a byte when at < 8
        std::int32_t expected;
    } cases[] = {
        {"letter changed", 0, 'k', kBlockBadSignature},
        {"eighth byte not NUL", 7, 'X', kBlockBadSignature},
        {"method 2", 8, 2, kBlockBadMethod},
        {"method -1", 8, 0xFFFFFFFFu, kBlockBadMethod},
        {"unpacked -1", 12, 0xFFFFFFFFu, kBlockBadLength},
        {"unpacked beyond capacity", 12, 4097, kBlockBadLength},
        {"unpacked 2^31-1", 12, 0x7FFFFFFFu, kBlockBadLength},
        {"payload -1", 16, 0xFFFFFFFFu, kBlockBadLength},
        {"payload 2^31-1", 16, 0x7FFFFFFFu, kBlockBadLength},
        {"payload beyond capacity", 16, 4097, kBlockBadLength},
        {"payload longer than the file", 16, 4000, kBlockPayloadShort},
        {"payload one word short", 16, load_le32(good.data() + 16) - 4, kBlockUnpackMismatch},
        {"unpacked differs from the code", 12, 4092, kBlockUnpackMismatch},
        {"byte checksum", 20, load_le32(good.data() + 20) ^ 1, kBlockByteChecksum},
        {"word checksum", 24, load_le32(good.data() + 24) ^ 1, kBlockWordChecksum},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> file = good;
        if (c.at < 8) {
            file[c.at] = static_cast<unsigned char>(c.value);
        } else {
            set_le32(file, c.at, c.value);
        }
        write_file(path, file);
        unique_fd fd(open_for_reading(path.c_str()));
        std::vector<unsigned char> destination(4096 + 64, 0xEE);
        EXPECT_EQ(read_packed_block(fd.get(), destination.data(), 4096), c.expected) << c.what;
        for (std::size_t i = 4096; i < destination.size(); ++i)
            ASSERT_EQ(destination[i], 0xEE) << c.what;
        if (c.expected == kBlockBadLength || c.expected == kBlockBadMethod ||
            c.expected == kBlockBadSignature) {
            // Nothing past the header was read: the payload still follows.
            unsigned char next[4];
            ASSERT_EQ(read_full(fd.get(), next, 4), 4);
            EXPECT_EQ(std::memcmp(next, good.data() + 32, 4), 0) << c.what;
        }
    }
    // The reserved field is not examined.
    std::vector<unsigned char> file = good;
    set_le32(file, 28, 0xDEADBEEF);
    write_file(path, file);
    EXPECT_EQ(read_blocks(), (std::vector<std::int32_t>{4096, kBlockHeaderShort}));
}

TEST_F(PackedBlock, ChangedPayloadBytesFailTheChecksums) {
    const auto chunk = random_bytes(4096, 4);
    write_blocks({chunk});
    const std::vector<unsigned char> good = read_file(path);
    std::vector<unsigned char> file = good;
    file[32 + 100] ^= 0x40;
    write_file(path, file);
    EXPECT_EQ(read_blocks().front(), kBlockByteChecksum);
    // The same bit flipped in bytes 0 and 1 of a word cancels in the byte checksum only.
    file = good;
    file[32 + 200] ^= 0x08;
    file[32 + 201] ^= 0x08;
    write_file(path, file);
    EXPECT_EQ(read_blocks().front(), kBlockWordChecksum);
}

TEST_F(PackedBlock, AFileCutAnywhereGivesTheFailureOfWhereItWasCut) {
    std::vector<unsigned char> packed(8192, 0);
    fill_random(packed.data() + 4096, 64, 5);
    const auto stored = random_bytes(2048, 6);
    const std::vector<std::int32_t> written = write_blocks({packed, stored});
    ASSERT_EQ(written, (std::vector<std::int32_t>{80, 0}));  // two escape pairs and 16 words
    const std::vector<unsigned char> whole = read_file(path);
    ASSERT_EQ(whole.size(), 32 + 80 + 32 + 2048u);
    const std::size_t second = 32 + 80;
    for (std::size_t length = 0; length < whole.size(); ++length) {
        write_file(path, std::vector<unsigned char>(whole.begin(), whole.begin() + length));
        const std::vector<std::int32_t> results = read_blocks(nullptr, 8192);
        std::vector<std::int32_t> expected;
        if (length < 32) {
            expected = {kBlockHeaderShort};
        } else if (length < second) {
            expected = {kBlockPayloadShort};
        } else if (length < second + 32) {
            expected = {8192, kBlockHeaderShort};
        } else {
            expected = {8192, kBlockStoredShort};
        }
        ASSERT_EQ(results, expected) << "cut at " << length;
    }
}

TEST_F(PackedBlock, EscapeWordAsTheLastCodeWordIsDamage) {
    std::vector<unsigned char> file(32 + 4);
    std::memcpy(file.data(), "KRDPACK\0", 8);
    set_le32(file, 8, 1);
    set_le32(file, 12, 64);
    set_le32(file, 16, 4);
    store_le32(file.data() + 32, kEscapeWord);
    write_file(path, file);
    EXPECT_EQ(read_blocks().front(), kBlockUnpackMismatch);
}

TEST_F(PackedBlock, ShortWritesNameTheStepThatFailed) {
    const auto stored = random_bytes(1000, 7);
    std::vector<unsigned char> packed(1000, 0);
    const struct {
        const char* what;
        const std::vector<unsigned char>* chunk;
        std::int64_t budget;
        std::int32_t expected;
    } cases[] = {
        {"stored header", &stored, 10, kBlockStoredHeaderShort},
        {"stored data", &stored, 40, kBlockStoredDataShort},
        {"packed header", &packed, 31, kBlockPackedHeaderShort},
        {"packed payload", &packed, 35, kBlockPackedPayloadShort},
        {"packed, just enough", &packed, 40, 8},
        {"stored, just enough", &stored, 1032, 0},
    };
    for (const auto& c : cases) {
        set_write_budget_for_tests(c.budget);
        EXPECT_EQ(write_blocks({*c.chunk}).front(), c.expected) << c.what;
        set_write_budget_for_tests(-1);
    }
}

// Stepping over blocks gives each one's length without unpacking, and the
// header checks of a full read.
TEST_F(PackedBlock, SkippingBlocksGivesTheirLengths) {
    write_blocks(
        {random_bytes(4096, 1), std::vector<unsigned char>(65536, 0), random_bytes(512, 2)});
    {
        unique_fd fd(open_for_reading(path.c_str()));
        for (const std::int32_t expected : {4096, 65536, 512})
            EXPECT_EQ(skip_packed_block(fd.get()), expected);
        EXPECT_EQ(at_end_of_file(fd.get()), end_of_file::at_end);
        EXPECT_EQ(skip_packed_block(fd.get()), kBlockHeaderShort);
    }
    std::vector<unsigned char> file = read_file(path);
    file[4096 + 32 + 1] ^= 0xFF;  // the second block's signature
    write_file(path, file);
    unique_fd fd(open_for_reading(path.c_str()));
    EXPECT_EQ(skip_packed_block(fd.get()), 4096);
    EXPECT_EQ(skip_packed_block(fd.get()), kBlockBadSignature);
    // A last block cut anywhere in its payload is stepped over, unless the
    // step is to be onto whole blocks only.
    file[4096 + 32 + 1] ^= 0xFF;
    for (const std::size_t cut : {file.size(), file.size() - 1, file.size() - 300}) {
        write_file(path, std::vector<unsigned char>(file.begin(), file.begin() + cut));
        unique_fd again(open_for_reading(path.c_str()));
        unique_fd whole(open_for_reading(path.c_str()));
        for (const std::int32_t expected : {4096, 65536}) {
            EXPECT_EQ(skip_packed_block(again.get()), expected);
            EXPECT_EQ(skip_whole_packed_block(whole.get()), expected);
        }
        EXPECT_EQ(skip_packed_block(again.get()), 512) << cut;
        EXPECT_EQ(skip_whole_packed_block(whole.get()),
                  cut == file.size() ? 512 : kBlockPayloadShort)
            << cut;
    }
}

// The backup reads the next chunk into the buffer of the one being written
// whenever its block does not need it: a packed block must be whole in the
// scratch once encoded, so overwriting its chunk changes nothing written.
// Only a stored block is written from the chunk itself.
TEST_F(PackedBlock, OnlyAStoredBlockNeedsItsChunkUntilWritten) {
    std::vector<unsigned char> mixed = random_bytes(65536, 3);
    std::fill(mixed.begin() + 1000, mixed.begin() + 9000, 0);
    const struct {
        const char* what;
        std::vector<unsigned char> chunk;
        bool uses_chunk;
    } cases[] = {
        {"zeros (packed)", std::vector<unsigned char>(65536, 0), false},
        {"random (stored)", random_bytes(65536, 9), true},
        {"mixed (packed)", mixed, false},
    };
    for (const auto& c : cases) {
        write_blocks({c.chunk});
        const std::vector<unsigned char> expected = read_file(path);
        std::vector<unsigned char> buffer = c.chunk;
        block_scratch scratch;
        const encoded_block block =
            encode_packed_block(buffer.data(), static_cast<std::int32_t>(buffer.size()), scratch);
        EXPECT_EQ(block.uses_chunk(), c.uses_chunk) << c.what;
        if (!block.uses_chunk())
            std::fill(buffer.begin(), buffer.end(), 0xEE);  // the next chunk arrives
        {
            unique_fd fd(open_for_writing(path.c_str()));
            EXPECT_GE(write_encoded_block(fd.get(), block), 0) << c.what;
        }
        EXPECT_EQ(read_file(path), expected) << c.what;
    }
}

TEST_F(PackedBlock, RandomDamageIsRefusedOrHarmless) {
    // Flipped bytes anywhere but the reserved field make the block fail; a
    // read never reports a chunk other than the one written.
    std::mt19937 rng(424242);
    for (int round = 0; round < 300; ++round) {
        std::vector<unsigned char> chunk(2048 + rng() % 2048, 0);
        for (std::size_t i = 0; i < chunk.size(); i += 1 + rng() % 64) {
            chunk[i] = static_cast<unsigned char>(rng() % 3 == 0 ? 0xA3 : rng());
        }
        write_blocks({chunk});
        std::vector<unsigned char> file = read_file(path);
        const bool stored = load_le32(file.data() + 8) == kMethodStored;
        const std::size_t at = rng() % file.size();
        file[at] ^= static_cast<unsigned char>(1 + rng() % 255);
        write_file(path, file);
        std::vector<std::vector<unsigned char>> back;
        const auto results = read_blocks(&back, 8192);
        // Never examined: the reserved field, and the payload length of a stored block.
        if ((at >= 28 && at < 32) || (stored && at >= 16 && at < 20)) {
            ASSERT_EQ(back.size(), 1u);
            EXPECT_EQ(back[0], chunk);
        } else {
            EXPECT_LT(results.front(), 0) << "round " << round << " byte " << at;
        }
    }
}

}  // namespace
}  // namespace kiroda
