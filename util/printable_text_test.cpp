#include "util/printable_text.h"

#include <gtest/gtest.h>

namespace kiroda {
namespace {

TEST(PrintableText, ControlsAndInvalidSequencesBecomeTheReplacementCharacter) {
    const std::string r = "\xEF\xBF\xBD";
    const struct {
        const char* what;
        std::string text, shown;
    } cases[] = {
        {"plain ASCII", "/dev/sdb", "/dev/sdb"},
        // 元ディスク in UTF-8, as bytes: the Windows build's literals are Shift-JIS.
        {"Japanese", "\xE5\x85\x83\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF",
         "\xE5\x85\x83\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF"},
        {"an escape sequence", "\x1b[2J\x1b[H", r + "[2J" + r + "[H"},
        {"a line break and a tab", "a\nb\tc\r", "a" + r + "b" + r + "c" + r},
        {"DEL and a C1 control",
         "a\x7f"
         "b\xC2\x85",
         "a" + r + "b" + r},
        {"a lone continuation byte", "a\x80z", "a" + r + "z"},
        {"a sequence cut short", "a\xE3\x81", "a" + r + r},
        {"an overlong slash", "\xC0\xAF", r + r},
        {"a surrogate", "\xED\xA0\x80", r + r + r},
        {"past U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r},
        {"the largest code point", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
        {"a NUL", std::string("a\0b", 3), "a" + r + "b"},
    };
    for (const auto& c : cases) EXPECT_EQ(printable_text(c.text), c.shown) << c.what;
}

}  // namespace
}  // namespace kiroda
