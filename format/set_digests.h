// The digest file of a backup set, KRDHASH.TXT: a side file beside the
// header and data files that lets a set prove itself. Readers of the set
// format that do not know it ignore it (its name is not KRD?????.BIN).
//
// Plain text, one record per line (docs/format.md has the layout):
//   KIRODA digests 1
//   hash XXH3-128
//   header KRD00000.BIN <bytes> <digest>
//   block <n> <unpacked bytes> <digest of the unpacked chunk>    n = 1, 2, ...
//   file KRD<nnnnn>.BIN <bytes> <digest of the file>
//   side <name> <bytes> <digest>                                  other side files
//   stream <bytes> <digest of the whole disk stream>
//   end
// It is written under a temporary name and renamed when the set is
// complete, so a crash never leaves one that looks whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format/digest.h"
#include "format/set_files.h"
#include "util/side_file.h"

namespace kiroda {

struct block_record {
    std::int32_t bytes = 0;  // unpacked length
    digest128 digest;
};

struct file_record {
    std::uint64_t bytes = 0;
    digest128 digest;
};

struct side_record {
    std::string name;
    std::uint64_t bytes = 0;
    digest128 digest;
};

struct set_digests {
    std::uint64_t header_bytes = 0;
    digest128 header;
    std::vector<block_record> blocks;  // in disk order; 60 to a data file
    std::vector<file_record> files;    // KRD00001.BIN, KRD00002.BIN, ...
    std::vector<side_record> sides;
    std::uint64_t stream_bytes = 0;
    digest128 stream;
};

std::string encode_set_digests(const set_digests& digests);

// Parses the text of a digest file and checks that its records agree with
// each other (numbering, 60 blocks to a file, whole chunks but the last, the
// blocks adding up to the stream). 0 on success; otherwise the number of the
// first line at fault (1-based), or the line after the last when the text
// ends early.
[[nodiscard]] int parse_set_digests(const char* text, std::size_t size, set_digests* digests);

enum class digests_read { absent, read, unreadable };

// Reads KRDHASH.TXT of `folder`. `bad_line` receives the line at fault when
// the file does not parse (0 when it could not be read at all).
[[nodiscard]] digests_read read_set_digests(const char* folder, set_digests* digests,
                                            int* bad_line);

// Writes KRDHASH.TXT into `folder` through its temporary name: written,
// committed, closed, looked at by `check` (when given), then renamed over the
// final name. False on any failure; the temporary file is removed and no
// final file appears.
[[nodiscard]] bool write_set_digests(const char* folder, const set_digests& digests,
                                     const side_file_check& check = {});

// Whether side file `side.name` of `folder` is the one the digest file
// recorded: its bytes, no more, of its digest.
[[nodiscard]] bool side_file_matches(const char* folder, const side_record& side);

// What the digest file says of side file `name` of `folder`.
enum class side_proof {
    unrecorded,  // no digest file, or one that records no such side file
    proven,      // recorded, and the file is the one recorded
    unproven,    // recorded and changed or gone, or the digest file does not read
};
[[nodiscard]] side_proof prove_side_file(const char* folder, const char* name);

// The digest of the header file of `folder` as it is on disk. False when it
// cannot be read whole.
[[nodiscard]] bool digest_header_file(const char* folder, std::uint64_t* bytes, digest128* digest);

}  // namespace kiroda
