#include "ui/stored_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "util/test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kiroda {
namespace {

constexpr enciphered_text kFirst{"バックアップファイル %s を作成できません。"};
constexpr enciphered_text kSecond{"second text %d"};
constexpr enciphered_text kEmpty{""};
// Never compared with a literal, so only its enciphered form is in the program.
constexpr enciphered_text kHidden{"ディスク %d の読み込みに失敗しました。(hidden)"};

TEST(StoredText, DeciphersToThePlainText) {
    EXPECT_STREQ(get_stored_text(kSecond), "second text %d");
    EXPECT_STREQ(get_stored_text(kEmpty), "");
    // The literal is compared in the program's own encoding on both builds.
    EXPECT_EQ(std::string(get_stored_text(kFirst)),
              std::string("バックアップファイル ") + "%s" + " を作成できません。");
}

TEST(StoredText, TheSharedBufferHoldsOnlyTheLastText) {
    const char* first = get_stored_text(kFirst);
    const std::string first_copy = first;
    const char* second = get_stored_text(kSecond);
    // Callers never keep a result across calls: the buffer now holds the second text.
    EXPECT_STREQ(second, "second text %d");
    EXPECT_NE(first_copy, second);
    release_stored_text_buffer();
    EXPECT_STREQ(get_stored_text(kSecond), "second text %d");
}

TEST(StoredText, EncipheredBytesDoNotShowThePlainText) {
    const stored_text t = kSecond;
    ASSERT_EQ(t.size, std::strlen("second text %d"));
    const std::string plain = get_stored_text(kSecond);
    std::size_t same = 0;
    for (std::size_t i = 0; i < t.size; ++i)
        same += (t.bytes[i] == static_cast<unsigned char>(plain[i]));
    EXPECT_LT(same, 3u);
}

std::string own_executable() {
#ifdef _WIN32
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    return n > 0 && n < sizeof path ? std::string(path, n) : std::string();
#else
    return "/proc/self/exe";
#endif
}

TEST(StoredText, PlainTextsAreNotInTheExecutable) {
    const std::vector<unsigned char> image = test_support::read_file(own_executable());
    ASSERT_GT(image.size(), 10000u);
    // A plain literal of this program is found, so the search itself works.
    const std::string literal = "バックアップファイル ";
    const std::vector<unsigned char> known(literal.begin(), literal.end());
    EXPECT_NE(std::search(image.begin(), image.end(), known.begin(), known.end()), image.end());
    // The needles are made at run time, so the search itself puts no copy of
    // them into the executable.
    for (const stored_text t : {stored_text(kFirst), stored_text(kHidden)}) {
        const std::string text = get_stored_text(t);
        ASSERT_GT(text.size(), 20u);
        // As bytes: a char above 0x7F never equals an unsigned char, and a
        // search mixing the two could not find a Japanese text at all.
        const std::vector<unsigned char> plain(text.begin(), text.end());
        const auto hit = std::search(image.begin(), image.end(), plain.begin(), plain.end());
        EXPECT_EQ(hit, image.end()) << text;
    }
}

}  // namespace
}  // namespace kiroda
