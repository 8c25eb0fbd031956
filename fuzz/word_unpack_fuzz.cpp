// Untrusted code from a data file: the first two input bytes are the
// capacity (little-endian, 0 to 65,535), the rest is the code. unpack_words
// must accept exactly what the reference decoder accepts, produce the same
// bytes, and never touch the destination past its capacity.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "format/word_codec.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/word_code_reference.h"

using namespace kiroda;
using namespace kiroda::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t capacity =
        static_cast<std::size_t>(data[0]) | static_cast<std::size_t>(data[1]) << 8;
    // The code gets a copy of its own so that a read past its end is caught
    // too, not only one past the whole input.
    const std::size_t code_length = size - 2;
    if (code_length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return 0;
    auto code = exact_buffer(code_length);
    if (code_length > 0) std::memcpy(code.get(), data + 2, code_length);

    const auto expected = reference_unpack(code.get(), code_length, capacity);
    const std::int32_t want = expected ? static_cast<std::int32_t>(expected->size()) : -1;

    auto chunk = exact_buffer(capacity);
    const std::int32_t got = unpack_words(code.get(), static_cast<std::int32_t>(code_length),
                                          chunk.get(), static_cast<std::int32_t>(capacity));
    FUZZ_CHECK(got == -1 || (got >= 0 && static_cast<std::size_t>(got) <= capacity));
    FUZZ_CHECK(got == want);
    if (expected) FUZZ_CHECK(same_bytes(chunk.get(), expected->data(), expected->size()));

    chunk_checksums sums{0xDEADBEEFu, 0xDEADBEEFu};
    const std::int32_t summed =
        unpack_words_summed(code.get(), static_cast<std::int32_t>(code_length), chunk.get(),
                            static_cast<std::int32_t>(capacity), &sums);
    FUZZ_CHECK(summed == want);
    if (expected) {
        FUZZ_CHECK(same_bytes(chunk.get(), expected->data(), expected->size()));
        const reference_sums reference = reference_checksums(expected->data(), expected->size());
        FUZZ_CHECK(sums.byte_xor == reference.byte_xor);
        FUZZ_CHECK(sums.word_xor == reference.word_xor);
    } else {
        // Set only on success.
        FUZZ_CHECK(sums.byte_xor == 0xDEADBEEFu && sums.word_xor == 0xDEADBEEFu);
    }
    return 0;
}
