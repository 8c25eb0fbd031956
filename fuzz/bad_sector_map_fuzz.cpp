// The bad-sector map of a set is text from a medium, in a layout other tools
// write too: anything may be in it. parse_bad_sector_map must refuse with a
// line inside the text (or the one after it) and leave the map it was given
// alone, and a map it accepts must cover the disk from sector 0 in order,
// without empty runs or two neighbours of one state, and come back the same
// from encode_bad_sector_map (finished or not).
#include <cstddef>
#include <cstdint>
#include <string>

#include "format/bad_sector_map.h"
#include "fuzz/fuzz_check.h"

using namespace kiroda;

namespace {

int lines_in(const std::string& text) {
    int lines = 0;
    for (const char c : text) lines += c == '\n';
    return lines + 1;
}

bool same_runs(const bad_sector_map& a, const bad_sector_map& b) {
    if (a.runs().size() != b.runs().size()) return false;
    for (std::size_t i = 0; i < a.runs().size(); ++i) {
        const sector_run& x = a.runs()[i];
        const sector_run& y = b.runs()[i];
        if (x.first != y.first || x.count != y.count || x.state != y.state) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    bad_sector_map map;
    map.add(0, 7, sector_state::unreadable);  // must stay as it is after a refusal
    int bad_line = -1;
    if (!parse_bad_sector_map(text, &map, &bad_line)) {
        FUZZ_CHECK(bad_line >= 1 && bad_line <= lines_in(text) + 1);
        FUZZ_CHECK(map.runs().size() == 1 && map.end() == 7);
        return 0;
    }
    FUZZ_CHECK(bad_line == 0);
    std::uint64_t end = 0;
    for (std::size_t i = 0; i < map.runs().size(); ++i) {
        const sector_run& r = map.runs()[i];
        FUZZ_CHECK(r.first == end && r.count > 0);
        FUZZ_CHECK(i == 0 || map.runs()[i - 1].state != r.state);
        end += r.count;
    }
    FUZZ_CHECK(map.end() == end);
    FUZZ_CHECK(map.sectors(sector_state::read) + map.sectors(sector_state::unreadable) +
                   map.sectors(sector_state::not_tried) ==
               end);
    for (const bool finished : {false, true}) {
        bad_sector_map again;
        int again_line = -1;
        FUZZ_CHECK(parse_bad_sector_map(encode_bad_sector_map(map, finished), &again, &again_line));
        FUZZ_CHECK(again_line == 0 && same_runs(map, again));
    }
    return 0;
}
