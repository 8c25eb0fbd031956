// The committed golden set is read back to its image, and a backup of that
// image writes its data file again byte for byte: the set format does not
// depend on the build (the Windows build runs these tests too).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ui/recording_sink_test_support.h"
#include "disk/disk_registry.h"
#include "engine/backup_engine.h"
#include "engine/engine_test_support.h"
#include "engine/golden_set_test_support.h"
#include "engine/restore_engine.h"
#include "engine/verify_engine.h"
#include "engine/header_file.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

namespace fs = std::filesystem;
using namespace test_support;

class GoldenSet : public ::testing::Test {
  protected:
    void TearDown() override { clear_disk_paths(); }
    temp_folder dir;
    temp_folder set;
};

TEST_F(GoldenSet, ABackupOfTheImageWritesTheCommittedDataFile) {
    write_golden_source_image(dir.file("golden.img"));
    register_disk_path(0, dir.file("golden.img"));
    recording_progress p;
    recording_sink sink;
    ASSERT_EQ(backup_disk(p, 0, set.text().c_str(), kGoldenSectors * 512), kEngineDone);
    const auto written = read_file(set.file("KRD00001.BIN"));
    EXPECT_EQ(fnv1a64(written), kGoldenDataFileDigest);
    EXPECT_EQ(written, read_file((fs::path(golden_set_folder()) / "KRD00001.BIN").string()));
}

TEST_F(GoldenSet, TheCommittedSetPassesTheDataTestAndRestoresToTheImage) {
    for (const char* name : {"KRD00000.BIN", "KRD00001.BIN"}) {
        fs::copy_file(fs::path(golden_set_folder()) / name, set.path() / name);
    }
    EXPECT_EQ(fnv1a64(read_file(set.file("KRD00001.BIN"))), kGoldenDataFileDigest);
    recording_sink sink;
    backup_header h{};
    ASSERT_EQ(read_header_file(nullptr, set.text().c_str(), &h), header_read::read);
    EXPECT_EQ(h.backup_bytes, kGoldenSectors * 512);
    EXPECT_EQ(h.version, 1.14);
    recording_progress p;
    EXPECT_EQ(verify_backup_set(p, set.text().c_str(), h.backup_bytes), kEngineDone);
    make_blank_target(dir.file("target.img"), kGoldenSectors);
    register_disk_path(1, dir.file("target.img"));
    EXPECT_EQ(restore_disk(p, 1, set.text().c_str(), h.backup_bytes), kEngineDone);
    write_golden_source_image(dir.file("golden.img"));
    EXPECT_TRUE(same_file(dir.file("golden.img"), dir.file("target.img")));
    EXPECT_TRUE(sink.seen.empty());
}

}  // namespace
}  // namespace kiroda
