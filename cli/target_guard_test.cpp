#include "cli/target_guard.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::test_support::temp_folder;
using kiroda::test_support::write_file;

TEST(TargetGuard, WhatARestoreMustNotWriteOver) {
    temp_folder dir;
    const std::string set = dir.file("set");
    fs::create_directories(set);
    write_file(set + "/KRD00000.BIN", {1, 2, 3});
    write_file(set + "/KRD00001.BIN", {4, 5, 6});
    fs::create_hard_link(set + "/KRD00001.BIN", dir.file("link.img"));
    write_file(dir.file("archive.tar"), {'u', 's', 't', 'a', 'r'});
    write_file(dir.file("zeros.img"), std::vector<unsigned char>(4096, 0));
    {
        // A large file that is all hole but for a zero page in the middle.
        std::ofstream sparse(dir.file("sparse.img"), std::ios::binary);
        sparse.seekp(8 << 20);
        sparse.put('\0');
    }
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    const struct {
        const char* what;
        std::string target;
        bool force;
        target_refusal expected;
    } cases[] = {
        {"a data file of the set", set + "/KRD00001.BIN", false, target_refusal::inside_the_set},
        {"the header file, even forced", set + "/KRD00000.BIN", true,
         target_refusal::inside_the_set},
        {"a new file in the set's folder", set + "/new.img", false, target_refusal::inside_the_set},
        {"the folder spelled another way", dir.file("set/./../set/KRD00001.BIN"), false,
         target_refusal::inside_the_set},
        {"a hard link to a set file", dir.file("link.img"), true, target_refusal::inside_the_set},
        {"a file with data", dir.file("archive.tar"), false, target_refusal::holds_data},
        {"a file with data, forced", dir.file("archive.tar"), true, target_refusal::none},
        {"an all-zero file", dir.file("zeros.img"), false, target_refusal::none},
        {"a sparse file of zeros", dir.file("sparse.img"), false, target_refusal::none},
        {"a new file", dir.file("new.img"), false, target_refusal::none},
        {"a FIFO", dir.file("pipe"), true, target_refusal::not_a_disk},
        {"a character device", "/dev/null", true, target_refusal::not_a_disk},
        {"a folder", dir.text(), true, target_refusal::not_a_disk},
    };
    int reason = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(check_target_path(set, c.target, c.force, &reason), c.expected) << c.what;
    }
    EXPECT_EQ(kiroda::test_support::read_file(set + "/KRD00001.BIN"),
              (std::vector<unsigned char>{4, 5, 6}));

    // Standing in the set's folder: "restore . disk.img" names a new file in it.
    const fs::path before = fs::current_path();
    fs::current_path(set);
    EXPECT_EQ(check_target_path(".", "disk.img", true, &reason), target_refusal::inside_the_set);
    EXPECT_EQ(check_target_path(".", "../elsewhere.img", true, &reason), target_refusal::none);
    fs::current_path(before);
}

TEST(TargetGuard, ZerosAreFoundPastHolesAndData) {
    temp_folder dir;
    const std::string path = dir.file("f.img");
    std::vector<unsigned char> bytes(3 << 20, 0);
    write_file(path, bytes);
    int reason = -1;
    EXPECT_EQ(scan_file(path, &reason), file_contents::zeros);
    EXPECT_EQ(reason, 0);
    bytes.back() = 1;  // the very last byte, past the first read piece
    write_file(path, bytes);
    EXPECT_EQ(scan_file(path, &reason), file_contents::data);
    EXPECT_EQ(scan_file(dir.file("absent.img"), &reason), file_contents::unreadable);
    EXPECT_EQ(reason, ENOENT);
}

}  // namespace
}  // namespace kiroda::cli
