#include "engine/verify_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ui/recording_sink.h"
#include "engine/engine_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using testing::read_file;
using testing::recording_progress;
using testing::recording_sink;
using testing::temp_folder;
using testing::write_data_file;
using testing::write_file;

std::vector<unsigned char> chunk(std::size_t sectors, unsigned char fill) {
    std::vector<unsigned char> c(sectors * 512, 0);
    for (std::size_t i = 0; i < c.size(); i += 97) c[i] = fill;
    return c;
}

// A set of 6 sectors in two data files: [2 sectors, 1 sector] and [3 sectors].
class VerifyEngine : public ::testing::Test {
protected:
    void SetUp() override {
        write_data_file(set.file("KRD00001.BIN"), {chunk(2, 1), chunk(1, 2)});
        write_data_file(set.file("KRD00002.BIN"), {chunk(3, 3)});
    }
    int verify(std::uint64_t bytes = 6 * 512) {
        return verify_backup_set(progress, set.text().c_str(), bytes);
    }
    temp_folder set;
    recording_progress progress;
};

TEST_F(VerifyEngine, ACompleteSetPasses) {
    // A later data file is never opened, whatever it holds.
    write_file(set.file("KRD00003.BIN"), {1, 2, 3});
    recording_sink sink;
    EXPECT_EQ(verify(), kEngineDone);
    EXPECT_TRUE(sink.seen.empty());
    EXPECT_EQ(progress.statuses, (std::vector<std::string>{"データテスト中", "テスト完了"}));
    EXPECT_EQ(progress.details.back(), "");
    EXPECT_EQ(progress.details.size(), 4u);  // once per block, then cleared
    EXPECT_EQ(progress.buttons, std::vector<std::string>{"キャンセル"});
}

TEST_F(VerifyEngine, AFlippedPayloadByteNamesTheFileAndTheCheck) {
    std::vector<unsigned char> file = read_file(set.file("KRD00002.BIN"));
    file[32] ^= 0x10;  // the first code word is a literal data word
    write_file(set.file("KRD00002.BIN"), file);
    recording_sink sink;
    EXPECT_EQ(verify(), kEngineFailed);
    ASSERT_EQ(sink.seen.size(), 1u);
    const std::string expected = std::string("バックアップファィル読込エラー。\n　　\"") +
                                 set.file("KRD00002.BIN") + "\"\nMeltReadSize = -9";
    EXPECT_EQ(sink.seen[0].text, expected);
    EXPECT_EQ(sink.seen[0].type, kMbOk);
}

TEST_F(VerifyEngine, AFileCutInsideABlock) {
    std::vector<unsigned char> file = read_file(set.file("KRD00001.BIN"));
    file.resize(file.size() - 3);
    write_file(set.file("KRD00001.BIN"), file);
    recording_sink sink;
    EXPECT_EQ(verify(), kEngineFailed);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_NE(sink.seen[0].text.find("MeltReadSize = -6"), std::string::npos) << sink.seen[0].text;
}

TEST_F(VerifyEngine, BlocksThatAreNoWholeSectors) {
    const struct {
        const char* what;
        std::vector<unsigned char> chunk;
        const char* expected;
    } cases[] = {
        {"part of a sector", std::vector<unsigned char>(700, 5), "MeltReadSize = 700"},
        {"no data", {}, "バックアップファィルを読めません。\n　　\""},
    };
    for (const auto& c : cases) {
        write_data_file(set.file("KRD00001.BIN"), {c.chunk});
        recording_sink sink;
        EXPECT_EQ(verify(), kEngineFailed) << c.what;
        ASSERT_EQ(sink.seen.size(), 1u) << c.what;
        EXPECT_NE(sink.seen[0].text.find(c.expected), std::string::npos) << sink.seen[0].text;
    }
}

TEST_F(VerifyEngine, AMissingFileIsAskedForUntilItComesOrTheUserGivesUp) {
    const std::string second = set.file("KRD00002.BIN");
    const std::string away = set.file("away.bin");
    std::filesystem::rename(second, away);
    {
        recording_sink sink({kIdCancel});
        EXPECT_EQ(verify(), kEngineFailed);
        ASSERT_EQ(sink.seen.size(), 1u);
        EXPECT_EQ(sink.seen[0].type, kMbOkCancel);
        EXPECT_EQ(sink.seen[0].text, "バックアップファィルが見つかりません。\n[" + second +
                                         "]の入ったメディアと交換して下さい。");
    }
    {
        // OK twice with the medium still missing, then the file is back.
        int asked = 0;
        auto previous = set_message_sink([&](const message& m) {
            if (m.type == kMbOkCancel && ++asked == 2) std::filesystem::rename(away, second);
            return kIdOk;
        });
        EXPECT_EQ(verify(), kEngineDone);
        set_message_sink(previous);
        EXPECT_EQ(asked, 2);
    }
}

TEST_F(VerifyEngine, ASetShorterThanItsHeaderAsksForTheNextFile) {
    recording_sink sink({kIdCancel});
    EXPECT_EQ(verify(7 * 512), kEngineFailed);
    ASSERT_EQ(sink.seen.size(), 1u);
    EXPECT_NE(sink.seen[0].text.find("KRD00003.BIN"), std::string::npos);
}

TEST_F(VerifyEngine, StopEndsWithZeroAndNoMessage) {
    for (int stop_at : {1, 2, 3}) {
        recording_progress p;
        p.stop_at_detail = stop_at;
        recording_sink sink;
        EXPECT_EQ(verify_backup_set(p, set.text().c_str(), 6 * 512), kEngineStopped) << stop_at;
        EXPECT_TRUE(sink.seen.empty());
        EXPECT_NE(p.statuses.back(), "テスト完了");
    }
}

}  // namespace
}  // namespace kiroda
