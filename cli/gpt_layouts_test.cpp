// Partition tables made by the system's own tools (sfdisk, sgdisk), through
// krdtool end to end: disks, backup, the mount's partition files, restore
// onto an equal, a larger and a smaller target, verify --against; after each
// restore the tools find no problem and the file system passes fsck. The
// partitioning library's listing is held against krdtool's readers (the
// wizard's MBR reader on the MBR row).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "cli/capture_test_support.h"
#include "cli/command.h"
#include "cli/disk_layout.h"
#include "cli/disks_command.h"
#include "cli/partition_library.h"
#include "cli/set_commands.h"
#include "cli/set_view.h"
#include "disk/mbr.h"
#include "disk/partition_list.h"
#include "engine/gpt_layout.h"
#include "engine/progress.h"
#include "engine/set_image.h"
#include "format/crc32.h"
#include "format/source_disk.h"
#include "ui/translation.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::test_support::read_file;
using kiroda::test_support::temp_folder;
using test_support::run_command;

constexpr std::uint64_t kDiskBytes = 32 << 20;

// Runs `command` in a shell; its status and all it printed.
std::pair<int, std::string> shell(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>&1").c_str(), "r"), ::pclose);
    std::string text;
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) text += line;
    const int status = pipe ? ::pclose(pipe.release()) : -1;
    return {status, text};
}

void empty_file(const std::string& path, std::uint64_t bytes) {
    kiroda::test_support::write_file(path, {});
    fs::resize_file(path, bytes);
}

struct layout {
    const char* name;
    const char* script;  // sfdisk's input
    const char* then;    // run on the image after it ("IMG" stands for its path)
    gpt_state state;
    bool fat_on_1;  // a FAT file system with a file in partition 1
};

std::string many_partitions() {
    std::string script = "label: gpt\ngrain: 65536\n";
    for (int i = 0; i < 128; ++i) script += ",64KiB,L\n";
    return script;
}

const std::string kMany = many_partitions();
constexpr const char* kThree =
    "label: gpt\nsize=4MiB, type=U, name=\"EFI one\"\n,4MiB,L\n,4MiB,L\n";
const layout kLayouts[] = {
    {"gpt_1_entry", "label: gpt\ntable-length: 1\n,8MiB,L\n", "", gpt_state::valid, true},
    {"gpt_3", kThree, "", gpt_state::valid, true},
    {"gpt_128", kMany.c_str(), "", gpt_state::valid, false},
    // The primary header's own LBA field, then the backup's: their CRCs fail.
    {"gpt_damaged_primary", kThree, "printf X | dd of=IMG bs=1 seek=536 conv=notrunc",
     gpt_state::primary_damaged, false},
    {"gpt_damaged_backup", kThree,
     "printf X | dd of=IMG bs=1 seek=$((32*1024*1024-512+24)) conv=notrunc",
     gpt_state::backup_damaged, false},
    {"gpt_hybrid_mbr", kThree, "sgdisk -h 1 IMG", gpt_state::hybrid_mbr, false},
    {"mbr", "label: dos\n,4MiB,c\n,4MiB,L\n,12MiB,E\n,2MiB,L\n,2MiB,L\n", "", gpt_state::none,
     true},
};

class GptLayouts : public ::testing::TestWithParam<layout> {
  protected:
    void SetUp() override {
        if (shell("command -v sfdisk sgdisk mkfs.vfat fsck.vfat mcopy mtype").first != 0)
            GTEST_SKIP() << "sfdisk, sgdisk, dosfstools or mtools are not installed";
    }
    // The image file made by the row's tools.
    void make(const layout& l) {
        empty_file(image, kDiskBytes);
        std::string then = l.then;
        for (std::size_t at; (at = then.find("IMG")) != std::string::npos;)
            then.replace(at, 3, image);
        ASSERT_EQ(shell("printf '" + std::string(l.script) + "' | sfdisk -q " + image).first, 0);
        if (!then.empty()) ASSERT_EQ(shell(then + " >/dev/null").first, 0);
        if (l.fat_on_1) fat_on(image, partition_of(image, 1));
    }
    library_partition partition_of(const std::string& path, int number) {
        for (const library_partition& p : read_with_library(path, 512).partitions) {
            if (p.number == number) return p;
        }
        return {};
    }
    // A FAT file system with one file, made aside and put into the partition.
    void fat_on(const std::string& disk, const library_partition& p) {
        const std::string fat = dir.file("p.fat");
        const std::string count = std::to_string(p.sector_count);
        ASSERT_EQ(shell("rm -f " + fat + " && mkfs.vfat -C " + fat + " " +
                        std::to_string(p.sector_count / 2) + " >/dev/null && echo hello > " +
                        dir.file("hello.txt") + " && mcopy -i " + fat + " " +
                        dir.file("hello.txt") + " ::/ && dd if=" + fat + " of=" + disk +
                        " bs=512 seek=" + std::to_string(p.first_lba) + " conv=notrunc status=none")
                      .first,
                  0);
    }
    // The tools find no problem on `disk`, and partition 1's file system
    // passes fsck with its file.
    void expect_whole(const std::string& disk, const layout& l) {
        const auto sfdisk = shell("sfdisk --verify " + disk);
        EXPECT_EQ(sfdisk.first, 0) << sfdisk.second;
        EXPECT_NE(sfdisk.second.find("No errors detected"), std::string::npos) << sfdisk.second;
        if (l.state == gpt_state::valid) {
            const auto sgdisk = shell("sgdisk -v " + disk);
            EXPECT_NE(sgdisk.second.find("No problems found"), std::string::npos) << sgdisk.second;
        }
        if (!l.fat_on_1) return;
        const library_partition p = partition_of(disk, 1);
        const std::string fat = dir.file("back.fat");
        ASSERT_EQ(
            shell("dd if=" + disk + " of=" + fat + " bs=512 skip=" + std::to_string(p.first_lba) +
                  " count=" + std::to_string(p.sector_count) + " status=none")
                .first,
            0);
        EXPECT_EQ(shell("fsck.vfat -n " + fat).first, 0);
        EXPECT_EQ(shell("mtype -i " + fat + " ::/hello.txt").second, "hello\n");
    }
    temp_folder dir;
    std::string image = dir.file("disk.img");
    std::string set = dir.file("set");
};

TEST_P(GptLayouts, DisksBackupMountRestoreAndVerify) {
    const layout& l = GetParam();
    make(l);
    const bool sound = l.state == gpt_state::valid || l.state == gpt_state::none;
    const auto disks = run_command(run_disks_command, {image});
    EXPECT_NE(disks.out.find(l.state == gpt_state::none ? "パーテーション (MB)"
                                                        : "パーテーション表: GPT"),
              std::string::npos);
    // Backed up without --force only when krdtool's checks hold.
    const auto plain = run_command(run_backup_command, {"--no-readback", image, set});
    ASSERT_EQ(plain.status, sound ? kExitDone : kExitFailed) << plain.err;
    if (!sound) {
        EXPECT_NE(plain.err.find("--force"), std::string::npos) << plain.err;
        ASSERT_EQ(run_command(run_backup_command, {"--force", "--no-readback", image, set}).status,
                  kExitDone);
    }
    source_disk recorded;
    ASSERT_EQ(read_source_disk(set.c_str(), &recorded), source_disk_read::read);
    const library_layout library = read_with_library(image, 512);
    EXPECT_EQ(recorded.table.rfind(l.state == gpt_state::none ? "mbr" : "gpt", 0), 0u);
    if (l.state != gpt_state::both_damaged) {
        ASSERT_EQ(recorded.partitions.size(), library.partitions.size());
    }
    // The mount's files are the library's partitions, sector for sector.
    set_image view(set, kDiskBytes);
    silent_progress quiet;
    ASSERT_TRUE(view.open(quiet));
    test_support::captured_stream err;
    const std::vector<view_file> files = view_files(view, err.get());
    ASSERT_EQ(files.size(), library.partitions.size() + 1) << err.text();
    for (std::size_t i = 0; i < library.partitions.size(); ++i) {
        const library_partition& p = library.partitions[i];
        EXPECT_EQ(files[i + 1].name, "part" + std::to_string(p.number) + ".img");
        EXPECT_EQ(files[i + 1].offset, p.first_lba * 512);
        EXPECT_EQ(files[i + 1].size, p.sector_count * 512);
        EXPECT_EQ(recorded.partitions[i].first_lba, p.first_lba);
    }
    // The files of partition 1 are read through the same partitions.
    if (l.fat_on_1 && !files.empty()) {
        const auto listed = run_command(run_ls_command, {set, "1:/"});
        EXPECT_NE(listed.out.find("hello.txt"), std::string::npos) << listed.err;
    }
    if (l.state != gpt_state::none)
        EXPECT_NE(disks.out.find(localized(gpt_state_sentence(l.state))), std::string::npos)
            << disks.out;
    // Equal, larger and smaller targets. A table krdtool does not take as
    // sound goes back exactly as it was, and onto no smaller disk.
    std::uint64_t end = 0;
    for (const library_partition& p : library.partitions)
        end = std::max(end, (p.first_lba + p.sector_count) * 512);
    for (const std::uint64_t size : {kDiskBytes, kDiskBytes + (8 << 20), end + (1 << 20)}) {
        const std::string target = dir.file("target-" + std::to_string(size) + ".img");
        empty_file(target, size);
        const auto restored = run_command(run_restore_command, {"--fit", set, target});
        ASSERT_EQ(restored.status, sound || size >= kDiskBytes ? kExitDone : kExitFailed)
            << size << restored.err;
        if (restored.status != kExitDone) continue;
        const auto verified = run_command(run_verify_command, {"--against", target, "--fit", set});
        EXPECT_EQ(verified.status, kExitDone) << size << verified.err;
        if (sound) expect_whole(target, l);
        std::vector<unsigned char> copy = read_file(target);
        if (!sound || size == kDiskBytes) {
            copy.resize(kDiskBytes);
            EXPECT_TRUE(copy == read_file(image)) << size;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, GptLayouts, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

// The wizard's MBR reader (sector 0's four entries) and krdtool's chain of
// logical partitions say what the library says.
TEST(GptLayoutsMbr, TheLibraryAndTheWizardsReaderAgree) {
    if (shell("sfdisk --version").first != 0) GTEST_SKIP() << "sfdisk is not installed";
    temp_folder dir;
    const std::string image = dir.file("mbr.img");
    empty_file(image, kDiskBytes);
    ASSERT_EQ(shell("printf 'label: dos\\n,4MiB,c\\n,4MiB,L\\n,,E\\n,2MiB,L\\n,2MiB,7\\n' | "
                    "sfdisk -q " +
                    image)
                  .first,
              0);
    const std::vector<unsigned char> bytes = read_file(image);
    const library_layout library = read_with_library(image, 512);
    ASSERT_EQ(library.label, "dos");
    const partition_list ours =
        list_partitions(kDiskBytes / 512, [&](std::uint64_t sector, unsigned char* out) {
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(sector * 512), 512, out);
            return true;
        });
    ASSERT_EQ(ours.partitions.size(), library.partitions.size());
    for (std::size_t i = 0; i < ours.partitions.size(); ++i) {
        const disk_partition& p = ours.partitions[i];
        const library_partition& q = library.partitions[i];
        EXPECT_EQ(p.number, q.number);
        EXPECT_EQ(p.first_sector, q.first_lba);
        EXPECT_EQ(p.sector_count, q.sector_count);
        char type[8];
        std::snprintf(type, sizeof type, "0x%02x", unsigned{p.type});
        EXPECT_EQ(type, q.type);
        if (p.number <= kMbrEntryCount) {
            const mbr_entry e = read_mbr_entry(bytes.data(), p.number - 1);
            EXPECT_EQ(e.first_sector, q.first_lba);
            EXPECT_EQ(e.sector_count, q.sector_count);
        }
    }
}

// krdtool's own checks name each kind of damage, on a table made by sfdisk:
// a flipped byte under a CRC, fields changed with their CRC made anew, a
// disk cut short. Nothing reads past what the disk holds or wraps.
TEST(GptLayoutChecks, EachDamageIsNamed) {
    if (shell("command -v sfdisk").first != 0) GTEST_SKIP() << "sfdisk is not installed";
    temp_folder dir;
    const std::string image = dir.file("gpt.img");
    empty_file(image, kDiskBytes);
    ASSERT_EQ(shell(std::string("printf '") + kThree + "' | sfdisk -q " + image).first, 0);
    const std::vector<unsigned char> made = read_file(image);
    const std::uint64_t last = kDiskBytes - 512;  // the backup header
    // Sets a little-endian field of the header at `at` and makes its CRC anew.
    auto field = [](std::vector<unsigned char>& d, std::uint64_t at, int offset, int bytes,
                    std::uint64_t value) {
        for (int i = 0; i < bytes; ++i)
            d[at + offset + i] = static_cast<unsigned char>(value >> 8 * i);
        for (int i = 0; i < 4; ++i) d[at + 16 + i] = 0;
        const std::uint32_t crc = crc32(d.data() + at, 92);
        for (int i = 0; i < 4; ++i) d[at + 16 + i] = static_cast<unsigned char>(crc >> 8 * i);
    };
    const struct {
        const char* what;
        std::function<void(std::vector<unsigned char>&)> damage;
        gpt_state state;
        std::uint64_t readable_bytes;
    } cases[] = {
        {"sound", [](auto&) {}, gpt_state::valid, kDiskBytes},
        {"primary CRC", [](auto& d) { d[512 + 16] ^= 1; }, gpt_state::primary_damaged, kDiskBytes},
        {"primary array", [](auto& d) { d[1024 + 60] ^= 1; }, gpt_state::primary_damaged,
         kDiskBytes},
        {"backup array", [&](auto& d) { d[last - 32 * 512] ^= 1; }, gpt_state::backup_damaged,
         kDiskBytes},
        {"backup elsewhere", [&](auto& d) { field(d, 512, 32, 8, 40000); },
         gpt_state::backup_damaged, kDiskBytes},
        {"a huge array", [&](auto& d) { field(d, 512, 80, 4, 0xFFFFFFFF); },
         gpt_state::primary_damaged, kDiskBytes},
        {"a header longer than its sector", [&](auto& d) { field(d, 512, 12, 4, 1000); },
         gpt_state::primary_damaged, kDiskBytes},
        {"another disk GUID", [&](auto& d) { field(d, last, 56, 1, 0x42); },
         gpt_state::headers_disagree, kDiskBytes},
        {"no headers", [&](auto& d) { d[512] = d[last] = 0; }, gpt_state::both_damaged, kDiskBytes},
        {"a disk cut short", [](auto&) {}, gpt_state::backup_damaged, kDiskBytes - 4096},
        {"a hybrid MBR", [](auto& d) { d[446 + 16 + 4] = 0x0C, d[446 + 16 + 12] = 1; },
         gpt_state::hybrid_mbr, kDiskBytes},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> disk = made;
        c.damage(disk);
        const gpt_layout layout =
            read_gpt_layout(kDiskBytes, 512, [&](std::uint64_t sector, unsigned char* out) {
                if ((sector + 1) * 512 > c.readable_bytes) return false;
                std::copy_n(disk.begin() + static_cast<std::ptrdiff_t>(sector * 512), 512, out);
                return true;
            });
        EXPECT_EQ(layout.state, c.state) << c.what;
        EXPECT_EQ(layout.entries.size(), layout.readable() ? 3u : 0u) << c.what;
    }
    // An entry claiming the last LBA there is stays out of the mount's files.
    gpt_layout wild;
    wild.entries.push_back(gpt_entry{});
    wild.entries[0].number = 1;
    wild.entries[0].first_lba = 34;
    wild.entries[0].last_lba = UINT64_MAX;
    const partition_list list = wild.as_partitions(kDiskBytes);
    EXPECT_TRUE(list.partitions.empty());
    ASSERT_EQ(list.past_end.size(), 1u);
    EXPECT_GT(list.past_end[0].end_sector(), kDiskBytes / 512);
}

}  // namespace
}  // namespace kiroda::cli
