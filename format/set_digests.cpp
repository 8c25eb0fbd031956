#include "format/set_digests.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "format/header_file.h"
#include "format/packed_block.h"
#include "util/file_io.h"
#include "util/path.h"
#include "util/path_query.h"
#include "util/side_file.h"

namespace kiroda {

namespace {

constexpr std::string_view kFirstLine = "KIRODA digests 1";
constexpr std::string_view kHashLine = "hash XXH3-128";
// A digest file of the largest set stays far below this; anything longer
// is not one of ours and is not read into memory.
constexpr std::size_t kMaxDigestFileBytes = 64 << 20;

std::string data_file_name(std::size_t number) {
    char name[32];
    std::snprintf(name, sizeof name, kDataFileNameFormat, static_cast<int>(number));
    return name;
}

void append_record(std::string& text, const char* prefix, std::uint64_t bytes, const digest128& d) {
    char hex[kDigestHexLength + 1];
    format_digest(hex, d);
    char line[160];
    std::snprintf(line, sizeof line, "%s %" PRIu64 " %s\n", prefix, bytes, hex);
    text += line;
}

// Splits a line at single spaces.
std::vector<std::string_view> words_of(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t start = 0;
    while (start <= line.size()) {
        const std::size_t space = line.find(' ', start);
        const std::size_t end = space == std::string_view::npos ? line.size() : space;
        words.push_back(line.substr(start, end - start));
        if (space == std::string_view::npos) break;
        start = space + 1;
    }
    return words;
}

// A decimal count without sign, leading zeros (but "0") or overflow.
bool parse_count(std::string_view word, std::uint64_t* value) {
    if (word.empty() || word.size() > 20 || (word.size() > 1 && word[0] == '0')) return false;
    std::uint64_t v = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return false;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (v > (UINT64_MAX - digit) / 10) return false;
        v = v * 10 + digit;
    }
    *value = v;
    return true;
}

bool parse_hex(std::string_view word, digest128* d) {
    return parse_digest(word.data(), word.size(), d);
}

// A side file's name is a plain file name in the set's folder: letters,
// digits, '.', '_' and '-', not starting with '.', so a digest file from a
// medium can never name a path outside the folder (or a NUL that would cut
// the name short).
bool plain_file_name(std::string_view name) {
    if (name.empty() || name.size() > 64 || name[0] == '.') return false;
    for (char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

// The records agree with each other: what a backup of `stream_bytes`
// bytes would have written.
bool consistent(const set_digests& d) {
    if (d.blocks.empty()) return false;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < d.blocks.size(); ++i) {
        const std::int32_t bytes = d.blocks[i].bytes;
        if (bytes <= 0 || bytes > kChunkBytes || bytes % 512 != 0) return false;
        if (i + 1 < d.blocks.size() && bytes != kChunkBytes) return false;
        total += static_cast<std::uint64_t>(bytes);
    }
    const std::size_t files = (d.blocks.size() + kBlocksPerDataFile - 1) / kBlocksPerDataFile;
    return total == d.stream_bytes && d.files.size() == files;
}

}  // namespace

std::string encode_set_digests(const set_digests& d) {
    std::string text;
    text += kFirstLine;
    text += '\n';
    text += kHashLine;
    text += '\n';
    append_record(text, "header KRD00000.BIN", d.header_bytes, d.header);
    for (std::size_t i = 0; i < d.blocks.size(); ++i) {
        const std::string prefix = "block " + std::to_string(i + 1);
        append_record(text, prefix.c_str(), static_cast<std::uint64_t>(d.blocks[i].bytes),
                      d.blocks[i].digest);
    }
    for (std::size_t i = 0; i < d.files.size(); ++i) {
        const std::string prefix = "file " + data_file_name(i + 1);
        append_record(text, prefix.c_str(), d.files[i].bytes, d.files[i].digest);
    }
    for (const side_record& side : d.sides) {
        const std::string prefix = "side " + side.name;
        append_record(text, prefix.c_str(), side.bytes, side.digest);
    }
    append_record(text, "stream", d.stream_bytes, d.stream);
    text += "end\n";
    return text;
}

namespace {

// What the records of a digest file have said so far.
struct records_seen {
    bool header = false;
    bool stream = false;
    bool ended = false;
};

// One record (a line past the first two) into `d`. False when it is at fault.
bool take_record(std::string_view line, set_digests& d, records_seen& seen) {
    const std::vector<std::string_view> w = words_of(line);
    std::uint64_t n = 0;
    std::uint64_t bytes = 0;
    digest128 digest;
    if (w.size() == 1 && w[0] == "end") {
        if (!seen.header || !seen.stream) return false;
        seen.ended = true;
    } else if (w.size() == 4 && w[0] == "header") {
        if (seen.header || w[1] != kHeaderFileName || !parse_count(w[2], &bytes) ||
            !parse_hex(w[3], &digest)) {
            return false;
        }
        d.header_bytes = bytes;
        d.header = digest;
        seen.header = true;
    } else if (w.size() == 4 && w[0] == "block") {
        if (!parse_count(w[1], &n) || n != d.blocks.size() + 1 || !parse_count(w[2], &bytes) ||
            bytes > static_cast<std::uint64_t>(kChunkBytes) || !parse_hex(w[3], &digest)) {
            return false;
        }
        d.blocks.push_back({static_cast<std::int32_t>(bytes), digest});
    } else if (w.size() == 4 && w[0] == "file") {
        if (w[1] != data_file_name(d.files.size() + 1) || !parse_count(w[2], &bytes) ||
            !parse_hex(w[3], &digest)) {
            return false;
        }
        d.files.push_back({bytes, digest});
    } else if (w.size() == 4 && w[0] == "side") {
        if (!plain_file_name(w[1]) || !parse_count(w[2], &bytes) || !parse_hex(w[3], &digest))
            return false;
        d.sides.push_back({std::string(w[1]), bytes, digest});
    } else if (w.size() == 3 && w[0] == "stream") {
        if (seen.stream || !parse_count(w[1], &bytes) || !parse_hex(w[2], &digest)) return false;
        d.stream_bytes = bytes;
        d.stream = digest;
        seen.stream = true;
    } else {
        return false;
    }
    return true;
}

}  // namespace

int parse_set_digests(const char* text, std::size_t size, set_digests* out) {
    set_digests d;
    const std::string_view all(text, size);
    std::size_t position = 0;
    int line_number = 0;
    records_seen seen;
    while (position < all.size()) {
        ++line_number;
        const std::size_t newline = all.find('\n', position);
        // Every line, the last included, ends with a newline: a file cut
        // in the middle of a line is not whole.
        if (newline == std::string_view::npos || seen.ended) return line_number;
        std::string_view line = all.substr(position, newline - position);
        position = newline + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // edited on Windows

        if (line_number == 1) {
            if (line != kFirstLine) return line_number;
        } else if (line_number == 2) {
            if (line != kHashLine) return line_number;
        } else if (!take_record(line, d, seen)) {
            return line_number;
        }
    }
    if (!seen.ended) return line_number + 1;
    if (!consistent(d)) return line_number;
    *out = std::move(d);
    return 0;
}

digests_read read_set_digests(const char* folder, set_digests* digests, int* bad_line) {
    *bad_line = 0;
    std::string text;
    switch (read_side_file(folder, kDigestFileName, kMaxDigestFileBytes, &text)) {
        case side_file_read::absent:
            return digests_read::absent;
        case side_file_read::unreadable:
            return digests_read::unreadable;
        case side_file_read::read:
            break;
    }
    *bad_line = parse_set_digests(text.data(), text.size(), digests);
    return *bad_line == 0 ? digests_read::read : digests_read::unreadable;
}

bool write_set_digests(const char* folder, const set_digests& digests,
                       const side_file_check& check) {
    return write_side_file(folder, kDigestTempName, kDigestFileName, encode_set_digests(digests),
                           check);
}

bool digest_header_file(const char* folder, std::uint64_t* bytes, digest128* digest) {
    char path[kPathCapacity + 16];
    if (!join_path(folder, kHeaderFileName, path, sizeof path)) return false;
    unique_fd fd(open_for_reading(path));
    if (!fd.valid()) return false;
    unsigned char record[kHeaderFileSize + 1];
    const std::int64_t n = read_full(fd.get(), record, sizeof record);
    if (n < 0) return false;
    *bytes = static_cast<std::uint64_t>(n);
    *digest = digest_bytes(record, static_cast<std::size_t>(n));
    return true;
}

// A side file recorded in the digest file, read whole (side files are small
// texts; anything larger than this is not one).
constexpr std::uint64_t kMaxSideBytes = 256ULL << 20;

bool side_file_matches(const char* folder, const side_record& side) {
    char path[kPathCapacity + 16];
    if (side.bytes > kMaxSideBytes || !join_path(folder, side.name.c_str(), path, sizeof path))
        return false;
    // One byte more than recorded: a longer file shows as one.
    digest_stream digest;
    return digest_file(path, side.bytes + 1, digest) == static_cast<std::int64_t>(side.bytes) &&
           digest.value() == side.digest;
}

side_proof prove_side_file(const char* folder, const char* name) {
    set_digests digests;
    int bad_line = 0;
    switch (read_set_digests(folder, &digests, &bad_line)) {
        case digests_read::absent:
            return side_proof::unrecorded;
        case digests_read::unreadable:
            return side_proof::unproven;
        case digests_read::read:
            break;
    }
    for (const side_record& side : digests.sides) {
        if (side.name != name) continue;
        return side_file_matches(folder, side) ? side_proof::proven : side_proof::unproven;
    }
    return side_proof::unrecorded;
}

}  // namespace kiroda
