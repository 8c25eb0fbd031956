// The cost of one cold read of a set through engine/set_image, without
// FUSE: how long open() takes (the walk over the block headers) and how
// long a 4 KiB read takes in each block not yet in the cache (one block
// read, unpacked and checked).
//
//   bench_set_image SETDIR
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "engine/progress.h"
#include "engine/set_image.h"
#include "format/header_file.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_set_image SETDIR\n");
        return 2;
    }
    using clock = std::chrono::steady_clock;
    auto ms = [](clock::time_point a, clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    kiroda::backup_header header{};
    if (!kiroda::read_header_silently(argv[1], &header)) {
        std::fprintf(stderr, "bench_set_image: no set in %s\n", argv[1]);
        return 1;
    }
    kiroda::set_image image(argv[1], header.backup_bytes);
    kiroda::silent_progress p;
    const auto t0 = clock::now();
    if (!image.open(p)) return 1;
    const auto t1 = clock::now();
    std::printf("open (index of %zu blocks): %.1f ms\n", image.blocks().size(), ms(t0, t1));
    std::vector<double> times;
    std::vector<unsigned char> buffer(4096);
    for (std::size_t b = 0; b < image.blocks().size(); ++b) {
        const std::uint64_t at = std::uint64_t{b} * kiroda::kChunkBytes + 4096;
        const auto a = clock::now();
        if (image.read(at, buffer.size(), buffer.data()) < 0) return 1;
        times.push_back(ms(a, clock::now()));
    }
    std::sort(times.begin(), times.end());
    if (!times.empty()) {
        std::printf(
            "cold 4 KiB read, one block each: median %.1f ms, slowest %.1f ms (%zu blocks)\n",
            times[times.size() / 2], times.back(), times.size());
    }
    return 0;
}
