#include "format/digest.h"

#include <atomic>
#include <new>

#include "util/file_io.h"

#ifdef KIRODA_DIGEST_AVX2
#include "format/digest_avx2.h"
#endif

// The library is used header-only, so the Windows build (which has no
// Debian library to link) gets the same code.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace kiroda {

struct digest_stream::state {
    XXH3_state_t* xxh;
};

void digest_stream::state_deleter::operator()(state* s) const {
    XXH3_freeState(s->xxh);
    delete s;
}

namespace {

std::atomic<bool> g_portable_forced{false};

// Whether the wider loop takes the bytes: where it runs, and is not held
// back for the comparison test.
bool wider() {
#ifdef KIRODA_DIGEST_AVX2
    return !g_portable_forced.load(std::memory_order_relaxed) && digest_avx2_usable();
#else
    return false;
#endif
}

digest128 from_xxh(XXH128_hash_t h) {
    return digest128{h.high64, h.low64};
}

// Every update of a state goes through here: the wider loop where it runs.
void update(XXH3_state_t* state, const void* data, std::size_t size) {
#ifdef KIRODA_DIGEST_AVX2
    if (wider()) {
        digest_avx2_update(state, data, size);
        return;
    }
#endif
    XXH3_128bits_update(state, data, size);
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void force_digest_loop_for_tests(digest_loop loop) {
    g_portable_forced.store(loop == digest_loop::portable, std::memory_order_relaxed);
}

bool wider_digest_loop_runs_here() {
#ifdef KIRODA_DIGEST_AVX2
    return digest_avx2_usable();
#else
    return false;
#endif
}

digest128 digest_bytes(const void* data, std::size_t size) {
#ifdef KIRODA_DIGEST_AVX2
    // Through a state (a few hundred bytes): the one-shot function has no
    // second build. Short inputs take the one-shot path either way.
    if (size >= 4096 && wider()) {
        XXH3_state_t state;
        XXH3_128bits_reset(&state);
        update(&state, data, size);
        return from_xxh(XXH3_128bits_digest(&state));
    }
#endif
    return from_xxh(XXH3_128bits(data, size));
}

digest128 digest_bytes_into(const void* data, std::size_t size, digest_stream& stream) {
    // Slices that stay in the second-level cache between the two updates.
    constexpr std::size_t kSlice = 64 * 1024;
    XXH3_state_t* own = XXH3_createState();
    if (own == nullptr) {
        stream.add(data, size);
        return digest_bytes(data, size);
    }
    XXH3_128bits_reset(own);
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t done = 0; done < size;) {
        const std::size_t n = size - done < kSlice ? size - done : kSlice;
        update(own, bytes + done, n);
        stream.add(bytes + done, n);
        done += n;
    }
    const digest128 digest = from_xxh(XXH3_128bits_digest(own));
    XXH3_freeState(own);
    return digest;
}

void digest_stream::copy_from(const digest_stream& other) {
    if (state_ && other.state_) XXH3_copyState(state_->xxh, other.state_->xxh);
}

std::int64_t digest_file(const char* path, std::uint64_t limit, digest_stream& digest) {
    unique_fd fd(open_for_reading(path));
    if (!fd.valid() || !digest.ready()) return -1;
    std::uint64_t total = 0;
    unsigned char piece[65536];
    while (total < limit) {
        const std::uint64_t want = limit - total < sizeof piece ? limit - total : sizeof piece;
        const std::int64_t n = read_full(fd.get(), piece, static_cast<std::size_t>(want));
        if (n < 0) return -1;
        if (n == 0) break;
        digest.add(piece, static_cast<std::size_t>(n));
        total += static_cast<std::uint64_t>(n);
    }
    return static_cast<std::int64_t>(total);
}

digest_stream::digest_stream() {
    XXH3_state_t* xxh = XXH3_createState();
    if (xxh == nullptr) return;
    state_.reset(new (std::nothrow) state{xxh});
    if (state_ == nullptr) {
        XXH3_freeState(xxh);
        return;
    }
    reset();
}

digest_stream::~digest_stream() = default;

void digest_stream::reset() {
    if (state_ != nullptr) XXH3_128bits_reset(state_->xxh);
}

void digest_stream::add(const void* data, std::size_t size) {
    if (state_ != nullptr && size > 0) update(state_->xxh, data, size);
}

digest128 digest_stream::value() const {
    if (state_ == nullptr) return digest_bytes(nullptr, 0);
    return from_xxh(XXH3_128bits_digest(state_->xxh));
}

void format_digest(char* text, const digest128& digest) {
    static const char kHex[] = "0123456789abcdef";
    // High half first: the order the canonical form of the hash uses, so
    // the text equals what other tools print for the same bytes.
    for (int i = 0; i < 16; ++i) text[i] = kHex[(digest.high >> (60 - 4 * i)) & 0xF];
    for (int i = 0; i < 16; ++i) text[16 + i] = kHex[(digest.low >> (60 - 4 * i)) & 0xF];
    text[kDigestHexLength] = '\0';
}

bool parse_digest(const char* text, std::size_t length, digest128* digest) {
    if (length != kDigestHexLength) return false;
    digest128 d;
    for (std::size_t i = 0; i < kDigestHexLength; ++i) {
        const int v = hex_value(text[i]);
        if (v < 0) return false;
        std::uint64_t& half = i < 16 ? d.high : d.low;
        half = (half << 4) | static_cast<std::uint64_t>(v);
    }
    *digest = d;
    return true;
}

}  // namespace kiroda
