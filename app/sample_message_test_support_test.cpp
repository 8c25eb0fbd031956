#include "app/sample_message_test_support.h"

#include <gtest/gtest.h>

namespace kiroda {
namespace {

TEST(SampleMessage, FillsEachFieldByItsKindAndTheWordsAroundIt) {
    const struct {
        const char* format;
        const char* shown;
    } cases[] = {
        {"ディスク %d を開けません。", "ディスク 1 を開けません。"},
        {"ドライブ %c: の空き", "ドライブ E: の空き"},
        {"%s を作成できません。", "D:\\BACKUP\\KRD00001.BIN を作成できません。"},
        {"%s バイト不足", "75,776 バイト不足"},
        {"セクタ %s から", "セクタ 75,776 から"},
        {"結果 %ld", "結果 -1"},
        {"%lld 個 / %I64u / %u", "4096 個 / 4096 / 4096"},
        {"100%% 完了", "100% 完了"},
        {"末尾 %", "末尾 %"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(sample_message("", c.format), c.shown) << c.format;
}

TEST(SampleMessage, AMessageWithValuesOfItsOwnTakesThemInTurn) {
    EXPECT_EQ(sample_message("message-set_reader.kIncompleteFile", "%s: %d / %d 個"),
              "E:\\BACKUP\\KRD00003.BIN: 17 / 60 個");
    EXPECT_EQ(sample_message("message-backup_flow.kBadMedia", "(%s) %d"), "(3.5\"1.44MB) 1");
}

}  // namespace
}  // namespace kiroda
