#include "cli/terminal_progress.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "cli/capture_test_support.h"
#include "cli/stop_signals.h"

namespace kiroda::cli {
namespace {

using test_support::captured_stream;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

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

TEST(TerminalProgress, StopSignalsRequestAStop) {
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        captured_stream err;
        terminal_progress p(err.get(), 1000, false);
        EXPECT_TRUE(p.running());
        std::raise(number);
        EXPECT_FALSE(p.running()) << number;
        EXPECT_TRUE(p.stopped_by_user());
        reset_stop_signals_for_tests();
    }
    // A stop that came before the work began stops it as it starts.
    install_stop_signals();
    std::raise(SIGTERM);
    {
        captured_stream err;
        terminal_progress p(err.get(), 1000, false);
        EXPECT_FALSE(p.running());
    }
    reset_stop_signals_for_tests();
}

// Without a terminal: a plain line at every 10% and one at the end, no
// carriage returns; a new stage counts its own steps.
TEST(TerminalProgress, PlainLinesEveryTenPercent) {
    captured_stream err;
    {
        const std::uint64_t total = 512ULL << 20;
        terminal_progress p(err.get(), total, false);
        p.set_status("ディスクバックアップ中");
        for (std::uint64_t left = total; left > 0; left -= 16ULL << 20) p.set_bytes_left(left);
        p.complete();
    }
    const std::string text = err.text();
    EXPECT_EQ(text.find('\r'), std::string::npos);
    int percent_lines = 0;
    for (std::size_t at = text.find("%  "); at != std::string::npos; at = text.find("%  ", at + 1))
        ++percent_lines;
    EXPECT_EQ(percent_lines, 10) << text;
    EXPECT_TRUE(contains(text, " 10%")) << text;
    EXPECT_TRUE(contains(text, "100%  536 MB 済 / 残り 0 MB")) << text;
}

// The backup's check of each data file comes and goes under the same
// figure: each status is printed once and the 10% steps run on.
TEST(TerminalProgress, TheChecksOfABackupAreOneStage) {
    captured_stream err;
    {
        const std::uint64_t total = 512ULL << 20;
        terminal_progress p(err.get(), total, false);
        for (std::uint64_t left = total; left > 0; left -= 16ULL << 20) {
            p.set_status("ディスクバックアップ中");
            p.set_bytes_left(left);
            p.set_status("書き込み確認中");
        }
        p.complete();
    }
    const std::string text = err.text();
    int percent_lines = 0;
    for (std::size_t at = text.find("%  "); at != std::string::npos; at = text.find("%  ", at + 1))
        ++percent_lines;
    EXPECT_EQ(percent_lines, 10) << text;
    EXPECT_EQ(text.find("書き込み確認中"), text.rfind("書き込み確認中")) << text;
    EXPECT_EQ(text.find("ディスクバックアップ中"), text.rfind("ディスクバックアップ中")) << text;
}

TEST(TerminalProgress, BarShowsDoneAndLeft) {
    captured_stream err;
    {
        terminal_progress p(err.get(), 3000000000ULL, true);
        p.set_status("ディスク復旧中");
        p.set_bytes_left(1000000000ULL);
        p.complete();  // the bar ends full, not at the last block's start
    }
    const std::string text = err.text();
    EXPECT_TRUE(contains(text, "2,000 MB 済 / 残り 1,000 MB")) << text;
    EXPECT_TRUE(contains(text, " 66% ")) << text;
    EXPECT_TRUE(contains(text, "100% 3,000 MB 済 / 残り 0 MB")) << text;
    EXPECT_TRUE(contains(text, "ディスク復旧中"));
    EXPECT_EQ(text.back(), '\n');
}

}  // namespace
}  // namespace kiroda::cli
