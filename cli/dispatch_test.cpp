#include "cli/dispatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/capture_test_support.h"

namespace kiroda::cli {
namespace {

using test_support::captured_stream;

std::vector<std::string> g_seen;

int record_args(const std::vector<std::string>& args, std::FILE*, std::FILE*) {
    g_seen = args;
    return 7;
}

constexpr command kTable[] = {
    {"first", "A", "the first", record_args, "options of the first\n"},
    {"second", "[B...]", "the second", record_args},
};

int run(std::vector<std::string> words, captured_stream& out, captured_stream& err) {
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    return dispatch(kTable, static_cast<int>(argv.size()), argv.data(), out.get(), err.get());
}

TEST(Dispatch, RunsTheNamedCommandWithTheWordsAfterIt) {
    captured_stream out, err;
    g_seen.clear();
    EXPECT_EQ(run({"krdtool", "second", "x", "-y"}, out, err), 7);
    EXPECT_EQ(g_seen, (std::vector<std::string>{"x", "-y"}));
    EXPECT_EQ(run({"krdtool", "first"}, out, err), 7);
    EXPECT_TRUE(g_seen.empty());
}

// No command lists them all; an unknown one is named, with where to look.
TEST(Dispatch, NoCommandOrAnUnknownOneIsAUsageError) {
    const struct {
        std::vector<std::string> words;
        const char* says;
    } cases[] = {
        {{"krdtool"}, "krdtool second [B...]"},
        {{"krdtool", "thrid"}, "不明なコマンド 'thrid' です (krdtool --help"},
        {{"krdtool", "help", "First"}, "不明なコマンド 'First' です"},
        {{"krdtool", "--version", "x"}, "--version には引数を付けません: x"},
    };
    for (const auto& c : cases) {
        captured_stream out, err;
        EXPECT_EQ(run(c.words, out, err), kExitUsage);
        EXPECT_NE(err.text().find(c.says), std::string::npos) << err.text();
        EXPECT_TRUE(out.text().empty());
    }
}

TEST(Dispatch, HelpGoesToStandardOutput) {
    captured_stream out, err;
    EXPECT_EQ(run({"krdtool", "--help"}, out, err), kExitDone);
    EXPECT_NE(out.text().find("the second"), std::string::npos);
    EXPECT_TRUE(err.text().empty());
}

// COMMAND --help and -h anywhere before "--" show the command's help and run
// nothing; after "--" they are operands.
TEST(Dispatch, CommandHelpAndVersion) {
    const struct {
        std::vector<std::string> words;
        int status;
        const char* shown;  // in standard output; nullptr: the command ran
    } cases[] = {
        {{"krdtool", "first", "--help"}, kExitDone, "options of the first"},
        {{"krdtool", "first", "x", "-h"}, kExitDone, "krdtool first A"},
        {{"krdtool", "help", "first"}, kExitDone, "options of the first"},
        {{"krdtool", "first", "--", "-h"}, 7, nullptr},
        {{"krdtool", "--version"}, kExitDone, "krdtool 1.14"},
    };
    for (const auto& c : cases) {
        captured_stream out, err;
        g_seen.clear();
        EXPECT_EQ(run(c.words, out, err), c.status) << c.words.back();
        if (c.shown != nullptr) {
            EXPECT_NE(out.text().find(c.shown), std::string::npos) << out.text();
            EXPECT_TRUE(g_seen.empty());
        } else {
            EXPECT_EQ(g_seen, (std::vector<std::string>{"--", "-h"}));
        }
    }
}

}  // namespace
}  // namespace kiroda::cli
