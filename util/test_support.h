// Helpers shared by the test programs: a private temporary folder that is
// removed again, and whole-file reads and writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kiroda::test_support {

class temp_folder {
  public:
    temp_folder();
    ~temp_folder();
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as the program's own path text (no trailing separator).
    std::string text() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

std::vector<unsigned char> read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<unsigned char>& bytes);

// 64-bit FNV-1a digest, for golden-bytes comparisons.
std::uint64_t fnv1a64(const unsigned char* data, std::size_t size);
inline std::uint64_t fnv1a64(const std::vector<unsigned char>& v) {
    return fnv1a64(v.data(), v.size());
}

// Deterministic pseudo-random bytes (xorshift64*), identical on every build.
void fill_random(unsigned char* data, std::size_t size, std::uint64_t seed);

}  // namespace kiroda::test_support
