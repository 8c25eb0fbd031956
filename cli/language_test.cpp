// krdtool speaks the locale's language: every command, in success and in
// failure, says the same things in Japanese and in English, and English
// output holds no Japanese left untranslated.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/capture_test_support.h"
#include "cli/command.h"
#include "cli/dispatch.h"
#include "cli/krdtool_commands.h"
#include "cli/message_catalogue.h"
#include "disk/disk_image_test_support.h"
#include "engine/engine_test_support.h"
#include "util/test_support.h"

namespace kiroda::cli {
namespace {

namespace fs = std::filesystem;
using kiroda::test_support::make_disk_image;
using kiroda::test_support::make_mbr_one_partition;
using kiroda::test_support::temp_folder;
using kiroda::test_support::write_file;
using test_support::captured_stream;

struct run_result {
    int status;
    std::string text;  // standard output, then standard error
};

run_result krdtool(bool english, std::vector<std::string> words) {
    use_english(english);
    words.insert(words.begin(), "krdtool");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    captured_stream out, err;
    const int status = dispatch(krdtool_commands(), static_cast<int>(argv.size()), argv.data(),
                                out.get(), err.get());
    use_english(false);
    return {status, out.text() + err.text()};
}

bool has_non_ascii(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

TEST(Language, EveryCommandInBothLanguages) {
    temp_folder dir;
    const std::string disk = dir.file("disk.img");
    const std::string set = dir.file("set");
    const std::string damaged = dir.file("damaged");
    const std::string full_image = dir.file("full.img");
    make_disk_image(disk, 2 * 32768 + 9, make_mbr_one_partition(2048, 60000));
    ASSERT_EQ(krdtool(false, {"backup", disk, set}).status, kExitDone);
    fs::copy(set, damaged);
    fs::remove(damaged + "/KRD00001.BIN");
    write_file(full_image, std::vector<unsigned char>(1 << 20, 0x5A));

    const struct {
        std::vector<std::string> words;
        int status;
    } cases[] = {
        {{"--help"}, kExitDone},
        {{}, kExitUsage},
        {{"nosuch"}, kExitUsage},
        {{"disks", "--help"}, kExitDone},
        {{"backup", "--help"}, kExitDone},
        {{"verify", "-h"}, kExitDone},
        {{"restore", "--help"}, kExitDone},
        {{"info", "--help"}, kExitDone},
        {{"backup", "--bogus", disk, dir.file("other")}, kExitUsage},
        {{"verify", "--against"}, kExitUsage},
        {{"disks", disk, full_image}, kExitDone},
        {{"disks", dir.file("missing.img")}, kExitFailed},
        {{"backup", dir.file("missing.img"), dir.file("other")}, kExitFailed},
        {{"backup", disk, set}, kExitFailed},  // the folder holds a set
        {{"info", set}, kExitDone},
        {{"info", damaged}, kExitFailed},
        {{"verify", set}, kExitDone},
        {{"verify", damaged}, kExitFailed},  // a missing data file, no terminal
        {{"verify", "--against", full_image, set}, kExitFailed},
        {{"restore", set, full_image}, kExitFailed},  // an image with data
        {{"restore", set, set + "/x.img"}, kExitFailed},
        {{"restore", set, dir.file("restored.img")}, kExitDone},
    };
    for (const auto& c : cases) {
        std::string words;
        for (const auto& w : c.words) words += w + " ";
        fs::remove(dir.file("restored.img"));
        const run_result japanese = krdtool(false, c.words);
        fs::remove(dir.file("restored.img"));
        const run_result english = krdtool(true, c.words);
        EXPECT_EQ(japanese.status, c.status) << words << "\n" << japanese.text;
        EXPECT_EQ(english.status, c.status) << words << "\n" << english.text;
        EXPECT_TRUE(has_non_ascii(japanese.text)) << words << "\n" << japanese.text;
        EXPECT_FALSE(english.text.empty()) << words;
        EXPECT_FALSE(has_non_ascii(english.text)) << words << "\n" << english.text;
    }
}

TEST(Language, DisksAreNamedByPathInEnglishToo) {
    temp_folder dir;
    const std::string disk = dir.file("disk.img");
    const std::string small = dir.file("small.img");
    const std::string set = dir.file("set");
    make_disk_image(disk, 4096, make_mbr_one_partition(2048, 2000));
    write_file(small, std::vector<unsigned char>(512 * 100, 0));
    ASSERT_EQ(krdtool(false, {"backup", disk, set}).status, kExitDone);
    // The engine's message names the disk it compares with; krdtool shows its path.
    const run_result r = krdtool(true, {"verify", "--against", small, set});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.text.find("(" + small + ")"), std::string::npos) << r.text;
    EXPECT_EQ(r.text.find("(disk 2)"), std::string::npos) << r.text;
}

// A verdict is one sentence after a word that says what it means, in both
// languages (the dialog's line breaks joined, with a space in English).
TEST(Language, VerdictsAreSentences) {
    temp_folder dir;
    const std::string disk = dir.file("disk.img");
    make_disk_image(disk, 4096, make_mbr_one_partition(2048, 2000));
    const struct {
        bool english;
        const char* line;
    } cases[] = {
        {false, "元ディスク: 使用可 - 元ディスクにできます\n"},
        {true, "Source disk: usable - usable as a source disk\n"},
        {true, "Target disk: usable, with a warning - usable as a target, but it holds partitions"},
    };
    for (const auto& c : cases) {
        const run_result r = krdtool(c.english, {"disks", disk});
        EXPECT_NE(r.text.find(c.line), std::string::npos) << r.text;
    }
}

}  // namespace
}  // namespace kiroda::cli
