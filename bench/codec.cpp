// Codec and checksum speed against memcpy of the same 16 MiB chunk.
//
//   bench_codec [rounds]
//
// Three kinds of chunk: all zeros, random bytes, and a realistic mix (runs of
// zeros between runs of file-like data). For each: pack_words, unpack_words
// and compute_checksums, as MB/s and as a fraction of memcpy's speed.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "format/digest.h"
#include "format/packed_block.h"
#include "format/word_codec.h"

namespace {

using clock_type = std::chrono::steady_clock;
constexpr std::size_t kSize = kiroda::kChunkBytes;

void fill_random(unsigned char* p, std::size_t n, std::uint64_t seed) {
    std::uint64_t x = seed | 1;
    for (std::size_t i = 0; i < n; i += 8) {
        x ^= x >> 12;
        x ^= x << 25;
        x ^= x >> 27;
        const std::uint64_t v = x * 0x2545F4914F6CDD1DULL;
        std::memcpy(p + i, &v, n - i < 8 ? n - i : 8);
    }
}

// Zero runs of 4 KiB to 256 KiB between data runs of 4 KiB to 512 KiB; the
// data runs are text-like (small values, some zero words inside).
void fill_mixed(unsigned char* p, std::size_t n) {
    std::uint64_t x = 12345;
    auto next = [&x] {
        x ^= x >> 12;
        x ^= x << 25;
        x ^= x >> 27;
        return x * 0x2545F4914F6CDD1DULL;
    };
    std::size_t at = 0;
    bool zeros = false;
    while (at < n) {
        std::size_t run = zeros ? 4096 + next() % (256 * 1024) : 4096 + next() % (512 * 1024);
        run = run < n - at ? run : n - at;
        if (zeros) {
            std::memset(p + at, 0, run);
        } else {
            for (std::size_t i = 0; i < run; ++i) {
                const std::uint64_t r = next();
                p[at + i] = (r & 0xF) == 0 ? 0 : static_cast<unsigned char>(0x20 + (r >> 8) % 90);
            }
        }
        at += run;
        zeros = !zeros;
    }
}

template <typename F>
double best_seconds(int rounds, F&& f) {
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = clock_type::now();
        f();
        const double s = std::chrono::duration<double>(clock_type::now() - t0).count();
        if (s < best) best = s;
    }
    return best;
}

volatile std::uint32_t g_sink;

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    std::vector<unsigned char> chunk(kSize), code(kSize), out(kSize), copy(kSize);
    std::printf("%-8s %-10s %10s %10s\n", "chunk", "operation", "MB/s", "x memcpy");
    const char* names[] = {"zeros", "random", "mixed"};
    for (int kind = 0; kind < 3; ++kind) {
        if (kind == 0) std::memset(chunk.data(), 0, kSize);
        if (kind == 1) fill_random(chunk.data(), kSize, 99);
        if (kind == 2) fill_mixed(chunk.data(), kSize);
        const double memcpy_s = best_seconds(rounds, [&] {
            std::memcpy(copy.data(), chunk.data(), kSize);
            g_sink = copy[kSize / 2];
        });
        std::int32_t code_size = 0;
        const double pack_s = best_seconds(rounds, [&] {
            code_size = kiroda::pack_words(chunk.data(), kiroda::kChunkBytes, code.data(),
                                           kiroda::kChunkBytes);
        });
        const bool packed = code_size >= 0;
        double unpack_s = 0;
        if (packed) {
            unpack_s = best_seconds(rounds, [&] {
                g_sink = static_cast<std::uint32_t>(
                    kiroda::unpack_words(code.data(), code_size, out.data(), kiroda::kChunkBytes));
            });
            if (std::memcmp(out.data(), chunk.data(), kSize) != 0) {
                std::fprintf(stderr, "round trip failed for %s\n", names[kind]);
                return 1;
            }
        }
        const double sum_s = best_seconds(
            rounds, [&] { g_sink = kiroda::compute_checksums(chunk.data(), kSize).word_xor; });
        // The backup takes this digest twice per chunk (the block's and the
        // stream's) and once more over the packed bytes of its data file.
        const double digest_s = best_seconds(rounds, [&] {
            g_sink = static_cast<std::uint32_t>(kiroda::digest_bytes(chunk.data(), kSize).low);
        });
        auto row = [&](const char* op, double s) {
            std::printf("%-8s %-10s %10.0f %10.2f\n", names[kind], op, kSize / s / 1e6,
                        memcpy_s / s);
        };
        row("memcpy", memcpy_s);
        row("pack", pack_s);
        if (packed) {
            row("unpack", unpack_s);
        } else {
            std::printf(
                "%-8s %-10s %10s %10s  (code not shorter: block is stored, nothing to unpack)\n",
                names[kind], "unpack", "-", "-");
        }
        row("checksums", sum_s);
        row("digest", digest_s);
        std::printf("%-8s code size %d bytes (%.1f%% of the chunk)\n", names[kind], code_size,
                    packed ? 100.0 * code_size / kSize : 100.0);
    }
    return 0;
}
