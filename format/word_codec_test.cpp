#include "format/word_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "util/le.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

constexpr std::uint32_t E = kEscapeWord;

std::vector<unsigned char> words(const std::vector<std::uint32_t>& w,
                                 const std::vector<unsigned char>& tail = {}) {
    std::vector<unsigned char> bytes(4 * w.size());
    for (std::size_t i = 0; i < w.size(); ++i) store_le32(bytes.data() + 4 * i, w[i]);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

std::vector<unsigned char> pack(const std::vector<unsigned char>& in) {
    std::vector<unsigned char> out(in.size() + 64);
    const std::int32_t n = pack_words(in.data(), static_cast<std::int32_t>(in.size()), out.data(),
                                      static_cast<std::int32_t>(out.size()));
    EXPECT_GE(n, 0);
    out.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return out;
}

TEST(PackWords, CodesEachKindOfWord) {
    const struct {
        const char* what;
        std::vector<unsigned char> in;
        std::vector<unsigned char> code;
    } cases[] = {
        {"empty", {}, {}},
        {"single zero", words({0}), words({0})},
        {"zero between data", words({1, 0, 2}), words({1, 0, 2})},
        {"zero last", words({1, 0}), words({1, 0})},
        {"two zeros", words({0, 0}), words({E, 2})},
        {"run then data", words({0, 0, 0, 5}), words({E, 3, 5})},
        {"escape word", words({E}), words({E, 0})},
        {"mixed", words({5, E, 0, 0, 7, 0}), words({5, E, 0, E, 2, 7, 0})},
        {"long run", words(std::vector<std::uint32_t>(1000, 0)), words({E, 1000})},
        {"odd run after pair", words({9, 9, 0, 0, 0, 9}), words({9, 9, E, 3, 9})},
        {"trailing bytes", words({0, 0}, {0xAB, 0, 0xCD}), words({E, 2}, {0xAB, 0, 0xCD})},
        {"only trailing", {1, 2}, {1, 2}},
        {"zero then trailing", words({0}, {0}), words({0}, {0})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pack(c.in), c.code) << c.what;
        std::vector<unsigned char> back(c.in.size() + 8);
        const std::int32_t n = unpack_words(c.code.data(), static_cast<std::int32_t>(c.code.size()),
                                            back.data(), static_cast<std::int32_t>(back.size()));
        ASSERT_EQ(n, static_cast<std::int32_t>(c.in.size())) << c.what;
        back.resize(static_cast<std::size_t>(n));
        EXPECT_EQ(back, c.in) << c.what;
    }
}

TEST(PackWords, FailsAtTheCapacityAndNeverWritesPastIt) {
    const struct {
        const char* what;
        std::vector<unsigned char> in;
    } cases[] = {
        {"escape pair split at the end", words({1, 2, E})},
        {"plain words", words({1, 2, 3, 4, 5})},
        {"run pair", words({1, 0, 0})},
        {"trailing bytes", words({1, 2}, {7, 7, 7})},
    };
    for (const auto& c : cases) {
        const std::vector<unsigned char> code = pack(c.in);
        for (std::size_t capacity = 0; capacity < code.size(); ++capacity) {
            std::vector<unsigned char> out(capacity + 16, 0xEE);
            EXPECT_EQ(pack_words(c.in.data(), static_cast<std::int32_t>(c.in.size()), out.data(),
                                 static_cast<std::int32_t>(capacity)),
                      -1)
                << c.what << " capacity " << capacity;
            for (std::size_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << c.what;
        }
        std::vector<unsigned char> out(code.size());
        EXPECT_EQ(pack_words(c.in.data(), static_cast<std::int32_t>(c.in.size()), out.data(),
                             static_cast<std::int32_t>(code.size())),
                  static_cast<std::int32_t>(code.size()));
    }
}

TEST(PackWords, ZeroChunkOf16MiBBecomesEightBytes) {
    std::vector<unsigned char> chunk(16777216, 0);
    std::vector<unsigned char> code(16);
    ASSERT_EQ(pack_words(chunk.data(), 16777216, code.data(), 16), 8);
    EXPECT_EQ(load_le32(code.data()), E);
    EXPECT_EQ(load_le32(code.data() + 4), 4194304u);
}

TEST(UnpackWords, DamagedCodeIsRefusedWithoutOverrun) {
    const struct {
        const char* what;
        std::vector<unsigned char> code;
        std::int32_t capacity;
    } cases[] = {
        {"escape without count", words({E}), 64},
        {"escape without count after data", words({1, 2, 3, E}), 64},
        {"escape, then trailing bytes only", words({E}, {1, 2}), 64},
        {"count near 2^32", words({E, 0xFFFFFFF0u}), 64},
        {"count 2^31", words({E, 0x80000000u}), 64},
        {"count one over", words({E, 17}), 64},
        {"words past capacity", words({1, 2, 3}), 8},
        {"escaped escape past capacity", words({1, 2, E, 0}), 8},
        {"trailing bytes past capacity", words({1}, {9, 9}), 5},
        {"capacity below a word", words({1}), 3},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> out(static_cast<std::size_t>(c.capacity) + 32, 0xEE);
        EXPECT_EQ(unpack_words(c.code.data(), static_cast<std::int32_t>(c.code.size()), out.data(),
                               c.capacity),
                  -1)
            << c.what;
        for (std::size_t i = static_cast<std::size_t>(c.capacity); i < out.size(); ++i) {
            ASSERT_EQ(out[i], 0xEE) << c.what;
        }
    }
}

TEST(Codec, NegativeLengthsAreRefused) {
    unsigned char buffer[16] = {};
    EXPECT_EQ(pack_words(buffer, -1, buffer, 16), -1);
    EXPECT_EQ(pack_words(buffer, 8, buffer, -4), -1);
    EXPECT_EQ(unpack_words(buffer, -4, buffer, 16), -1);
    EXPECT_EQ(unpack_words(buffer, 8, buffer, -1), -1);
}

// Realistic data: runs of zeros, escape words and random words in random order.
std::vector<unsigned char> random_chunk(std::mt19937& rng, std::size_t length) {
    std::vector<unsigned char> chunk(length);
    std::size_t i = 0;
    while (i < length) {
        const std::size_t run = 1 + rng() % 64;
        const unsigned kind = rng() % 4;
        for (std::size_t k = 0; k < run && i < length; ++k, ++i) {
            const unsigned lane = i % 4;
            if (kind == 0) chunk[i] = 0;
            if (kind == 1) chunk[i] = 0xA3;
            if (kind >= 2) chunk[i] = static_cast<unsigned char>(rng() >> (8 * lane));
        }
    }
    return chunk;
}

TEST(Codec, RandomChunksRoundTrip) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 500; ++round) {
        const std::size_t length = round < 64 ? static_cast<std::size_t>(round) : rng() % 20000;
        const std::vector<unsigned char> chunk = random_chunk(rng, length);
        // The worst case is every word an escape word: twice the length.
        std::vector<unsigned char> code(2 * length + 8);
        const std::int32_t n = pack_words(chunk.data(), static_cast<std::int32_t>(length),
                                          code.data(), static_cast<std::int32_t>(code.size()));
        ASSERT_GE(n, 0);
        EXPECT_EQ(static_cast<std::size_t>(n) % 4, length % 4);
        std::vector<unsigned char> back(length + 4, 0xEE);
        ASSERT_EQ(unpack_words(code.data(), n, back.data(), static_cast<std::int32_t>(length)),
                  static_cast<std::int32_t>(length));
        back.resize(length);
        ASSERT_EQ(back, chunk) << "round " << round;
        // The checksums computed while decoding are those of the output.
        chunk_checksums sums{};
        std::vector<unsigned char> again(length + 4);
        ASSERT_EQ(unpack_words_summed(code.data(), n, again.data(),
                                      static_cast<std::int32_t>(length), &sums),
                  static_cast<std::int32_t>(length));
        const chunk_checksums expected = compute_checksums(chunk.data(), length);
        EXPECT_EQ(sums.byte_xor, expected.byte_xor) << "round " << round;
        EXPECT_EQ(sums.word_xor, expected.word_xor) << "round " << round;
        // Coding takes them too, the same code with them, and also when the
        // code does not fit (cut off anywhere: the chunk is then stored).
        const std::size_t room = rng() % (code.size() + 1);
        for (const std::size_t capacity : {code.size(), room}) {
            std::vector<unsigned char> coded(code.size());
            chunk_checksums taken{};
            const std::int32_t m =
                pack_words_summed(chunk.data(), static_cast<std::int32_t>(length), coded.data(),
                                  static_cast<std::int32_t>(capacity), &taken);
            if (capacity == code.size()) {
                ASSERT_EQ(m, n);
                EXPECT_TRUE(std::equal(code.begin(), code.begin() + n, coded.begin()));
            }
            EXPECT_EQ(taken.byte_xor, expected.byte_xor) << "round " << round;
            EXPECT_EQ(taken.word_xor, expected.word_xor) << "round " << round;
        }
    }
}

TEST(Codec, RandomCodeNeverOverrunsTheDestination) {
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::uint32_t> w(rng() % 24);
        for (auto& x : w) {
            const unsigned pick = rng() % 4;
            x = pick == 0 ? E : pick == 1 ? rng() % 40 : static_cast<std::uint32_t>(rng());
        }
        std::vector<unsigned char> code = words(w);
        code.resize(code.size() + rng() % 4, 0x5A);
        const std::int32_t capacity = static_cast<std::int32_t>(rng() % 200);
        std::vector<unsigned char> out(static_cast<std::size_t>(capacity) + 16, 0xEE);
        const std::int32_t n =
            unpack_words(code.data(), static_cast<std::int32_t>(code.size()), out.data(), capacity);
        EXPECT_LE(n, capacity);
        for (std::size_t i = static_cast<std::size_t>(capacity); i < out.size(); ++i) {
            ASSERT_EQ(out[i], 0xEE);
        }
    }
}

chunk_checksums naive_checksums(const std::vector<unsigned char>& chunk) {
    chunk_checksums c{0, 0};
    for (unsigned char b : chunk) c.byte_xor ^= b;
    for (std::size_t i = 0; i + 4 <= chunk.size(); i += 4)
        c.word_xor ^= load_le32(chunk.data() + i);
    return c;
}

TEST(Checksums, MatchTheByteAndWordDefinitions) {
    std::mt19937 rng(99);
    for (std::size_t length : {0, 1, 2, 3, 4, 5, 7, 8, 9, 12, 15, 16, 17, 1001, 4096, 65539}) {
        std::vector<unsigned char> chunk(length);
        for (auto& b : chunk) b = static_cast<unsigned char>(rng());
        const chunk_checksums fast = compute_checksums(chunk.data(), chunk.size());
        const chunk_checksums slow = naive_checksums(chunk);
        EXPECT_EQ(fast.byte_xor, slow.byte_xor) << length;
        EXPECT_EQ(fast.word_xor, slow.word_xor) << length;
        EXPECT_LT(fast.byte_xor, 256u);
    }
}

}  // namespace
}  // namespace kiroda
