// The input is a chunk. pack_words must give exactly the reference code, keep
// to its capacity to the byte, and unpack_words must give the chunk back.
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
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return 0;
    const auto length = static_cast<std::int32_t>(size);
    const std::vector<unsigned char> expected = reference_pack(data, size);
    const auto code_length = static_cast<std::int32_t>(expected.size());

    // Room for exactly the code: all of it, and nothing beyond.
    auto code = exact_buffer(expected.size());
    FUZZ_CHECK(pack_words(data, length, code.get(), code_length) == code_length);
    FUZZ_CHECK(same_bytes(code.get(), expected.data(), expected.size()));

    // One byte less: refused, and still nothing written past the buffer.
    if (code_length > 0) {
        auto short_code = exact_buffer(expected.size() - 1);
        FUZZ_CHECK(pack_words(data, length, short_code.get(), code_length - 1) == -1);
    }

    // The writer's own call: capacity = chunk length, refused unless the code fits.
    {
        auto writer_code = exact_buffer(size);
        const std::int32_t packed = pack_words(data, length, writer_code.get(), length);
        if (code_length <= length) {
            FUZZ_CHECK(packed == code_length);
            FUZZ_CHECK(same_bytes(writer_code.get(), expected.data(), expected.size()));
        } else {
            FUZZ_CHECK(packed == -1);
        }
    }

    // Back again into exactly the chunk's length, plain and with checksums.
    auto chunk = exact_buffer(size);
    FUZZ_CHECK(unpack_words(code.get(), code_length, chunk.get(), length) == length);
    FUZZ_CHECK(same_bytes(chunk.get(), data, size));

    std::memset(chunk.get(), 0x5A, size);
    chunk_checksums sums{};
    FUZZ_CHECK(unpack_words_summed(code.get(), code_length, chunk.get(), length, &sums) == length);
    FUZZ_CHECK(same_bytes(chunk.get(), data, size));
    const reference_sums reference = reference_checksums(data, size);
    FUZZ_CHECK(sums.byte_xor == reference.byte_xor);
    FUZZ_CHECK(sums.word_xor == reference.word_xor);
    const chunk_checksums direct = compute_checksums(data, size);
    FUZZ_CHECK(direct.byte_xor == reference.byte_xor);
    FUZZ_CHECK(direct.word_xor == reference.word_xor);

    // A chunk one byte shorter than the code decodes to cannot hold it.
    if (length > 0) {
        auto short_chunk = exact_buffer(size - 1);
        FUZZ_CHECK(unpack_words(code.get(), code_length, short_chunk.get(), length - 1) == -1);
    }
    return 0;
}
