#include "engine/set_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "disk/faulty_disk_test_support.h"
#include "engine/backup_engine.h"
#include "engine/data_file.h"
#include "engine/engine_test_support.h"
#include "format/packed_block.h"
#include "ui/recording_sink_test_support.h"
#include "util/path.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

namespace fs = std::filesystem;
using test_support::make_disk_image;
using test_support::make_random_image;
using test_support::read_file;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::temp_folder;
using test_support::write_file;

constexpr std::uint64_t kChunk = kChunkBytes;  // bytes
constexpr std::uint64_t kSector = 512;

std::vector<unsigned char> read_image(const std::string& path, std::uint64_t offset,
                                      std::size_t length) {
    std::vector<unsigned char> bytes(length);
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// A read of the image against the same bytes of the source: "ok", "EIO"
// or "WRONG".
std::string read_result(set_image& image, const std::string& source, std::uint64_t offset,
                        std::size_t length) {
    std::vector<unsigned char> got(length);
    const std::int64_t n = image.read(offset, length, got.data());
    if (n < 0) return "EIO";
    got.resize(static_cast<std::size_t>(n));
    return got == read_image(source, offset, length) ? "ok" : "WRONG";
}

// Puts `bytes` random bytes at `offset` of the image (a stored block, or a
// block part stored and part zeros).
void scribble(const std::string& path, std::uint64_t offset, std::size_t bytes,
              std::uint64_t seed) {
    std::vector<unsigned char> noise(bytes);
    kiroda::test_support::fill_random(noise.data(), noise.size(), seed);
    std::fstream image(path, std::ios::binary | std::ios::in | std::ios::out);
    image.seekp(static_cast<std::streamoff>(offset));
    image.write(reinterpret_cast<const char*>(noise.data()),
                static_cast<std::streamsize>(noise.size()));
}

// Backs up the image into `set` (a folder made here); true when done.
bool back_up(const std::string& image, const std::string& set, std::uint64_t bytes,
             const disk_faults& faults = {}, bool rescue = false) {
    register_disk_path(0, image);
    set_disk_faults(0, faults);
    fs::create_directories(set);
    recording_progress p;
    recording_sink sink;
    const bool done = backup_disk(p, 0, set.c_str(), bytes, backup_options{rescue}) == kEngineDone;
    clear_disk_paths();
    return done;
}

struct opened {
    bool ok;
    std::vector<std::string> messages;
};

opened open_image(set_image& image) {
    recording_progress p;
    recording_sink sink;
    opened o{image.open(p), {}};
    for (const auto& m : sink.seen) o.messages.push_back(m.text);
    return o;
}

// Two data files: 60 blocks, then one whole chunk and a last block of 100
// sectors. Patterned sectors at every chunk boundary, random bytes (stored
// blocks) in chunk 2, at the end of the first file and the start of the
// second, zeros (packed blocks) elsewhere.
class SetImage : public ::testing::Test {
  public:
    static constexpr std::uint64_t kBytes = 61 * kChunk + 100 * kSector;
    static void SetUpTestSuite() {
        shared_ = new temp_folder;
        make_disk_image(source(), kBytes / kSector);
        scribble(source(), 2 * kChunk, kChunk, 2);
        scribble(source(), 60 * kChunk - kChunk / 2, kChunk, 60);
        ASSERT_TRUE(back_up(source(), set(), kBytes));
    }
    static void TearDownTestSuite() {
        delete shared_;
        shared_ = nullptr;
    }
    static std::string source() { return shared_->file("source.img"); }
    static std::string set() { return shared_->file("set"); }
    static temp_folder* shared_;
};

temp_folder* SetImage::shared_ = nullptr;

TEST_F(SetImage, RandomReadsAcrossBlocksAndFilesAreTheDisksBytes) {
    set_image image(set(), kBytes);
    ASSERT_TRUE(open_image(image).ok);
    ASSERT_EQ(image.blocks().size(), 62u);
    EXPECT_EQ(image.blocks()[60].file_number, 2);
    EXPECT_EQ(image.blocks()[60].offset, 0);
    const struct {
        const char* what;
        std::uint64_t offset;
        std::size_t length;
    } reads[] = {
        {"sector 0", 0, 512},
        {"across the first two blocks", kChunk - 1000, 3000},
        {"into a stored block", 2 * kChunk - 7, 20},
        {"a whole stored block", 2 * kChunk, kChunk},
        {"across two data files", 60 * kChunk - 4096, 8192},
        {"over three blocks and two files", 59 * kChunk - 10, 2 * kChunk + 20},
        {"the last partial block, whole", 61 * kChunk, 100 * kSector},
        {"cut at the disk's end", kBytes - 100, 500},
        {"the last byte", kBytes - 1, 1},
    };
    for (const auto& r : reads)
        EXPECT_EQ(read_result(image, source(), r.offset, r.length), "ok") << r.what;
    unsigned char byte = 0;
    EXPECT_EQ(image.read(kBytes, 1, &byte), 0);
    EXPECT_EQ(image.read(kBytes + kChunk, 1, &byte), 0);
}

TEST_F(SetImage, TheCacheIsBoundedAndSharedBetweenThreads) {
    set_image image(set(), kBytes, 2);
    ASSERT_TRUE(open_image(image).ok);
    unsigned char byte = 0;
    for (const std::uint64_t block : {0, 0, 1, 0, 1}) image.read(block * kChunk, 1, &byte);
    EXPECT_EQ(image.blocks_unpacked(), 2u);
    for (const std::uint64_t block : {2, 0}) image.read(block * kChunk, 1, &byte);
    EXPECT_EQ(image.blocks_unpacked(), 4u);  // block 0 was the least recently used

    // Four threads read 4 KiB pieces round blocks 1 to 3 and 59 to 61.
    std::vector<std::thread> readers;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            std::mt19937_64 random(static_cast<std::uint64_t>(t));
            for (int i = 0; i < 40; ++i) {
                const std::uint64_t offset =
                    (i % 2 == 0 ? 1 : 59) * kChunk + random() % (3 * kChunk - 4096);
                if (read_result(image, source(), offset, 4096) != "ok") ++wrong[t];
            }
        });
    }
    for (auto& r : readers) r.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST_F(SetImage, ReadAheadUnpacksBlocksOnceWithinHalfTheCache) {
    const struct {
        const char* what;
        std::size_t cached;
        std::uint64_t from, length;  // of the read-ahead, in blocks
        std::uint64_t read_ahead;    // blocks it unpacked when blocks 0-4 are read
    } cases[] = {
        {"the whole disk, half of a cache of six", 6, 0, 62, 3},
        {"two blocks", 6, 1, 2, 2},
        {"a cache of one still reads one ahead", 1, 1, 62, 1},
        {"past the end", 6, 70, 2, 0},
    };
    for (const auto& c : cases) {
        set_image image(set(), kBytes, c.cached, 2);
        ASSERT_TRUE(open_image(image).ok);
        image.read_ahead(c.from * kChunk, c.length * kChunk);
        for (std::uint64_t block = 0; block < 5; ++block) {
            EXPECT_EQ(read_result(image, source(), block * kChunk + 4096, 4096), "ok") << c.what;
        }
        EXPECT_EQ(image.blocks_read_ahead(), c.read_ahead) << c.what;
        EXPECT_EQ(image.blocks_unpacked(), 5u) << c.what;  // none twice
    }
    // Blocks held already are not read ahead again.
    set_image image(set(), kBytes, 6, 2);
    ASSERT_TRUE(open_image(image).ok);
    ASSERT_EQ(read_result(image, source(), kChunk, 4096), "ok");
    image.read_ahead(kChunk, 2 * kChunk);
    ASSERT_EQ(read_result(image, source(), 2 * kChunk, 4096), "ok");
    EXPECT_EQ(image.blocks_read_ahead(), 1u);
    EXPECT_EQ(image.blocks_unpacked(), 2u);
}

// The file-system library's reads of a set: a file's clusters read one
// after another are read ahead, reads that jump about are not.
TEST_F(SetImage, AStreamingReaderReadsAheadOfReadsThatGoOn) {
    const struct {
        const char* what;
        std::uint64_t step;  // bytes from one 64 KiB read to the next
        bool read_ahead;
    } cases[] = {{"one after another", 64 << 10, true}, {"a block apart", 17 * kChunk, false}};
    for (const auto& c : cases) {
        set_image image(set(), kBytes, set_image::kDefaultCachedBlocks, 2);
        ASSERT_TRUE(open_image(image).ok);
        const auto read = streaming_reader(image);
        std::vector<unsigned char> got(64 << 10);
        for (std::uint64_t at = 0, n = 0; n < 3; at += c.step, ++n)
            ASSERT_EQ(read(at, got.size(), got.data()), 64 << 10) << c.what;
        // Waits for block 1 if it is being read ahead.
        EXPECT_EQ(read(kChunk, got.size(), got.data()), 64 << 10) << c.what;
        EXPECT_EQ(got, read_image(source(), kChunk, got.size())) << c.what;
        EXPECT_EQ(image.blocks_read_ahead() > 0, c.read_ahead) << c.what;
    }
}

TEST_F(SetImage, ASetSpreadOverMediaIsRefusedWithTheFirstMissingFile) {
    temp_folder dir;
    const std::string part = dir.file("part");
    fs::copy(set(), part);
    fs::remove(part + "/KRD00002.BIN");
    set_image image(part, kBytes);
    const opened o = open_image(image);
    EXPECT_FALSE(o.ok);
    ASSERT_EQ(o.messages.size(), 1u);
    char second[kPathCapacity + 16];
    ASSERT_TRUE(data_file_path(part.c_str(), 2, second, sizeof second));
    EXPECT_NE(o.messages[0].find(std::string(second) + "\n"), std::string::npos) << o.messages[0];
    EXPECT_NE(o.messages[0].find("すべてはこのフォルダにありません"), std::string::npos);
}

// One data file of four blocks of random bytes (all stored), the last of
// 9 sectors, made anew for each case.
class DamagedSetImage : public ::testing::Test {
  protected:
    static constexpr std::uint64_t kBytes = 3 * kChunk + 9 * kSector;
    void SetUp() override {
        make_random_image(source, kBytes / kSector, 7);
        ASSERT_TRUE(back_up(source, set, kBytes));
    }
    std::string data_file() const { return set + "/KRD00001.BIN"; }
    // Block n (0-based) starts in the data file at n x (32 + chunk).
    static std::uint64_t payload(std::uint64_t block) {
        return block * (kBlockHeaderSize + kChunk) + kBlockHeaderSize;
    }
    // 4 KiB read inside each block, one result after another.
    std::string reads_by_block(set_image& image) {
        std::string text;
        for (std::uint64_t block = 0; block < 4; ++block)
            text += (block ? " " : "") + read_result(image, source, block * kChunk + 512, 4096);
        return text;
    }
    temp_folder dir;
    std::string source = dir.file("source.img");
    std::string set = dir.file("set");
};

TEST_F(DamagedSetImage, ABlockThatFailsItsChecksOrItsDigestIsNeverServed) {
    const struct {
        const char* what;
        std::vector<std::uint64_t> flips;  // bytes of the data file, bit 0x10 flipped
        std::int32_t code;
    } cases[] = {
        {"one flipped byte", {payload(1) + 777}, kBlockByteChecksum},
        {"two flips the checksums cannot see",
         {payload(1) + 8, payload(1) + 12},
         kBlockDigestDiffers},
    };
    const std::vector<unsigned char> whole = read_file(data_file());
    for (const auto& c : cases) {
        std::vector<unsigned char> damaged = whole;
        for (const std::uint64_t at : c.flips) damaged[at] ^= 0x10;
        write_file(data_file(), damaged);
        set_image image(set, kBytes);
        std::vector<block_failure> failures;
        image.on_block_failure([&](const block_failure& f) { failures.push_back(f); });
        ASSERT_TRUE(open_image(image).ok) << c.what;
        // Read ahead first: its failure is nobody's but the read's that
        // touches the block, told once.
        image.read_ahead(0, kBytes);
        EXPECT_EQ(reads_by_block(image), "ok EIO ok ok") << c.what;
        EXPECT_EQ(failures.size(), 1u) << c.what;
        EXPECT_EQ(image.blocks_read_ahead(), 2u) << c.what;
        // A read that only ends in the bad block fails whole.
        EXPECT_EQ(read_result(image, source, kChunk - 512, 1024), "EIO") << c.what;
        ASSERT_FALSE(failures.empty()) << c.what;
        EXPECT_EQ(failures[0].block, 2u) << c.what;
        EXPECT_EQ(failures[0].file_number, 1) << c.what;
        EXPECT_EQ(failures[0].code, c.code) << c.what;
    }
}

TEST_F(DamagedSetImage, TruncatedAndMissingDataFiles) {
    const struct {
        const char* what;
        std::function<void(const std::string&)> damage;
        bool opens;
        const char* reads;    // after open
        const char* message;  // when it does not open
    } cases[] = {
        {"cut inside the last block",
         [](const std::string& f) { fs::resize_file(f, fs::file_size(f) - 100); }, true,
         "ok ok ok EIO", ""},
        {"cut inside the second block",
         [&](const std::string& f) { fs::resize_file(f, payload(1) + 5); }, false, "",
         "ブロックが 2 個しかありません"},
        {"no data file", [](const std::string& f) { fs::remove(f); }, false, "",
         "KRD00001.BIN\nがありません"},
    };
    const std::vector<unsigned char> whole = read_file(data_file());
    for (const auto& c : cases) {
        write_file(data_file(), whole);
        c.damage(data_file());
        set_image image(set, kBytes);
        const opened o = open_image(image);
        EXPECT_EQ(o.ok, c.opens) << c.what;
        if (c.opens) {
            EXPECT_EQ(reads_by_block(image), c.reads) << c.what;
        } else {
            ASSERT_FALSE(o.messages.empty()) << c.what;
            EXPECT_NE(o.messages[0].find(c.message), std::string::npos) << o.messages[0];
        }
    }
    // A data file taken away after the set was opened: the blocks still in
    // the cache are served, the others fail.
    write_file(data_file(), whole);
    set_image image(set, kBytes);
    ASSERT_TRUE(open_image(image).ok);
    ASSERT_EQ(read_result(image, source, 0, 1), "ok");
    fs::rename(data_file(), set + "/away");
    std::vector<block_failure> failures;
    image.on_block_failure([&](const block_failure& f) { failures.push_back(f); });
    EXPECT_EQ(reads_by_block(image), "ok EIO EIO EIO");
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[0].code, kBlockFileMissing);
}

TEST(RescuedSetImage, LostSectorsAreZeros) {
    temp_folder dir;
    const std::uint64_t sectors = 2 * kChunkSectors + 50;
    make_disk_image(dir.file("source.img"), sectors);
    disk_faults faults;
    faults.bad_sectors = {20, 21, kChunkSectors};  // patterned sectors
    ASSERT_TRUE(back_up(dir.file("source.img"), dir.file("set"), sectors * kSector, faults, true));
    set_image image(dir.file("set"), sectors * kSector);
    ASSERT_TRUE(open_image(image).ok);
    EXPECT_EQ(image.lost_sectors(), 3u);
    std::vector<unsigned char> want = read_image(dir.file("source.img"), 0, 2 * kChunk);
    for (const std::uint64_t s : {20u, 21u, kChunkSectors}) {
        std::fill_n(want.begin() + static_cast<std::ptrdiff_t>(s * kSector), kSector, 0);
    }
    std::vector<unsigned char> got(want.size());
    ASSERT_EQ(image.read(0, got.size(), got.data()), static_cast<std::int64_t>(got.size()));
    EXPECT_TRUE(got == want);
    EXPECT_NE(read_image(dir.file("source.img"), 20 * kSector, 1)[0], got[20 * kSector]);
}

}  // namespace
}  // namespace kiroda
