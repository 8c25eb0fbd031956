#include "cli/disks_command.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <string>
#include <vector>

#include "cli/capture_test_support.h"
#include "cli/command.h"
#include "cli/json_reader_test_support.h"
#include "disk/disk_registry.h"
#include "disk/disk_image_test_support.h"
#include "disk/physical_disk.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

using kiroda::test_support::make_mbr;
using kiroda::test_support::make_mbr_one_partition;
using kiroda::test_support::temp_folder;
using kiroda::test_support::write_image;
using test_support::captured_stream;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(DisksCommand, ReportsEachImageWithBothVerdicts) {
    temp_folder dir;
    const std::string used = dir.file("used.img");
    const std::string blank = dir.file("blank.img");
    write_image(used, 4096, make_mbr_one_partition(2048, 2000));
    kiroda::test_support::write_file(blank, std::vector<unsigned char>(4096 * 512, 0));
    captured_stream out, err;
    EXPECT_EQ(run_disks_command({used, blank}, out.get(), err.get()), kExitDone);
    const std::string text = out.text();
    EXPECT_TRUE(err.text().empty()) << err.text();

    const auto second = text.find("ディスク: " + blank);
    ASSERT_NE(second, std::string::npos) << text;
    const std::string first_part = text.substr(0, second);
    const std::string second_part = text.substr(second);
    EXPECT_TRUE(contains(first_part, "ディスク: " + used)) << text;
    EXPECT_TRUE(contains(first_part, "サイズ: 2 MB (4,096 セクタ)")) << text;
    EXPECT_TRUE(contains(first_part, "セクタサイズ: 512 バイト")) << text;
    EXPECT_TRUE(contains(first_part, "メディア: 固定ﾃﾞｨｽｸ")) << text;
    EXPECT_TRUE(contains(first_part, "1: 1  2: 0  3: 0  4: 0")) << text;
    EXPECT_TRUE(contains(first_part, "元ディスク: 使用可 - 元ディスクにできます\n")) << text;
    EXPECT_TRUE(contains(first_part,
                         "復旧先ディスク: 使用可 (注意あり) - 復旧先にできますが、"
                         "パーテーションがあります (--force で上書き)"))
        << text;
    EXPECT_TRUE(contains(second_part,
                         "元ディスク: 使用不可 - 元ディスクにできません: "
                         "セクタ 0 に MBR の署名 (0x55AA) がありません"))
        << text;
    EXPECT_TRUE(contains(second_part, "(空のディスク)")) << text;
    // The command leaves no disk registered behind it.
    registered_disk d;
    EXPECT_FALSE(find_registered_disk(0, &d));
}

TEST(DisksCommand, PointsOutPartitionsBeyondTheEnd) {
    temp_folder dir;
    const std::string path = dir.file("short.img");
    write_image(path, 100, make_mbr_one_partition(63, 1000));
    captured_stream out, err;
    EXPECT_EQ(run_disks_command({path}, out.get(), err.get()), kExitDone);
    EXPECT_TRUE(contains(out.text(), "ディスクの終わりを越えています (1,063 セクタまで)"))
        << out.text();
}

TEST(DisksCommand, APathThatDoesNotOpenFailsButTheOthersAreShown) {
    temp_folder dir;
    const std::string good = dir.file("good.img");
    write_image(good, 16, make_mbr({}));
    const std::string missing = dir.file("missing.img");
    captured_stream out, err;
    EXPECT_EQ(run_disks_command({missing, good, dir.text()}, out.get(), err.get()), kExitFailed);
    // Each in the listing with the system's reason, in the order named.
    const std::string listed = out.text();
    EXPECT_TRUE(
        contains(listed, "ディスク: " + missing + "\n  開けません: " + std::strerror(ENOENT)))
        << listed;
    EXPECT_LT(listed.find(missing), listed.find("ディスク: " + good)) << listed;
    EXPECT_LT(listed.find(good), listed.find("ディスク: " + dir.text() + "\n  開けません"))
        << listed;
    EXPECT_TRUE(contains(err.text(), "開けないディスクがあります")) << err.text();
}

TEST(DisksCommand, AnOptionIsAUsageError) {
    captured_stream out, err;
    EXPECT_EQ(run_disks_command({"--all"}, out.get(), err.get()), kExitUsage);
    EXPECT_TRUE(contains(err.text(), "krdtool disks [--json] [PATH...]"));
    EXPECT_TRUE(out.text().empty());
}

TEST(DisksCommand, JsonHoldsTheSameFactsAsNumbers) {
    temp_folder dir;
    const std::string used = dir.file("used.img");
    const std::string blank = dir.file("blank.img");
    const std::string missing = dir.file("missing.img");
    // Data after an empty table: a restore takes it only with --force.
    const std::string data = dir.file("data.img");
    write_image(used, 4096, make_mbr_one_partition(2048, 2000));
    kiroda::test_support::write_file(blank, std::vector<unsigned char>(4096 * 512, 0));
    write_image(data, 4096, make_mbr({}, false));
    captured_stream out, err;
    // A path that does not open is said on stderr; the JSON stays whole.
    EXPECT_EQ(run_disks_command({"--json", used, missing, blank, data}, out.get(), err.get()),
              kExitFailed);
    EXPECT_TRUE(contains(err.text(), "開けないディスクがあります")) << err.text();
    test_support::json_value v;
    std::string error;
    ASSERT_TRUE(test_support::parse_json(out.text(), &v, &error)) << error << "\n" << out.text();
    const auto& disks = v["disks"].items;
    ASSERT_EQ(disks.size(), 4u) << out.text();
    EXPECT_EQ(disks[1]["path"].text, missing);
    EXPECT_EQ(disks[1]["error"].text, std::strerror(ENOENT));
    const struct {
        std::string path;
        const char* source;
        const char* target;
        std::uint64_t first_partition_bytes;
    } expected[] = {
        {used, "usable", "reservation", 2000 * 512},  // with --force
        {blank, "unusable", "usable", 0},
        {data, "unusable", "reservation", 0},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& d = disks[i == 0 ? 0 : i + 1];
        EXPECT_EQ(d["path"].text, expected[i].path);
        EXPECT_EQ(d["bytes"].unsigned_number(), 4096u * 512);
        EXPECT_EQ(d["sector_size"].unsigned_number(), 512u);
        EXPECT_EQ(d["sectors"].unsigned_number(), 4096u);
        EXPECT_EQ(d["media"].text, "固定ﾃﾞｨｽｸ");
        ASSERT_EQ(d["partition_bytes"].items.size(), 4u);
        EXPECT_EQ(d["partition_bytes"].items[0].unsigned_number(),
                  expected[i].first_partition_bytes);
        EXPECT_EQ(d["source"]["verdict"].text, expected[i].source);
        EXPECT_EQ(d["target"]["verdict"].text, expected[i].target);
        EXPECT_FALSE(d["target"]["message"].text.empty());
    }
}

TEST(DisksCommand, AnIdentityIsNamedByTheFieldsThereAre) {
    const struct {
        disk_identity id;
        const char* said;
    } cases[] = {
        {{"SanDisk", "Ultra", "4C530001", "usb", 1, -1},
         "SanDisk Ultra (シリアル番号 4C530001), usb, 取り外し可能"},
        {{"ATA", "ATA Samsung", "", "sata", 0, 0}, "ATA Samsung, sata"},
        {{"", "", "", "", -1, -1}, ""},
        {{"", "", "X1", "", -1, -1}, "(シリアル番号 X1)"},
    };
    for (const auto& c : cases) EXPECT_EQ(describe_identity(c.id), c.said);
}

TEST(DisksCommand, ShowsWhatRestoreWillAccept) {
    disk_record r;
    r.number = 0;
    r.total_sectors = 8 * 1000;
    r.bytes_per_sector = 4096;
    r.media_type = kMediaFixed;
    captured_stream out;
    target_check as_target;
    as_target.verdict = target_verdict::bad_sector_size;
    print_disk_report(r, "/dev/fake", out.get(), as_target);
    EXPECT_TRUE(contains(out.text(), "(1,000 セクタ)")) << out.text();
    EXPECT_TRUE(contains(out.text(), "復旧先ディスク: 使用不可")) << out.text();
    r.bytes_per_sector = 512;
    captured_stream ext4;
    as_target.verdict = target_verdict::ok;
    as_target.holds = target_holds::file_system;
    as_target.file_system = "ext2/ext3/ext4";
    print_disk_report(r, "/dev/fake", ext4.get(), as_target);
    EXPECT_TRUE(contains(ext4.text(), "復旧先ディスク: 使用可 (注意あり)")) << ext4.text();
    EXPECT_TRUE(contains(ext4.text(), "ext2/ext3/ext4")) << ext4.text();
}

}  // namespace
}  // namespace kiroda::cli
