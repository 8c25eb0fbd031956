#include "engine/engine_test_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "disk/disk_image_test_support.h"
#include "format/packed_block.h"
#include "util/file_io.h"
#include "util/test_support.h"

namespace kiroda::test_support {

namespace {

void write_at(std::fstream& image, std::uint64_t sector, const std::vector<unsigned char>& bytes) {
    image.seekp(static_cast<std::streamoff>(sector * 512));
    image.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

void make_disk_image(const std::string& path, std::uint64_t sectors,
                     const std::vector<unsigned char>& sector0) {
    { std::ofstream create(path, std::ios::binary | std::ios::trunc); }
    std::filesystem::resize_file(path, sectors * 512);
    std::fstream image(path, std::ios::binary | std::ios::in | std::ios::out);
    auto put = [&](std::uint64_t n) {
        if (n < sectors) write_at(image, n, pattern_sector(n));
    };
    for (std::uint64_t n = 0; n < 100; ++n) put(n);
    for (std::uint64_t boundary = 32768; boundary < sectors; boundary += 32768) {
        put(boundary - 1);
        put(boundary);
    }
    if (sectors > 0) put(sectors - 1);
    if (!sector0.empty() && sectors > 0) write_at(image, 0, sector0);
}

void make_random_image(const std::string& path, std::uint64_t sectors, std::uint64_t seed) {
    std::vector<unsigned char> bytes(sectors * 512);
    fill_random(bytes.data(), bytes.size(), seed);
    write_file(path, bytes);
}

void make_blank_target(const std::string& path, std::uint64_t sectors) {
    // In pieces: a gigabyte in one vector does not fit a 32-bit test program.
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::vector<char> piece(1 << 20, static_cast<char>(0xEE));
    for (std::uint64_t left = sectors * 512; left > 0;) {
        const std::uint64_t n = left < piece.size() ? left : piece.size();
        out.write(piece.data(), static_cast<std::streamsize>(n));
        left -= n;
    }
}

void write_data_file(const std::string& path,
                     const std::vector<std::vector<unsigned char>>& chunks) {
    unique_fd fd(open_for_writing(path.c_str()));
    for (const auto& chunk : chunks) {
        // A set the test cannot make must not pass for one it made.
        if (write_packed_block(fd.get(), chunk.data(), static_cast<std::int32_t>(chunk.size())) < 0)
            throw std::runtime_error("cannot write a block of " + path);
    }
}

std::uint64_t write_two_file_set(const std::string& folder, std::uint32_t last_sectors) {
    std::vector<unsigned char> chunk(kChunkBytes, 0);
    for (std::size_t i = 0; i < chunk.size(); i += 97) chunk[i] = 1;
    unique_fd fd(open_for_writing((folder + "/KRD00001.BIN").c_str()));
    for (int i = 0; i < kBlocksPerDataFile; ++i) {
        if (write_packed_block(fd.get(), chunk.data(), kChunkBytes) < 0)
            throw std::runtime_error("cannot write a block in " + folder);
        if (i == 0) std::fill(chunk.begin(), chunk.end(), 0);
    }
    chunk.resize(std::size_t{last_sectors} * 512);
    write_data_file(folder + "/KRD00002.BIN", {chunk});
    return std::uint64_t{kBlocksPerDataFile} * kChunkBytes + std::uint64_t{last_sectors} * 512;
}

bool same_file(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (;;) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount()) return false;
        if (fa.gcount() == 0) return true;
        if (!std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin())) return false;
    }
}

std::vector<unsigned char> first_sector(const std::string& path) {
    std::vector<unsigned char> bytes(512, 0);
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()),
            512);  // a shorter file reads as zeros after its end
    return bytes;
}

}  // namespace kiroda::test_support
