#include "engine/restore_fit.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "disk/disk_image_test_support.h"
#include "disk/faulty_disk_test_support.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "engine/restore_engine.h"
#include "engine/verify_engine.h"
#include "ui/recording_sink_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::first_sector;
using test_support::make_blank_target;
using test_support::make_mbr;
using test_support::mbr_slot;
using test_support::pattern_sector;
using test_support::read_file;
using test_support::recording_progress;
using test_support::recording_sink;
using test_support::temp_folder;

constexpr std::uint64_t kSectors = 2 * 32768 + 77;  // three blocks, the last one short
constexpr int kSource = 0;
constexpr int kTarget = 1;

// Every row is restored onto a target of kTargetSectors.
constexpr std::uint64_t kTargetSectors = 40000;

struct layout {
    const char* name;
    std::array<mbr_slot, 4> slots;
    // Extended boot records: where each lies and its two entries (the
    // logical partition relative to the record, the link relative to the
    // container); all without their signature when `chain_signed` is false.
    std::vector<std::pair<std::uint64_t, std::array<mbr_slot, 4>>> records;
    bool chain_signed;
    std::vector<std::uint64_t> data_at;  // sectors of patterned data
    bool fits;
    std::uint64_t partitions_end;  // sectors
};

void PrintTo(const layout& l, std::ostream* out) {
    *out << l.name;
}

void write_sector(std::fstream& image, std::uint64_t n, const std::vector<unsigned char>& bytes) {
    image.seekp(static_cast<std::streamoff>(n * 512));
    image.write(reinterpret_cast<const char*>(bytes.data()), 512);
}

void make_layout_image(const std::string& path, const layout& l) {
    std::filesystem::remove(path);
    { std::ofstream create(path, std::ios::binary); }
    std::filesystem::resize_file(path, kSectors * 512);
    std::fstream image(path, std::ios::binary | std::ios::in | std::ios::out);
    write_sector(image, 0, make_mbr(l.slots));
    for (const auto& [at, slots] : l.records)
        write_sector(image, at, make_mbr(slots, l.chain_signed));
    for (const std::uint64_t n : l.data_at) write_sector(image, n, pattern_sector(n));
}

class RestoreFit : public ::testing::TestWithParam<layout> {
  protected:
    void SetUp() override { std::filesystem::create_directories(set); }
    void TearDown() override { clear_disk_paths(); }
    temp_folder dir;
    std::string source = dir.file("source.img");
    std::string target = dir.file("target.img");
    std::string set = dir.file("set");
};

TEST_P(RestoreFit, TheSetFitsExactlyWhenItsPartitionsAndDataLieWithinTheTarget) {
    const layout& l = GetParam();
    make_layout_image(source, l);
    register_disk_path(kSource, source);
    recording_progress p;
    recording_sink sink;
    ASSERT_EQ(backup_disk(p, kSource, set.c_str(), kSectors * 512), kEngineDone);

    fit_check check;
    ASSERT_EQ(check_fit(p, set.c_str(), kSectors * 512, kTargetSectors * 512, &check), kEngineDone);
    EXPECT_EQ(check.fits(kTargetSectors * 512), l.fits);
    EXPECT_EQ(check.partitions_end, l.partitions_end * 512);
    EXPECT_EQ(check.chain_cut, !l.chain_signed);
    std::uint64_t nonzero = 0;
    for (const std::uint64_t n : l.data_at) {
        if (n >= kTargetSectors) nonzero += count_nonzero(pattern_sector(n).data(), 512);
    }
    EXPECT_EQ(check.nonzero_past_end, nonzero);

    // The restore onto a target of that size: the source's first sectors
    // when it fits. Data past the end fails it, before sector 0.
    make_blank_target(target, kTargetSectors);
    register_disk_path(kTarget, target);
    restore_options options;
    options.fit_bytes = kTargetSectors * 512;
    sink.seen.clear();
    const bool data_past_end = nonzero > 0;
    EXPECT_EQ(restore_disk(p, kTarget, set.c_str(), kSectors * 512, options),
              data_past_end ? kEngineFailed : kEngineDone);
    EXPECT_EQ(sink.seen.size(), data_past_end ? 1u : 0u);
    const std::vector<unsigned char> written = read_file(target);
    ASSERT_EQ(written.size(), kTargetSectors * 512);
    if (data_past_end) {
        EXPECT_NE(first_sector(target), first_sector(source));
        return;
    }
    std::vector<unsigned char> expected = read_file(source);
    expected.resize(written.size());
    EXPECT_TRUE(written == expected);

    verify_options against;
    against.against_disk = kTarget;
    EXPECT_EQ(verify_backup_set(p, set.c_str(), kSectors * 512, against), kEngineFailed);
    against.against_fit = true;
    sink.seen.clear();
    EXPECT_EQ(verify_backup_set(p, set.c_str(), kSectors * 512, against), kEngineDone);
    EXPECT_TRUE(sink.seen.empty());
}

constexpr std::uint8_t kNtfs = 0x07, kExtended = 0x05;

// One layout a row.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Layouts, RestoreFit,
    ::testing::Values(
        layout{"PrimaryOnly", {{{kNtfs, 2048, 30000}}}, {}, true, {2048, 32047}, true, 32048},
        layout{"ExactFit", {{{kNtfs, 2048, 37952}}}, {}, true, {2048, 39999}, true, 40000},
        layout{"ExtendedWithLogicals", {{{kNtfs, 2048, 8000}, {kExtended, 12048, 20000}}},
               {{12048, {{{0x83, 2048, 6000}, {kExtended, 10000, 8000}}}},
                {22048, {{{0x83, 2048, 4000}}}}},
               true, {2048, 14096, 24096, 28095}, true, 32048},
        // The container reaches past the target though its logical
        // partition ends before.
        layout{"ExtendedPastTheEnd", {{{kNtfs, 2048, 8000}, {kExtended, 12048, 40000}}},
               {{12048, {{{0x83, 2048, 6000}}}}}, true, {2048, 14096}, false, 52048},
        layout{"PartitionPastTheEnd", {{{kNtfs, 2048, 48000}}}, {}, true, {2048}, false, 50048},
        layout{"DataPastTheEnd", {{{kNtfs, 2048, 30000}}}, {}, true, {2048, 45000, 65612},
               false, 32048},
        layout{"ChainCut", {{{kNtfs, 2048, 8000}, {kExtended, 12048, 20000}}},
               {{12048, {{{0x83, 2048, 6000}}}}}, false, {2048}, false, 32048}),
    [](const ::testing::TestParamInfo<layout>& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace kiroda
