// The digest file of a set is text from a medium: anything may be in it.
// parse_set_digests must give 0 or a line number inside the text (or the
// line after it), take nothing from a text it refuses, and whatever it
// accepts must come out of encode_set_digests as the very same records
// (encode, parse again, compare).
#include <cstddef>
#include <cstdint>
#include <string>

#include "format/set_digests.h"
#include "fuzz/fuzz_check.h"

using namespace kiroda;

namespace {

int lines_in(const char* text, std::size_t size) {
    int lines = 0;
    for (std::size_t i = 0; i < size; ++i) lines += text[i] == '\n';
    return lines + 1;
}

bool same(const set_digests& a, const set_digests& b) {
    if (a.header_bytes != b.header_bytes || !(a.header == b.header) ||
        a.stream_bytes != b.stream_bytes || !(a.stream == b.stream) ||
        a.blocks.size() != b.blocks.size() || a.files.size() != b.files.size() ||
        a.sides.size() != b.sides.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.blocks.size(); ++i) {
        if (a.blocks[i].bytes != b.blocks[i].bytes || !(a.blocks[i].digest == b.blocks[i].digest))
            return false;
    }
    for (std::size_t i = 0; i < a.files.size(); ++i) {
        if (a.files[i].bytes != b.files[i].bytes || !(a.files[i].digest == b.files[i].digest))
            return false;
    }
    for (std::size_t i = 0; i < a.sides.size(); ++i) {
        if (a.sides[i].name != b.sides[i].name || a.sides[i].bytes != b.sides[i].bytes ||
            !(a.sides[i].digest == b.sides[i].digest)) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly the input, so a read past its end is caught.
    const std::string text(reinterpret_cast<const char*>(data), size);
    set_digests parsed;
    parsed.stream_bytes = 12345;  // must stay untouched by a refusal
    const int line = parse_set_digests(text.data(), text.size(), &parsed);
    FUZZ_CHECK(line >= 0 && line <= lines_in(text.data(), text.size()) + 1);
    if (line != 0) {
        FUZZ_CHECK(parsed.stream_bytes == 12345 && parsed.blocks.empty());
        return 0;
    }
    const std::string again = encode_set_digests(parsed);
    set_digests reparsed;
    FUZZ_CHECK(parse_set_digests(again.data(), again.size(), &reparsed) == 0);
    FUZZ_CHECK(same(parsed, reparsed));
    return 0;
}
