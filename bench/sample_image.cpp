// Writes a sample disk image for the demo and the benchmarks:
//
//   sample_image PATH MIB [SEED]
//
// An MBR with two partitions, and inside them what a used disk holds:
// text-like files, binary data that does not pack, and large zero areas
// (free space). Zero areas are left as holes, so the file is sparse.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct rng {
    std::uint64_t x;
    std::uint64_t next() {
        x ^= x >> 12;
        x ^= x << 25;
        x ^= x >> 27;
        return x * 0x2545F4914F6CDD1DULL;
    }
};

void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

bool write_at(int fd, const unsigned char* data, std::size_t size, std::uint64_t offset) {
    return ::pwrite(fd, data, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: sample_image PATH MIB [SEED]\n");
        return 2;
    }
    const std::uint64_t mib = std::strtoull(argv[2], nullptr, 10);
    rng r{argc > 3 ? std::strtoull(argv[3], nullptr, 10) | 1 : 20171206};
    const std::uint64_t size = mib << 20;
    const std::uint64_t sectors = size / 512;
    if (sectors < 8192) {
        std::fprintf(stderr, "sample_image: at least 4 MiB\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        std::perror(argv[1]);
        return 1;
    }

    // Partition 1 (NTFS type) from sector 2,048 over 60%, partition 2 (Linux)
    // after it to 1 MiB before the end.
    const auto p1_first = static_cast<std::uint32_t>(2048);
    const auto p1_count = static_cast<std::uint32_t>(sectors * 6 / 10);
    const auto p2_first = p1_first + p1_count;
    const auto p2_count = static_cast<std::uint32_t>(sectors - 2048 - p2_first);
    unsigned char mbr[512] = {};
    for (int i = 0; i < 440; ++i) mbr[i] = static_cast<unsigned char>(r.next());  // boot code
    unsigned char* e = mbr + 446;
    e[0] = 0x80;
    e[4] = 0x07;
    put32(e + 8, p1_first);
    put32(e + 12, p1_count);
    e += 16;
    e[4] = 0x83;
    put32(e + 8, p2_first);
    put32(e + 12, p2_count);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    bool ok = write_at(fd, mbr, sizeof mbr, 0);

    // Inside the partitions: runs of "files" between runs of free space.
    static const char* words[] = {"disk ",   "backup ", "sector ", "ディスク ", "バックアップ ",
                                  "データ ", "the ",    "and ",    "KIRODA ",   "\r\n"};
    std::vector<unsigned char> run;
    std::uint64_t at = static_cast<std::uint64_t>(p1_first) * 512;
    const std::uint64_t end = (static_cast<std::uint64_t>(p2_first) + p2_count) * 512;
    while (ok && at < end) {
        const std::uint64_t kind = r.next() % 10;
        std::uint64_t length = (64 * 1024) << (r.next() % 7);  // 64 KiB to 4 MiB
        if (at + length > end) length = end - at;
        if (kind < 4) {
            // Free space: twice as long, left as a hole of zeros.
            at += 2 * length;
            continue;
        }
        run.resize(length);
        if (kind < 8) {
            std::size_t i = 0;
            while (i < length) {
                const char* w = words[r.next() % (sizeof words / sizeof words[0])];
                for (const char* c = w; *c != '\0' && i < length; ++c)
                    run[i++] = static_cast<unsigned char>(*c);
            }
            // Files end in a partly used cluster.
            std::memset(run.data() + length - 1000, 0, 1000);
        } else {
            for (std::size_t i = 0; i < length; i += 8) {
                const std::uint64_t v = r.next();
                std::memcpy(run.data() + i, &v, length - i < 8 ? length - i : 8);
            }
        }
        ok = write_at(fd, run.data(), run.size(), at);
        at += length;
    }
    if (!ok || ::close(fd) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
