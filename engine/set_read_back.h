// The backup's proof that its medium keeps what was written: a
// fake-capacity card accepts every write and hands back other data later, a
// tired stick flips a byte. Each file of the set is read back from the
// medium once it is committed, past the system's cache
// (open_for_reading_back), and compared with the digest recorded for it
// when it was written.
#pragma once

#include <cstdint>

#include "engine/progress.h"
#include "format/digest.h"

namespace kiroda {

enum class read_back_result {
    same,      // the medium holds the bytes written
    not_kept,  // it holds others, fewer or more, or the file cannot be read
    stopped,   // the user stopped the check
};

// Reads `path` back from its medium and compares it with `bytes` bytes of
// digest `digest`. With `shown`, the progress tells the check
// (書き込み確認中 and the MB left to read) and a stop ends it; the status
// is left for the caller to set again.
read_back_result read_back_file(progress& p, const char* path, std::uint64_t bytes,
                                const digest128& digest, bool shown);

// The bytes of `path` as the medium holds them (at most `limit` of them):
// their count and digest. False when the file cannot be read.
bool digest_on_medium(const char* path, std::uint64_t limit, std::uint64_t* bytes,
                      digest128* digest);

// The one message of a file the medium did not keep: it names the file and
// says the backup is not usable, another medium is needed.
void report_not_kept(progress& p, const char* path);

}  // namespace kiroda
