#include "format/bad_sector_map.h"

#include <cinttypes>
#include <cstdio>

#include "util/side_file.h"

namespace kiroda {

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::size_t kMaxMapBytes = 64 << 20;

bool parse_number(const std::string& word, std::uint64_t* value) {
    if (word.size() < 3 || word[0] != '0' || (word[1] != 'x' && word[1] != 'X') ||
        word.size() > 18) {
        // Decimal is allowed by the layout too.
        if (word.empty() || word.size() > 19) return false;
        std::uint64_t v = 0;
        for (char c : word) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + static_cast<std::uint64_t>(c - '0');
        }
        *value = v;
        return true;
    }
    std::uint64_t v = 0;
    for (std::size_t i = 2; i < word.size(); ++i) {
        const char c = word[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v << 4 | static_cast<std::uint64_t>(d);
    }
    *value = v;
    return true;
}

bool state_of(const std::string& word, sector_state* state) {
    if (word.size() != 1) return false;
    switch (word[0]) {
        case '+':
            *state = sector_state::read;
            return true;
        case '-':
            *state = sector_state::unreadable;
            return true;
        // Other tools' "not tried", "non-trimmed", "non-scraped": not read.
        case '?':
        case '*':
        case '/':
            *state = sector_state::not_tried;
            return true;
        default:
            return false;
    }
}

// The words of a line, split at spaces and tabs (a CR at the end dropped).
std::vector<std::string> words_of(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    for (char c : line) {
        if (c == ' ' || c == '\t' || c == '\r') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

}  // namespace

void bad_sector_map::add(std::uint64_t first, std::uint64_t count, sector_state state) {
    if (count == 0) return;
    if (!runs_.empty() && runs_.back().state == state &&
        runs_.back().first + runs_.back().count == first) {
        runs_.back().count += count;
        return;
    }
    runs_.push_back({first, count, state});
}

std::uint64_t bad_sector_map::sectors(sector_state state) const {
    std::uint64_t n = 0;
    for (const sector_run& r : runs_) n += r.state == state ? r.count : 0;
    return n;
}

std::vector<sector_run> bad_sector_map::bad_runs() const {
    std::vector<sector_run> bad;
    for (const sector_run& r : runs_) {
        if (r.state != sector_state::read) bad.push_back(r);
    }
    return bad;
}

std::string encode_bad_sector_map(const bad_sector_map& map, bool finished) {
    std::string text =
        "# Mapfile of a KIRODA rescue backup: the source's sectors that were read (+),\n"
        "# could not be read (-) or were not scraped (/: a larger read failed, not read again\n"
        "# one by one). Sectors not read are zeros in the set.\n";
    text += finished ? "# Finished.\n"
                     : "# Not finished: the backup is still running or was cut short.\n";
    char line[128];
    text += "# current_pos  current_status  current_pass\n";
    std::snprintf(line, sizeof line, "0x%08" PRIX64 "     %c               1\n",
                  map.end() * kSector, finished ? '+' : '?');
    text += line;
    text += "#      pos        size  status\n";
    for (const sector_run& r : map.runs()) {
        std::snprintf(line, sizeof line, "0x%08" PRIX64 "  0x%08" PRIX64 "  %c\n",
                      r.first * kSector, r.count * kSector, static_cast<char>(r.state));
        text += line;
    }
    return text;
}

bool parse_bad_sector_map(const std::string& text, bad_sector_map* out, int* bad_line) {
    int number = 0;
    bool status_line_seen = false;
    bad_sector_map map;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (line.empty() || line[0] == '#' || line == "\r") continue;
        const std::vector<std::string> w = words_of(line);
        if (!status_line_seen) {
            // The current-position line: position, status, and a pass.
            std::uint64_t position = 0;
            if (w.size() < 2 || !parse_number(w[0], &position) || w[1].size() != 1)
                return (*bad_line = number, false);
            status_line_seen = true;
            continue;
        }
        std::uint64_t pos = 0, size = 0;
        sector_state state{};
        // Byte positions of any disk there is fit in 62 bits; larger ones
        // would wrap the sector arithmetic below.
        constexpr std::uint64_t kLargest = std::uint64_t{1} << 62;
        if (w.size() != 3 || !parse_number(w[0], &pos) || !parse_number(w[1], &size) ||
            !state_of(w[2], &state) || size == 0 || pos > kLargest || size > kLargest) {
            return (*bad_line = number, false);
        }
        const std::uint64_t first = pos / kSector;
        const std::uint64_t last_end = (pos + size + kSector - 1) / kSector;
        if (first < map.end()) return (*bad_line = number, false);  // runs go forward
        if (first > map.end()) map.add(map.end(), first - map.end(), sector_state::not_tried);
        map.add(first, last_end - first, state);
    }
    if (!status_line_seen) return (*bad_line = number + 1, false);
    *out = std::move(map);
    *bad_line = 0;
    return true;
}

bool write_bad_sector_map(const char* folder, const bad_sector_map& map, bool finished,
                          const side_file_check& check) {
    return write_side_file(folder, kBadSectorMapTempName, kBadSectorMapName,
                           encode_bad_sector_map(map, finished), check);
}

map_read read_bad_sector_map(const char* folder, bad_sector_map* map, int* bad_line) {
    *bad_line = 0;
    std::string text;
    switch (read_side_file(folder, kBadSectorMapName, kMaxMapBytes, &text)) {
        case side_file_read::absent:
            return map_read::absent;
        case side_file_read::unreadable:
            return map_read::unreadable;
        case side_file_read::read:
            break;
    }
    return parse_bad_sector_map(text, map, bad_line) ? map_read::read : map_read::unreadable;
}

}  // namespace kiroda
