#include "engine/set_read_back.h"

#include "engine/chunk_buffer.h"
#include "engine/data_file.h"
#include "engine/engine_message.h"
#include "ui/stored_text.h"
#include "util/file_io.h"

namespace kiroda {

namespace {

constexpr enciphered_text kNotKept{
    "バックアップ先のメディアから読み戻したデータが、書き込んだ内容と異なるか、読めません。\n\n%s\n\n"
    "このメディアは書き込んだ内容を保てません。このバックアップは使えません。\n"
    "別のメディアに、はじめからバックアップをやり直して下さい。"};

// A read of 4 MiB at a time: large enough for a device's speed, small enough
// for the progress and a stop to follow it.
constexpr std::size_t kPiece = std::size_t{4} << 20;
static_assert(kPiece % kReadBackAlignment == 0);

struct medium_read {
    bool read = false;     // the file read to its end (or past `limit`)
    bool stopped = false;  // a stop ended it
    std::uint64_t bytes = 0;
    digest128 digest;
};

// Reads `path` from the medium, digesting at most `limit` bytes (one more
// than a file should hold is enough to tell it holds too many). With
// `shown`, `expected` is what the MB left count down from.
medium_read read_from_medium(progress* shown, const char* path, std::uint64_t limit,
                             std::uint64_t expected) {
    medium_read r;
    const chunk_buffer buffer(kPiece);
    digest_stream digest;
    unique_fd fd(open_for_reading_back(path));
    if (buffer.data() == nullptr || !digest.ready() || !fd.valid()) return r;
    if (shown != nullptr) shown->set_status("書き込み確認中");
    while (r.bytes < limit) {
        if (shown != nullptr) {
            char line[96];
            format_bytes_left(line, sizeof line, expected > r.bytes ? expected - r.bytes : 0);
            shown->set_detail(line);
            shown->set_bytes_left(expected > r.bytes ? expected - r.bytes : 0);
            if (!shown->running()) {
                r.stopped = true;
                return r;
            }
        }
        const std::int64_t n = read_back(fd.get(), buffer.data(), kPiece);
        if (n < 0) return r;
        const std::uint64_t room = limit - r.bytes;
        const auto got = static_cast<std::uint64_t>(n);
        const std::uint64_t taken = got < room ? got : room;
        digest.add(buffer.data(), static_cast<std::size_t>(taken));
        r.bytes += taken;
        if (static_cast<std::size_t>(n) < kPiece) break;
    }
    r.read = true;
    r.digest = digest.value();
    return r;
}

}  // namespace

read_back_result read_back_file(progress& p, const char* path, std::uint64_t bytes,
                                const digest128& digest, bool shown) {
    const medium_read r = read_from_medium(shown ? &p : nullptr, path, bytes + 1, bytes);
    if (r.stopped) return read_back_result::stopped;
    return r.read && r.bytes == bytes && r.digest == digest ? read_back_result::same
                                                            : read_back_result::not_kept;
}

bool digest_on_medium(const char* path, std::uint64_t limit, std::uint64_t* bytes,
                      digest128* digest) {
    const medium_read r = read_from_medium(nullptr, path, limit, 0);
    if (!r.read) return false;
    *bytes = r.bytes;
    *digest = r.digest;
    return true;
}

void report_not_kept(progress& p, const char* path) {
    tell(p, kNotKept, path);
}

}  // namespace kiroda
