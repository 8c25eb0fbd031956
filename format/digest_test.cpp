#include "format/digest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "util/test_support.h"

namespace kiroda {
namespace {

std::string hex(const digest128& d) {
    char text[kDigestHexLength + 1];
    format_digest(text, d);
    return text;
}

// Reference values printed by the hash library's own command-line tool for
// the same bytes: the text form must match what other tools show. The long
// inputs (the portable loop's values) pin the wider loop x86-64 Linux picks
// where the processor has it, whole and in pieces.
TEST(Digest, KnownValuesInTheirCanonicalText) {
    EXPECT_EQ(hex(digest_bytes("", 0)), "99aa06d3014798d86001c324468d497f");
    EXPECT_EQ(hex(digest_bytes("abc", 3)), "06b05ab6733a618578af5f94892f3950");
    const struct {
        std::size_t size;
        const char* digest;
    } patterns[] = {
        {4096, "cde3f47d2ed204cd5a73a95c9a8b3549"},
        {1048576 + 77, "e04015a85d16a14bbdf1afc9b1910010"},
    };
    for (const auto& p : patterns) {
        std::vector<unsigned char> data(p.size);
        for (std::size_t i = 0; i < p.size; ++i)
            data[i] = static_cast<unsigned char>(i * 7 + i / 251);
        EXPECT_EQ(hex(digest_bytes(data.data(), p.size)), p.digest) << p.size;
        digest_stream stream;
        stream.add(data.data(), 1000);
        stream.add(data.data() + 1000, p.size - 1000);
        EXPECT_EQ(hex(stream.value()), p.digest) << p.size;
    }
}

TEST(Digest, PiecesGiveTheDigestOfTheWhole) {
    std::vector<unsigned char> data(3 * 1024 * 1024 + 77);
    test_support::fill_random(data.data(), data.size(), 11);
    digest_stream stream;
    ASSERT_TRUE(stream.ready());
    // Uneven pieces, one of them empty, across the hash's internal blocks.
    const std::size_t cuts[] = {0, 1, 1, 64, 1000, 1024 * 1024, 2 * 1024 * 1024 + 5, data.size()};
    digest_stream saved;
    for (std::size_t i = 1; i < std::size(cuts); ++i) {
        // Halfway a state is kept, bytes are added, and the state put back:
        // those bytes leave no trace.
        if (i == 4) {
            saved.copy_from(stream);
            stream.add(data.data(), 12345);
            stream.copy_from(saved);
        }
        stream.add(data.data() + cuts[i - 1], cuts[i] - cuts[i - 1]);
    }
    EXPECT_EQ(stream.value(), digest_bytes(data.data(), data.size()));
    stream.reset();
    EXPECT_EQ(stream.value(), digest_bytes("", 0));
}

TEST(Digest, OnePassOverBothEqualsTwoPasses) {
    std::vector<unsigned char> data(2 * 65536 + 77);
    test_support::fill_random(data.data(), data.size(), 5);
    digest_stream both, apart;
    ASSERT_TRUE(both.ready() && apart.ready());
    // Around the slice of the single pass, after bytes the stream had already.
    both.add("x", 1);
    apart.add("x", 1);
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{65536}, std::size_t{65537}, data.size()}) {
        EXPECT_EQ(digest_bytes_into(data.data(), size, both), digest_bytes(data.data(), size))
            << size;
        apart.add(data.data(), size);
        EXPECT_EQ(both.value(), apart.value()) << size;
    }
}

TEST(Digest, TextRoundTripAndRefusals) {
    const digest128 d{0x0123456789abcdefULL, 0xfedcba9876543210ULL};
    char text[kDigestHexLength + 1];
    format_digest(text, d);
    digest128 back;
    ASSERT_TRUE(parse_digest(text, kDigestHexLength, &back));
    EXPECT_EQ(back, d);
    ASSERT_TRUE(parse_digest("0123456789ABCDEFFEDCBA9876543210", 32, &back));
    EXPECT_EQ(back, d);
    const struct {
        const char* text;
        std::size_t length;
    } bad[] = {
        {"0123456789abcdeffedcba987654321", 31},
        {"0123456789abcdeffedcba98765432100", 33},
        {"0123456789abcdegfedcba9876543210", 32},
        {"0123456789abcde fedcba9876543210", 32},
        {"", 0},
    };
    for (const auto& b : bad) EXPECT_FALSE(parse_digest(b.text, b.length, &back)) << b.text;
}

// The XOR checksums of a block cannot see these; the digest must.
TEST(Digest, SeesWhatBlockChecksumsCannot) {
    std::vector<unsigned char> data(4096);
    test_support::fill_random(data.data(), data.size(), 5);
    const digest128 original = digest_bytes(data.data(), data.size());
    auto flipped = data;
    flipped[100] ^= 0x10;
    flipped[104] ^= 0x10;  // the same bit four bytes on: both XORs unchanged
    EXPECT_NE(digest_bytes(flipped.data(), flipped.size()), original);
    auto swapped = data;
    for (int i = 0; i < 4; ++i) std::swap(swapped[8 + i], swapped[400 + i]);
    ASSERT_NE(swapped, data);
    EXPECT_NE(digest_bytes(swapped.data(), swapped.size()), original);
}

// Both loops over the same bytes: many lengths around the hash's block and
// stripe sizes, every alignment of a 32-byte register, whole, in pieces and
// with the stream beside. The wider loop must give the portable digests bit
// for bit, or sets made on two machines would differ.
TEST(Digest, TheWiderLoopAgreesWithThePortableOneOnEveryLengthAndAlignment) {
    if (!wider_digest_loop_runs_here()) GTEST_SKIP() << "no wider loop on this processor or build";
    std::vector<unsigned char> bytes((1u << 20) + 64);
    std::uint32_t s = 0x12345678u;
    for (unsigned char& b : bytes)
        b = static_cast<unsigned char>((s = s * 1664525u + 1013904223u) >> 24);
    struct digests {
        digest128 whole, pieces, into, stream;
        bool operator==(const digests&) const = default;
    };
    const auto take = [&](digest_loop loop, std::size_t at, std::size_t size) {
        force_digest_loop_for_tests(loop);
        digests d;
        d.whole = digest_bytes(bytes.data() + at, size);
        digest_stream pieces, beside;
        for (std::size_t done = 0; done < size; done += 1000)
            pieces.add(bytes.data() + at + done, std::min<std::size_t>(1000, size - done));
        d.pieces = pieces.value();
        d.into = digest_bytes_into(bytes.data() + at, size, beside);
        d.stream = beside.value();
        force_digest_loop_for_tests(digest_loop::widest);
        return d;
    };
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{240}, std::size_t{241}, std::size_t{1023},
          std::size_t{1024}, std::size_t{1025}, std::size_t{4095}, std::size_t{4096},
          std::size_t{4097}, std::size_t{65536 + 13}, std::size_t{(1u << 20) - 1},
          std::size_t{1u << 20}}) {
        for (std::size_t at = 0; at < 32; at += 3) {
            EXPECT_TRUE(take(digest_loop::widest, at, size) ==
                        take(digest_loop::portable, at, size))
                << size << " bytes at " << at;
        }
    }
}

}  // namespace
}  // namespace kiroda
