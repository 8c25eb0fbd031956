#include "cli/terminal_messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "cli/set_commands.h"
#include "disk/disk_registry.h"

namespace kiroda::cli {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(TerminalMessages, CodesBecomeWhatTheyMeanAndTheSystemSaysWhy) {
    const struct {
        const char* engine_said;
        int system_error;
        const char* krdtool_says;  // before the system's reason
    } cases[] = {
        {"エラー。\n\"x\"\nMeltReadSize = -9", 0,
         "エラー。\n\"x\"\nブロックのチェックサムが一致しません"},
        {"MeltReadSize = 700", 0, "ブロックの大きさ (700 バイト) がセクタの倍数ではありません"},
        {"壊れています。\nx\n(読み込み結果 -6)", 0,
         "壊れています。\nx\nブロックのデータが途中で切れています"},
        {"(読み込み結果 -99)", 0, "ブロックを読めません (-99)"},
        {"DiskRead(元ディスク読込み中) Error\n残りｾｸﾀ      = 65536(Sect)", EIO,
         "元ディスクを読めません (残り 65536 セクタ)"},
        {"書き込みに失敗しました。", ENOSPC, "書き込みに失敗しました。"},
        {"MeltReadSize = x", 0, "MeltReadSize = x"},  // no number: left as it is
    };
    for (const auto& c : cases) {
        std::string expected = c.krdtool_says;
        expected += system_reason(c.system_error);
        EXPECT_EQ(with_reasons(c.engine_said, c.system_error), expected) << c.engine_said;
    }
    std::string asked = "セクタ 5 を読めません。";
    asked.append(system_reason(EIO)).append("\n\n続けますか?");
    EXPECT_EQ(with_reasons("セクタ 5 を読めません。\n\n続けますか?", EIO, true), asked);
    EXPECT_EQ(system_reason(0), "");
    const std::string reason = system_reason(ENOSPC);
    EXPECT_EQ(reason.rfind("\n(システムのエラー: ", 0), 0u) << reason;
    EXPECT_TRUE(contains(reason, std::strerror(ENOSPC))) << reason;
}

TEST(TerminalMessages, DisksAreNamedByTheirPaths) {
    register_disk_path(kTargetDiskNumber, "/tmp/t.img");
    EXPECT_EQ(name_disks_by_path("復旧先ディスク(ディスク 1)を開けません。(ディスク 1)"),
              "復旧先ディスク(/tmp/t.img)を開けません。(/tmp/t.img)");
    EXPECT_EQ(name_disks_by_path("(ディスク 2)"), "(ディスク 2)");
    clear_disk_paths();
}

}  // namespace
}  // namespace kiroda::cli
