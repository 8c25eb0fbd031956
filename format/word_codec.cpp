#include "format/word_codec.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kiroda {

// Words are moved with memcpy as host words: the set format is little-endian
// and so is every machine we build for.
static_assert(std::endian::native == std::endian::little, "the codec assumes a little-endian host");

namespace {

inline std::uint32_t load32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline std::uint64_t load64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline void store32(unsigned char* p, std::uint32_t v) {
    std::memcpy(p, &v, 4);
}

// Copies ordinary words (neither the escape word nor, when `fill_too`, the
// fill word) from `source` to `destination`, at most `limit` words, and stops
// before the first special one. Returns the words copied. Ordinary words are
// moved 16 at a time with vector loads and stores in one pass, which is what
// keeps the coder near memory speed on data that does not pack. With kSum the
// copied words are also XORed into `word_xor`, in the same pass.
template <bool kSum>
inline std::size_t copy_ordinary(const unsigned char* source, unsigned char* destination,
                                 std::size_t limit, bool fill_too, std::uint32_t& word_xor) {
    std::size_t done = 0;
#if defined(__SSE2__)
    const __m128i escape = _mm_set1_epi32(static_cast<int>(kEscapeWord));
    const __m128i fill = _mm_set1_epi32(static_cast<int>(kFillWord));
    __m128i sum = _mm_setzero_si128();
    while (done + 16 <= limit) {
        const unsigned char* p = source + 4 * done;
        __m128i v[4];
        __m128i hit = _mm_setzero_si128();
        for (int i = 0; i < 4; ++i) {
            v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
            hit = _mm_or_si128(hit, _mm_cmpeq_epi32(v[i], escape));
            if (fill_too) hit = _mm_or_si128(hit, _mm_cmpeq_epi32(v[i], fill));
        }
        if (_mm_movemask_epi8(hit) != 0) break;
        unsigned char* q = destination + 4 * done;
        for (int i = 0; i < 4; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 16 * i), v[i]);
        if (kSum)
            sum = _mm_xor_si128(
                sum, _mm_xor_si128(_mm_xor_si128(v[0], v[1]), _mm_xor_si128(v[2], v[3])));
        done += 16;
    }
    if (kSum) {
        alignas(16) std::uint32_t lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), sum);
        word_xor ^= lanes[0] ^ lanes[1] ^ lanes[2] ^ lanes[3];
    }
#endif
    for (; done < limit; ++done) {
        const std::uint32_t w = load32(source + 4 * done);
        if (w == kEscapeWord || (fill_too && w == kFillWord)) break;
        store32(destination + 4 * done, w);
        if (kSum) word_xor ^= w;
    }
    return done;
}

// The byte checksum from the word checksum of the whole words and the
// trailing bytes: XOR does not care how the bytes are grouped.
inline std::uint32_t byte_checksum(std::uint32_t word_xor, const unsigned char* trailing,
                                   std::size_t count) {
    std::uint32_t byte = word_xor ^ (word_xor >> 16);
    byte = (byte ^ (byte >> 8)) & 0xFF;
    for (std::size_t i = 0; i < count; ++i) byte ^= trailing[i];
    return byte;
}

// Decoding, with or without the checksums of the output computed on the way
// (zero runs add nothing to them, so they are never read back).
template <bool kSum>
std::int32_t unpack(const unsigned char* payload, std::int32_t length, unsigned char* destination,
                    std::int32_t capacity, chunk_checksums* sums) {
    if (length < 0 || capacity < 0) return -1;
    const std::size_t code_words = static_cast<std::size_t>(length) / 4;
    const std::size_t trailing = static_cast<std::size_t>(length) % 4;
    const std::size_t room = static_cast<std::size_t>(capacity) / 4;
    std::size_t in = 0;
    std::size_t out = 0;
    std::uint32_t word_xor = 0;
    while (in < code_words) {
        const std::size_t limit = std::min(code_words - in, room - out);
        const std::size_t plain =
            copy_ordinary<kSum>(payload + 4 * in, destination + 4 * out, limit, false, word_xor);
        in += plain;
        out += plain;
        if (in == code_words) break;
        const std::uint32_t word = load32(payload + 4 * in);
        if (word != kEscapeWord) {
            if (out >= room) return -1;
            store32(destination + 4 * out++, word);
            if (kSum) word_xor ^= word;
            ++in;
            continue;
        }
        if (in + 1 >= code_words) return -1;  // an escape word with no count after it
        const std::uint32_t count = load32(payload + 4 * in + 4);
        in += 2;
        if (count == 0) {
            if (out >= room) return -1;
            store32(destination + 4 * out++, kEscapeWord);
            if (kSum) word_xor ^= kEscapeWord;
        } else {
            // Compared as "count > what is left", which cannot wrap.
            if (count > room - out) return -1;
            std::memset(destination + 4 * out, 0, 4 * static_cast<std::size_t>(count));
            out += count;
        }
    }
    const std::size_t produced = 4 * out;
    if (produced + trailing > static_cast<std::size_t>(capacity)) return -1;
    if (trailing > 0) std::memcpy(destination + produced, payload + 4 * code_words, trailing);
    if (kSum) *sums = {byte_checksum(word_xor, payload + 4 * code_words, trailing), word_xor};
    return static_cast<std::int32_t>(produced + trailing);
}

}  // namespace

namespace {

// The XOR of the whole words of `source` from word `from` to `words`.
std::uint32_t word_xor_from(const unsigned char* source, std::size_t from, std::size_t words) {
    std::uint64_t wide = 0;
    std::size_t i = from;
    for (; i + 2 <= words; i += 2) wide ^= load64(source + 4 * i);
    auto word = static_cast<std::uint32_t>(wide ^ (wide >> 32));
    if (i < words) word ^= load32(source + 4 * i);
    return word;
}

// Codes the run of zero words that begins at word `in` of `source`: the
// zero word alone, or the escape word and the run's length. Moves `in` past
// the run and `out` past its code; false when the code does not fit `room`.
bool put_zero_run(const unsigned char* source, std::size_t words, std::size_t& in,
                  unsigned char* destination, std::size_t& out, std::size_t room) {
    std::size_t end = in + 1;
    while (end + 2 <= words && load64(source + 4 * end) == 0) end += 2;
    while (end < words && load32(source + 4 * end) == kFillWord) ++end;
    const std::size_t run = end - in;
    if (run == 1) {
        if (out >= room) return false;
        store32(destination + 4 * out++, kFillWord);
    } else {
        if (out + 2 > room) return false;
        store32(destination + 4 * out, kEscapeWord);
        store32(destination + 4 * out + 4, static_cast<std::uint32_t>(run));
        out += 2;
    }
    in = end;
    return true;
}

// Coding, with or without the checksums of the source taken on the way.
// With kSum they are set whatever the result: a chunk whose code is too
// long is stored, and its words not coded yet are summed in one more pass.
template <bool kSum>
std::int32_t pack(const unsigned char* source, std::int32_t length, unsigned char* destination,
                  std::int32_t capacity, chunk_checksums* sums) {
    if (length < 0 || capacity < 0) return -1;
    const std::size_t words = static_cast<std::size_t>(length) / 4;
    const std::size_t trailing = static_cast<std::size_t>(length) % 4;
    const std::size_t room = static_cast<std::size_t>(capacity) / 4;  // code words that fit
    std::size_t in = 0;
    std::size_t out = 0;
    std::uint32_t word_xor = 0;
    const auto too_long = [&] {
        if (kSum) {
            word_xor ^= word_xor_from(source, in, words);
            *sums = {byte_checksum(word_xor, source + 4 * words, trailing), word_xor};
        }
        return -1;
    };
    while (in < words) {
        // Ordinary words in bulk: the common case by far.
        const std::size_t limit = std::min(words - in, room - out);
        const std::size_t plain =
            copy_ordinary<kSum>(source + 4 * in, destination + 4 * out, limit, true, word_xor);
        in += plain;
        out += plain;
        if (in == words) break;
        const std::uint32_t word = load32(source + 4 * in);
        if (word == kFillWord) {
            if (!put_zero_run(source, words, in, destination, out, room)) return too_long();
        } else if (word == kEscapeWord) {
            if (out + 2 > room) return too_long();
            if (kSum) word_xor ^= kEscapeWord;
            store32(destination + 4 * out, kEscapeWord);
            store32(destination + 4 * out + 4, 0);
            out += 2;
            ++in;
        } else {
            if (out >= room) return too_long();
            if (kSum) word_xor ^= word;
            store32(destination + 4 * out++, word);
            ++in;
        }
    }
    const std::size_t code_bytes = 4 * out;
    if (code_bytes + trailing > static_cast<std::size_t>(capacity)) return too_long();
    if (trailing > 0) std::memcpy(destination + code_bytes, source + 4 * words, trailing);
    if (kSum) *sums = {byte_checksum(word_xor, source + 4 * words, trailing), word_xor};
    return static_cast<std::int32_t>(code_bytes + trailing);
}

}  // namespace

std::int32_t pack_words(const unsigned char* source, std::int32_t length,
                        unsigned char* destination, std::int32_t capacity) {
    return pack<false>(source, length, destination, capacity, nullptr);
}

std::int32_t pack_words_summed(const unsigned char* source, std::int32_t length,
                               unsigned char* destination, std::int32_t capacity,
                               chunk_checksums* sums) {
    return pack<true>(source, length, destination, capacity, sums);
}

std::int32_t unpack_words(const unsigned char* payload, std::int32_t length,
                          unsigned char* destination, std::int32_t capacity) {
    return unpack<false>(payload, length, destination, capacity, nullptr);
}

std::int32_t unpack_words_summed(const unsigned char* payload, std::int32_t length,
                                 unsigned char* destination, std::int32_t capacity,
                                 chunk_checksums* sums) {
    return unpack<true>(payload, length, destination, capacity, sums);
}

chunk_checksums compute_checksums(const unsigned char* chunk, std::size_t length) {
    // XOR is associative: fold 64-bit words, then halve to 32 and to 8 bits.
    std::uint64_t wide = 0;
    const std::size_t pairs = length / 8;
    for (std::size_t i = 0; i < pairs; ++i) wide ^= load64(chunk + 8 * i);
    auto word = static_cast<std::uint32_t>(wide ^ (wide >> 32));
    const std::size_t words = length / 4;
    if (words % 2 != 0) word ^= load32(chunk + 4 * (words - 1));
    return {byte_checksum(word, chunk + 4 * words, length - 4 * words), word};
}

}  // namespace kiroda
