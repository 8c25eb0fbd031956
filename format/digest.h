// 128-bit digests of a set's bytes (XXH3-128): the identity of a header
// file, the contents of each data file and each unpacked chunk, and the
// whole disk stream. Far stronger than the XOR checksums of a block, which
// cannot see two equal bit flips or two swapped words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kiroda {

struct digest128 {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    friend bool operator==(const digest128&, const digest128&) = default;
};

// Characters of a digest written out: 32 lowercase hex digits.
constexpr std::size_t kDigestHexLength = 32;

digest128 digest_bytes(const void* data, std::size_t size);

// The digest of bytes that arrive in pieces; equal to digest_bytes of the
// pieces joined.
class digest_stream {
  public:
    digest_stream();
    ~digest_stream();
    digest_stream(const digest_stream&) = delete;
    digest_stream& operator=(const digest_stream&) = delete;

    // False when the hash state could not be allocated; every later value
    // is then a digest of nothing, so callers check it once.
    bool ready() const { return state_ != nullptr; }
    void reset();
    void add(const void* data, std::size_t size);
    digest128 value() const;
    // Takes the state of `other` (both ready): a digest can be put back to
    // where it stood.
    void copy_from(const digest_stream& other);

  private:
    struct state;
    struct state_deleter {
        void operator()(state* s) const;
    };
    std::unique_ptr<state, state_deleter> state_;
};

// The digest of `size` bytes that also join `stream`, in one pass over
// them: each slice is fed to both while it is in the cache. Equal to
// digest_bytes() followed by stream.add(), which is what it does when its
// own hash state cannot be allocated.
digest128 digest_bytes_into(const void* data, std::size_t size, digest_stream& stream);

// Adds the first bytes of the file at `path`, at most `limit`, to `digest`
// (in pieces: a size from a file is not trusted with an allocation).
// Returns the bytes added, or -1 when the file cannot be opened or read.
[[nodiscard]] std::int64_t digest_file(const char* path, std::uint64_t limit,
                                       digest_stream& digest);

// The inner loop every digest takes: the widest this processor runs (where
// the build carries a wider one than the portable loop), or the portable
// loop whatever the processor. Only the test that holds the two against
// each other forces the portable one; a program never does.
enum class digest_loop { widest, portable };
void force_digest_loop_for_tests(digest_loop loop);
// True when this build carries a wider loop and this processor runs it.
[[nodiscard]] bool wider_digest_loop_runs_here();

// Writes the digest as 32 hex digits and a NUL into `text` (33 bytes).
void format_digest(char* text, const digest128& digest);
// Reads exactly 32 hex digits (either case); false on anything else.
[[nodiscard]] bool parse_digest(const char* text, std::size_t length, digest128* digest);

}  // namespace kiroda
