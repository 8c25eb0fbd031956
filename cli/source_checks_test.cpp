#include "cli/source_checks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli/capture_test_support.h"
#include "disk/physical_disk.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::test_support::temp_folder;
using kiroda::test_support::write_file;
using test_support::captured_stream;

disk_record usable() {
    disk_record r;
    r.number = 0;
    r.total_sectors = 100000;
    r.bytes_per_sector = 512;
    r.media_type = kMediaFixed;
    r.partition_count = 4;
    r.boot_signature_valid = 1;
    r.partition_sectors[0] = 2048;
    return r;
}

// --force goes past a partition layout the rules refuse, never past a
// sector size or media krdtool cannot restore alike.
TEST(SourceChecks, ForceCoversThePartitionLayoutOnly) {
    const struct {
        const char* what;
        void (*change)(disk_record&);
        gpt_state table;
        bool plain, forced;
        const char* named;
    } cases[] = {
        {"an MBR disk", [](disk_record&) {}, gpt_state::none, true, true, ""},
        {"a sound GPT", [](disk_record& r) { r.gpt = 1; }, gpt_state::valid, true, true, ""},
        {"a damaged primary GPT header", [](disk_record& r) { r.gpt = 1; },
         gpt_state::primary_damaged, false, true, "主ヘッダ"},
        {"GPT headers that disagree", [](disk_record& r) { r.gpt = 1; },
         gpt_state::headers_disagree, false, true, "一致しません"},
        {"a hybrid MBR", [](disk_record& r) { r.gpt = 1; }, gpt_state::hybrid_mbr, false, true,
         "ハイブリッド"},
        {"no MBR signature", [](disk_record& r) { r.boot_signature_valid = 0; }, gpt_state::none,
         false, true, "セクタ 0 に MBR の署名 (0x55AA) がありません"},
        {"no partition defined", [](disk_record& r) { r.partition_count = 0; }, gpt_state::none,
         false, true, "パーテーションが一つもありません"},
        {"4,096-byte sectors", [](disk_record& r) { r.bytes_per_sector = 4096; }, gpt_state::none,
         true, true, ""},
        {"2,048-byte sectors", [](disk_record& r) { r.bytes_per_sector = 2048; }, gpt_state::none,
         false, false, "セクタサイズ"},
        {"a CD", [](disk_record& r) { r.media_type = 0; }, gpt_state::none, false, false,
         "リムーバブル"},
    };
    for (const auto& c : cases) {
        disk_record r = usable();
        c.change(r);
        gpt_layout gpt;
        gpt.state = c.table;
        for (const bool force : {false, true}) {
            captured_stream err;
            EXPECT_EQ(source_acceptable(r, gpt, "src.img", force, false, err.get()),
                      force ? c.forced : c.plain)
                << c.what << (force ? " (forced)" : "");
            EXPECT_NE(err.text().find(c.named), std::string::npos) << c.what << "\n" << err.text();
        }
    }
}

TEST(SourceChecks, AWritableMountOfTheSourceIsFound) {
    temp_folder dir;
    const std::string image = dir.file("disk.img");
    write_file(image, std::vector<unsigned char>(4096, 0));
    // A loop device over the image, mounted read-write, and one read-only.
    const fs::path block = dir.path() / "sys" / "devices" / "virtual" / "block";
    fs::create_directories(block / "loop3" / "loop");
    std::ofstream(block / "loop3" / "dev") << "7:3\n";
    std::ofstream(block / "loop3" / "loop" / "backing_file") << image << "\n";
    fs::create_directories(dir.path() / "sys" / "dev" / "block");
    fs::create_directory_symlink(block / "loop3", dir.path() / "sys" / "dev" / "block" / "7:3");
    const std::string sys = (dir.path() / "sys").string();
    const std::string rw = dir.file("rw.txt"), ro = dir.file("ro.txt");
    std::ofstream(rw) << "36 35 7:3 / /mnt/a rw,noatime shared:1 - ext4 /dev/loop3 rw\n";
    std::ofstream(ro) << "36 35 7:3 / /mnt/a ro,noatime shared:1 - ext4 /dev/loop3 ro\n";
    EXPECT_TRUE(mounted_writable(image, rw, sys));
    EXPECT_FALSE(mounted_writable(image, ro, sys));
    EXPECT_FALSE(mounted_writable(dir.file("other.img"), rw, sys));
    // A restore target is never written mounted, read-only or not.
    EXPECT_EQ(mounted_at(image, false, ro, sys), "/mnt/a");
    EXPECT_EQ(mounted_at(dir.file("other.img"), false, ro, sys), "");
}

TEST(SourceChecks, OnlyASetsOwnFilesAreEverRemoved) {
    temp_folder dir;
    for (const char* name :
         {"KRD00000.BIN", "KRD00001.BIN", "KIRODA.EXE", "KRDHASH.TMP", "KRDMAP.TXT"}) {
        write_file(dir.file(name), {1});
    }
    {
        // Something else there: nothing at all is removed.
        write_file(dir.file("notes.txt"), {1});
        write_file(dir.file("KRD0000X.BIN"), {1});
        captured_stream err;
        std::vector<std::string> files;
        EXPECT_FALSE(may_empty_set_folder(dir.text(), &files, err.get()));
        EXPECT_TRUE(fs::exists(dir.file("KRD00001.BIN")));
        EXPECT_NE(err.text().find("何も削除しません"), std::string::npos) << err.text();
        fs::remove(dir.file("notes.txt"));
        fs::remove(dir.file("KRD0000X.BIN"));
    }
    captured_stream err;
    std::vector<std::string> files;
    ASSERT_TRUE(may_empty_set_folder(dir.text(), &files, err.get()));
    EXPECT_EQ(files.size(), 5u);
    EXPECT_FALSE(fs::is_empty(dir.path()));  // asking removes nothing
    EXPECT_TRUE(remove_set_files(dir.text(), files, err.get()));
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
}  // namespace kiroda::cli
