#include "util/test_support.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace kiroda::test_support {

temp_folder::temp_folder() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            "kiroda-test-" + std::to_string(stamp % 1000000007) + "-" + std::to_string(counter++);
        std::error_code error;
        if (std::filesystem::create_directory(base / name, error)) {
            path_ = base / name;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

temp_folder::~temp_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<unsigned char> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in.tellg();
    // In one read where the size is known: images of tens of MiB are read
    // byte by byte slowly, under the sanitizers most of all.
    if (size >= 0 && in.seekg(0)) {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
        if (in.read(reinterpret_cast<char*>(bytes.data()), size) && in.gcount() == size) {
            return bytes;
        }
        in.clear();
        in.seekg(0);
    }
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::uint64_t fnv1a64(const unsigned char* data, std::size_t size) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 0x100000001b3ULL;
    }
    return h;
}

void fill_random(unsigned char* data, std::size_t size, std::uint64_t seed) {
    std::uint64_t x = seed | 1;
    for (std::size_t i = 0; i < size; ++i) {
        x ^= x >> 12;
        x ^= x << 25;
        x ^= x >> 27;
        data[i] = static_cast<unsigned char>((x * 0x2545F4914F6CDD1DULL) >> 56);
    }
}

}  // namespace kiroda::test_support
