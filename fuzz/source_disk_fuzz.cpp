// The source record of a set is text from a medium: anything may be in it.
// A record parse_source_disk accepts must come back from encode_source_disk
// as the same fields, with its control characters turned to blanks (what
// the writer does), written out the same once more.
#include <cstddef>
#include <cstdint>
#include <string>

#include "format/source_disk.h"
#include "fuzz/fuzz_check.h"

using namespace kiroda;

namespace {

std::string blanked(std::string value) {
    for (char& c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return value;
}

bool same(const source_disk& a, const source_disk& b) {
    return a.path == b.path && a.bytes == b.bytes && a.vendor == b.vendor && a.model == b.model &&
           a.serial == b.serial && a.transport == b.transport && a.removable == b.removable &&
           a.rotational == b.rotational;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    source_disk disk;
    if (!parse_source_disk(text, &disk)) return 0;
    FUZZ_CHECK(disk.removable >= -1 && disk.removable <= 1);
    FUZZ_CHECK(disk.rotational >= -1 && disk.rotational <= 1);
    source_disk expected = disk;
    for (std::string* v :
         {&expected.path, &expected.vendor, &expected.model, &expected.serial, &expected.transport})
        *v = blanked(*v);
    const std::string encoded = encode_source_disk(disk);
    source_disk again;
    FUZZ_CHECK(parse_source_disk(encoded, &again));
    FUZZ_CHECK(same(again, expected));
    FUZZ_CHECK(encode_source_disk(again) == encoded);
    return 0;
}
