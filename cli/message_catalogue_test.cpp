#include "cli/message_catalogue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ui/message.h"
#include "ui/recording_sink_test_support.h"
#include "ui/translation.h"

namespace kiroda::cli {
namespace {

// A .mo image of `pairs` (original, translation), in either byte order,
// laid out as msgfmt lays it out: header, two tables, then the strings.
std::vector<unsigned char> make_mo(const std::vector<std::pair<std::string, std::string>>& pairs,
                                   bool big_endian = false) {
    std::vector<unsigned char> image;
    auto put = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            const int shift = big_endian ? 24 - 8 * i : 8 * i;
            image.push_back(static_cast<unsigned char>(v >> shift));
        }
    };
    const auto n = static_cast<std::uint32_t>(pairs.size());
    const std::uint32_t originals = 28, translations = originals + 8 * n;
    std::uint32_t strings = translations + 8 * n;
    put(0x950412DEu), put(0), put(n), put(originals), put(translations), put(0), put(0);
    std::string data;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spans[2];
    for (int side = 0; side < 2; ++side) {
        for (const auto& p : pairs) {
            const std::string& s = side == 0 ? p.first : p.second;
            spans[side].push_back({static_cast<std::uint32_t>(s.size()),
                                   strings + static_cast<std::uint32_t>(data.size())});
            data += s;
            data += '\0';
        }
    }
    for (const auto& side : spans) {
        for (const auto& [length, offset] : side) put(length), put(offset);
    }
    image.insert(image.end(), data.begin(), data.end());
    return image;
}

TEST(MessageCatalogue, FindsTranslationsInEitherByteOrderAndRefusesDamage) {
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"", "Content-Type: text/plain; charset=UTF-8\n"},  // the header entry
        {"完了", "done"},
        {"未訳", ""},  // an untranslated entry: the Japanese stands
        {"読めません: %s", "cannot read: %s"},
    };
    for (const bool big_endian : {false, true}) {
        const std::vector<unsigned char> image = make_mo(pairs, big_endian);
        message_catalogue catalogue;
        ASSERT_TRUE(catalogue.load(image));
        EXPECT_STREQ(catalogue.find("完了"), "done");
        EXPECT_STREQ(catalogue.find("読めません: %s"), "cannot read: %s");
        EXPECT_EQ(catalogue.find("未訳"), nullptr);
        EXPECT_EQ(catalogue.find(""), nullptr);
        EXPECT_EQ(catalogue.find("完"), nullptr);
    }

    const std::vector<unsigned char> good = make_mo(pairs);
    struct {
        const char* what;
        std::vector<unsigned char> image;
    } damaged[] = {
        {"empty", {}},
        {"cut inside the header", std::vector<unsigned char>(good.begin(), good.begin() + 16)},
        {"cut inside the strings", std::vector<unsigned char>(good.begin(), good.end() - 3)},
        {"wrong magic", good},
        {"revision 1", good},
        {"string offset past the end", good},
        {"count past the tables", good},
    };
    damaged[3].image[0] ^= 0xFF;
    damaged[4].image[6] = 1;
    damaged[5].image[28 + 8 + 4] = 0xF0;  // offset of the second original
    damaged[6].image[8] = 0xFF;
    for (const auto& d : damaged) {
        message_catalogue catalogue;
        EXPECT_FALSE(catalogue.load(d.image)) << d.what;
        EXPECT_EQ(catalogue.size(), 0u) << d.what;
    }
}

TEST(MessageCatalogue, JapaneseOnlyUnderAJapaneseLocale) {
    const struct {
        const char* lc_all;
        const char* lc_messages;
        const char* lang;
        bool japanese;
    } cases[] = {
        {nullptr, nullptr, nullptr, false},
        {"C", nullptr, "ja_JP.UTF-8", false},  // LC_ALL wins
        {"", nullptr, "ja_JP.UTF-8", true},    // empty counts as unset
        {nullptr, "ja_JP.eucJP", "en_US.UTF-8", true},
        {nullptr, "en_GB.UTF-8", "ja_JP.UTF-8", false},
        {"ja", nullptr, nullptr, true},
        {"ja_JP@cjknarrow", nullptr, nullptr, true},
        {"jam_XX", nullptr, nullptr, false},
        {"POSIX", nullptr, nullptr, false},
        {"de_DE.UTF-8", nullptr, nullptr, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(locale_is_japanese(c.lc_all, c.lc_messages, c.lang), c.japanese)
            << (c.lc_all ? c.lc_all : "-") << " " << (c.lc_messages ? c.lc_messages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
}

TEST(MessageCatalogue, MessagesComeOutTranslatedAndUnknownTextsStayJapanese) {
    kiroda::test_support::recording_sink sink;
    use_english(true);
    // A message of the engines, its format translated before the values go in.
    show_message(nullptr, kMbOk, "KIRODA", "復旧先ディスク(ディスク %d)を開けません。", 1);
    show_message(nullptr, kMbOk, "KIRODA", "辞書にない %d", 2);
    use_english(false);
    show_message(nullptr, kMbOk, "KIRODA", "復旧先ディスク(ディスク %d)を開けません。", 1);
    ASSERT_EQ(sink.seen.size(), 3u);
    EXPECT_EQ(sink.seen[0].text.find("(disk 1)") != std::string::npos, true) << sink.seen[0].text;
    EXPECT_EQ(sink.seen[1].text, "辞書にない 2");
    EXPECT_EQ(sink.seen[2].text, "復旧先ディスク(ディスク 1)を開けません。");
}

}  // namespace
}  // namespace kiroda::cli
