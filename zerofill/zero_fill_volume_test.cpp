#include "zerofill/zero_fill_volume.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "util/test_support.h"

namespace kiroda {
namespace {

TEST(FileSystemKind, NamesComparedWithoutAsciiCase) {
    const struct {
        const char* name;
        int kind;
    } cases[] = {
        {"NTFS", kFileSystemNtfs},   {"ntfs", kFileSystemNtfs},    {"Ntfs", kFileSystemNtfs},
        {"FAT", kFileSystemFat},     {"fat", kFileSystemFat},      {"FAT32", kFileSystemFat32},
        {"Fat32", kFileSystemFat32}, {"exFAT", kFileSystemOther},  {"CDFS", kFileSystemOther},
        {"FAT3", kFileSystemOther},  {"FAT322", kFileSystemOther}, {"NTF", kFileSystemOther},
        {"", kFileSystemOther},      {"Error", kFileSystemOther},
    };
    for (const auto& c : cases) EXPECT_EQ(file_system_kind_of_name(c.name), c.kind) << c.name;
}

class plain_volume : public zero_fill_volume {
  public:
    int query_file_system_kind() override { return kFileSystemNtfs; }
    const char* file_system_name() const override { return "NTFS"; }
    std::int64_t free_bytes() override { return 0; }
};

TEST(ZeroFillVolume, NewFilesAreCreatedExclusively) {
    test_support::temp_folder folder;
    plain_volume volume;
    const std::string path = folder.file("Z_000000.TMP");
    std::FILE* file = volume.create_new_file(path.c_str());
    ASSERT_NE(file, nullptr);
    const char bytes[5] = {0, 0, 0, 0, 0};
    EXPECT_EQ(volume.write_chunk(file, bytes, sizeof bytes), sizeof bytes);
    std::fclose(file);
    EXPECT_EQ(test_support::read_file(path).size(), 5u);  // flushed, not held in the stream
    // A second creation of the same name fails and leaves the file as it is.
    EXPECT_EQ(volume.create_new_file(path.c_str()), nullptr);
    EXPECT_EQ(test_support::read_file(path).size(), 5u);
    EXPECT_TRUE(volume.remove_file(path.c_str()));
    EXPECT_FALSE(volume.remove_file(path.c_str()));
}

TEST(ZeroFillVolume, FoldersAreMadeOnceAndRemovedOnlyWhenEmpty) {
    test_support::temp_folder folder;
    plain_volume volume;
    const std::string dir = folder.file("ZEROTEMP");
    EXPECT_FALSE(volume.is_folder(dir.c_str()));
    EXPECT_TRUE(volume.make_folder(dir.c_str()));
    EXPECT_TRUE(volume.is_folder(dir.c_str()));
    EXPECT_FALSE(volume.make_folder(dir.c_str()));
    test_support::write_file(folder.file("ZEROTEMP/keep"), {1});
    EXPECT_FALSE(volume.remove_folder(dir.c_str()));
    EXPECT_TRUE(volume.remove_file(folder.file("ZEROTEMP/keep").c_str()));
    EXPECT_TRUE(volume.remove_folder(dir.c_str()));
}

}  // namespace
}  // namespace kiroda
