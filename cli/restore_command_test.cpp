// krdtool restore --fit onto a target smaller than the set: a generated disk
// whose FAT32 partition ends well before the disk does, restored onto an
// image just past the partition, which the file system's own checker then
// passes; a smaller image is refused with how far the partition reaches.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/capture_test_support.h"
#include "cli/command.h"
#include "cli/set_commands.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::test_support::temp_folder;
using test_support::run_command;

int shell(const std::string& command) {
    return std::system(("set -e; " + command + " >/dev/null 2>&1").c_str());
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// 200,000 sectors; one FAT32 partition from sector 2,048 to 75,775, holding
// a file; zeros after it.
const char* const kMakeDisk = R"(
mkdir -p files && head -c 2000000 /dev/urandom >files/big.bin
truncate -s $((200000 * 512)) disk.img
printf 'label: dos\nstart=2048, size=73728, type=c\n' | sfdisk -q disk.img
mkfs.vfat -F 32 -C p1.img 36864 && mcopy -i p1.img files/big.bin ::/
dd if=p1.img of=disk.img bs=512 seek=2048 conv=notrunc status=none
)";

TEST(RestoreCommand, FitTakesASmallerTargetWhenThePartitionsEndWithinIt) {
    for (const char* tool : {"sfdisk", "mkfs.vfat", "mcopy", "fsck.vfat"}) {
        if (shell(std::string("command -v ") + tool) != 0)
            GTEST_SKIP() << tool << " is not installed (tools/setup installs it)";
    }
    temp_folder dir;
    ASSERT_EQ(shell("cd " + dir.text() + " && " + kMakeDisk), 0);
    const std::string set = dir.file("set");
    ASSERT_EQ(run_command(run_backup_command, {dir.file("disk.img"), set}).status, kExitDone);

    struct attempt {
        std::uint64_t target_sectors;
        bool fit;
        int status;
        const char* says;
    };
    const attempt attempts[] = {
        {80000, false, kExitFailed, "--fit を付ければ復旧できます: パーテーションはセクタ 75,776"},
        {60000, false, kExitFailed, "--fit でも収まりません: パーテーションはセクタ 75,776"},
        {60000, true, kExitFailed, "セクタ 75,776 (38,797,312 バイト) まで"},
        {75776, true, kExitDone, "先頭の 38,797,312 バイトだけを書き込みます"},
        {80000, true, kExitDone, "先頭の 40,960,000 バイトだけを書き込みます"},
    };
    for (const attempt& a : attempts) {
        const std::string target = dir.file("target.img");
        fs::remove(target);
        { std::ofstream create(target); }
        fs::resize_file(target, a.target_sectors * 512);  // zeros: an empty image
        std::vector<std::string> args = {set, target};
        if (a.fit) args.insert(args.begin(), "--fit");
        const auto r = run_command(run_restore_command, args);
        EXPECT_EQ(r.status, a.status) << a.target_sectors << r.err;
        EXPECT_TRUE(contains(r.err, a.says)) << r.err;
        EXPECT_EQ(fs::file_size(target), a.target_sectors * 512);
        if (a.status != kExitDone) continue;
        const std::string copy = dir.file("restored-p1.img");
        EXPECT_EQ(
            shell("dd if=" + target + " of=" + copy +
                  " bs=512 skip=2048 count=73728 status=none && fsck.vfat -n " + copy +
                  " && mcopy -i " + copy + " ::big.bin - | cmp - " + dir.file("files/big.bin")),
            0);
        EXPECT_EQ(run_command(run_verify_command, {"--against", target, set}).status, kExitFailed);
        const auto compared = run_command(run_verify_command, {"--against", target, "--fit", set});
        EXPECT_EQ(compared.status, kExitDone) << compared.err;
    }
}

}  // namespace
}  // namespace kiroda::cli
