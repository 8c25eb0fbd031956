#include "cli/own_words.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "ui/translation.h"

namespace kiroda::cli {

namespace {

struct reworded {
    const char* wizard;   // the rules' text, byte for byte (Japanese)
    const char* krdtool;  // krdtool's (Japanese; English by the catalogue)
};

constexpr reworded kVerdicts[] = {
    {"元ディスクとして利用できません。\nディスクフラグが無効です。AA55 ",
     "元ディスクにできません: セクタ 0 に MBR の署名 (0x55AA) がありません"},
    {"元ディスクとして利用出来ません。\nセクタサイズが無効です。",
     "元ディスクにできません: セクタサイズが 512 バイトではありません"},
    {"元ディスクとして利用できません。\n固定ディスクとリムーバブルディスク\nのみ利用可能です。",
     "元ディスクにできません: 固定ディスクでもリムーバブルディスクでもありません"},
    {"元ディスクとして利用できません。\nＧＰＴには対応していません。",
     "元ディスクにできません: GPT のディスクです (セクタ 0 は保護用の MBR)。"
     "バックアップできるのは MBR のディスクです"},
    {"元ディスクとして利用できません。\nパーテーションが定義されていません。",
     "元ディスクにできません: セクタ 0 の MBR にパーテーションが一つもありません"},
    {"元ディスクとして利用できますが、\n有効パーテーションが見つかりません。",
     "元ディスクにできますが、MBR に起動パーテーション (アクティブ) がありません"},
    {"指定のディスクは、\n元ディスクとして利用可能です。", "元ディスクにできます"},
    {"復旧先ディスクとして利用可能です。\n未使用ディスクです。(xAA55)",
     "復旧先にできます: セクタ 0 に MBR の署名がありません (空のディスク)"},
    {"復旧先ディスクとして利用可能です。\nパーテーションは定義されていません。",
     "復旧先にできます: MBR にパーテーションがありません"},
    {"復旧先ディスクとして利用可能です。\nパーテーションは利用されていません。",
     "復旧先にできます: MBR のパーテーションはどれも空です"},
    {"復旧先ディスクとして利用できません。\nＧＰＴには対応していません。",
     "復旧先にできません: GPT のディスクです (セクタ 0 は保護用の MBR)"},
    {"復旧先ディスクとして利用出来ません。\nセクタサイズが無効です。",
     "復旧先にできません: セクタサイズが 512 バイトではありません"},
    {"復旧先ディスクとして利用できません。\n固定ディスクとリムーバブルディスク\nのみ利用可能です。",
     "復旧先にできません: 固定ディスクでもリムーバブルディスクでもありません"},
};

// One sentence of a dialog's lines: its breaks (placed for the dialog's
// width) joined, with a space where the language puts one.
std::string one_sentence(const char* message) {
    std::string sentence;
    for (const char* p = message; *p; ++p) {
        if (*p != '\n') {
            sentence += *p;
        } else if (!sentence.empty() && static_cast<unsigned char>(sentence.back()) < 0x80 &&
                   sentence.back() != ' ') {
            sentence += ' ';
        }
    }
    return sentence;
}

// The arguments `text` gives each %s, %d, %ld or %zu of `format`, as texts;
// false when `text` is not of that format.
bool match_format(const char* format, const char* text, std::vector<std::string>* args) {
    while (*format != '\0') {
        if (*format != '%') {
            if (*format++ != *text++) return false;
            continue;
        }
        while (*format != '\0' && std::strchr("sdiuz", *format) == nullptr) ++format;
        if (*format == 'z') ++format;
        if (*format++ == '\0') return false;
        // The argument runs to where the format's next literal byte is met.
        const char* end = *format == '\0' ? text + std::strlen(text) : std::strchr(text, *format);
        if (end == nullptr) return false;
        args->emplace_back(text, end);
        text = end;
    }
    return *text == '\0';
}

// Engine texts krdtool words its own way: each argument of the engine's
// text (two at most) becomes one %s of krdtool's, in order.
constexpr reworded kMessages[] = {
    // The data test's and the set image's (the wizard's text, its spelling kept).
    {"バックアップファィルが見つかりません。\n[%s]の入ったメディアと交換して下さい。",
     "%s がありません: バックアップデータにはこのファイルが要ります。\n"
     "ほかのメディアにあるなら、そのメディアに替えてから続けて下さい。"},
    {"バックアップファイルが見つかりません。\n%s\nの入ったメディアと交換して下さい。",
     "%s がありません: バックアップデータにはこのファイルが要ります。\n"
     "ほかのメディアにあるなら、そのメディアに替えてから続けて下さい。"},
    {"バックアップファィル読込エラー。\n　　\"%s\"\nMeltReadSize = %ld",
     "%s に壊れたブロックがあります: MeltReadSize = %s\n"
     "バックアップデータはそこで壊れています。復旧はこのブロックで止まります。"},
    {"バックアップファイルが壊れています。\n%s\n(読み込み結果 %ld)",
     "%s に壊れたブロックがあります: (読み込み結果 %s)\n"
     "バックアップデータはそこで壊れているため、復旧はこのブロックで止まりました"
     " (先頭セクタ (MBR) は書き込んでいません)。"},
};

}  // namespace

std::string own_verdict_words(const char* wizard_message) {
    for (const reworded& r : kVerdicts) {
        if (std::strcmp(r.wizard, wizard_message) == 0) return localized(r.krdtool);
    }
    return one_sentence(localized(wizard_message));
}

std::string own_message_words(const std::string& text) {
    for (const reworded& r : kMessages) {
        std::vector<std::string> args;
        if (!match_format(localized(r.wizard), text.c_str(), &args) || args.empty()) continue;
        char said[2048];
        args.resize(2);
        std::snprintf(said, sizeof said, localized(r.krdtool), args[0].c_str(), args[1].c_str());
        return said;
    }
    return text;
}

}  // namespace kiroda::cli
