#include "cli/terminal_progress.h"

#include <gtest/gtest.h>

#include <string>

namespace kiroda::cli {
namespace {

// The bar's line never wraps: at any width it fits with a column to spare,
// the bar goes before the numbers, and a cut never splits a character.
TEST(TerminalProgress, TheLineFitsTheTerminal) {
    const std::string bar = "[" + std::string(30, '#') + "]";
    const std::string numbers = " 42% 1,024 MB 済 / 残り 2,048 MB  310.5 MB/s  あと 0:00:07";
    const std::string status = "ディスクバックアップ中";
    const struct {
        int columns;
        bool bar;
        bool numbers;
    } cases[] = {
        {200, true, true},  {120, true, true}, {80, false, true},
        {40, false, false}, {1, false, false},
    };
    for (const auto& c : cases) {
        const std::string line = fit_progress_line(c.columns, bar, numbers, status);
        int width = 0;
        for (std::size_t i = 0; i < line.size();) {
            const auto lead = static_cast<unsigned char>(line[i]);
            const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            ASSERT_LE(i + n, line.size()) << c.columns << ": a character cut in two";
            width += n == 1 ? 1 : 2;
            i += n;
        }
        EXPECT_LT(width, c.columns > 1 ? c.columns : 2) << c.columns << ": " << line;
        EXPECT_EQ(line.find('#') != std::string::npos, c.bar) << c.columns << ": " << line;
        EXPECT_EQ(line.find(numbers) != std::string::npos, c.numbers) << c.columns << ": " << line;
    }
}

}  // namespace
}  // namespace kiroda::cli
