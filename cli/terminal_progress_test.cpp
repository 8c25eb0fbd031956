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

// The bar's line never wraps: fields drop whole in a fixed order as the
// width shrinks (the bar first, then the rate), and they stay in place.
TEST(TerminalProgress, TheLineFitsTheTerminal) {
    const progress_fields f{" 42%", "1,024/3,072 MB", " 310.5 MB/s", "あと 0:00:07",
                            "ディスクバックアップ中"};
    const struct {
        int columns;
        const char* shows;  // in order: bar, rate, time left, stage, amount
    } cases[] = {{200, "brlsa"}, {90, "brlsa"}, {80, "-rlsa"},
                 {60, "--lsa"},  {40, "----a"}, {20, "-----"}};
    for (const auto& c : cases) {
        const std::string line = fit_progress_line(c.columns, 0.42, f);
        EXPECT_LT(display_width(line), c.columns) << c.columns << ": " << line;
        const std::string parts[] = {"[#", f.rate, f.left, f.status, f.amount};
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(line.find(parts[i]) != std::string::npos, c.shows[i] != '-')
                << c.columns << ": " << line;
        EXPECT_EQ(line.rfind(" 42%", 0), 0u) << line;
    }
}

TEST(TerminalProgress, StopSignalsRequestAStop) {
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        captured_stream err;
        terminal_progress p(err.get(), 1000, progress_style::lines);
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
        terminal_progress p(err.get(), 1000, progress_style::lines);
        EXPECT_FALSE(p.running());
    }
    reset_stop_signals_for_tests();
}

// Without a terminal: a line at every 10% of the whole run, the read-back
// included, never going back; the end's status only after the 100%.
TEST(TerminalProgress, PlainLinesEveryTenPercentOfTheWholeRun) {
    captured_stream err;
    {
        const std::uint64_t total = 512ULL << 20;
        terminal_progress p(err.get(), total, progress_style::lines, total);
        p.set_status("ディスク復旧中");
        for (std::uint64_t left = total; left > 0; left -= 16ULL << 20) p.set_bytes_left(left);
        p.set_status("書き込み確認中");
        for (std::uint64_t left = total; left > 0; left -= 16ULL << 20) p.set_bytes_left(left);
        p.set_status("復旧完了");
        p.complete();
    }
    const std::string text = err.text();
    EXPECT_EQ(text.find('\r'), std::string::npos);
    int last = -1;
    int lines = 0;
    for (std::size_t at = text.find("%  "); at != std::string::npos;
         at = text.find("%  ", at + 1)) {
        const int percent = std::stoi(text.substr(at - 3, 3));
        EXPECT_GT(percent, last) << text;
        last = percent;
        ++lines;
    }
    EXPECT_EQ(lines, 10) << text;
    EXPECT_LT(text.find(" 40%"), text.find("書き込み確認中")) << text;
    EXPECT_TRUE(contains(text, "100%  536/536 MB")) << text;
    EXPECT_FALSE(contains(text, "復旧完了")) << text;
}

// A backup reads each data file back as it closes it: the read-back is a
// share of the run as large as the set, known from what the data files hold
// so far, so the copy ends well below 100% and the checks take the rest.
TEST(TerminalProgress, TheChecksOfABackupAreAShareOfTheRun) {
    captured_stream err;
    constexpr std::uint64_t kMiB = 1ULL << 20;
    {
        const std::uint64_t total = 512 * kMiB;
        terminal_progress p(err.get(), total, progress_style::json, 0, true);
        for (std::uint64_t left = total; left > 0; left -= 16 * kMiB) {
            p.set_status("ディスクバックアップ中");
            p.set_bytes_stored((total - left + 16 * kMiB) / 2);  // packs to half
            p.set_bytes_left(left - 16 * kMiB);
            if ((left - 16 * kMiB) % (128 * kMiB) != 0) continue;
            p.set_status("書き込み確認中");
            for (std::uint64_t eighths = 8; eighths <= 8; --eighths)
                p.set_bytes_left(eighths * 8 * kMiB);
        }
        p.complete();
    }
    const std::string text = err.text();
    int last = -1, end_of_copy = -1;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = text.substr(at, end - at);
        const int percent = std::stoi(line.substr(line.find("\"percent\":") + 10));
        EXPECT_GE(percent, last) << text;
        last = percent;
        if (contains(line, "ディスクバックアップ中")) end_of_copy = percent;
    }
    EXPECT_EQ(last, 100);
    EXPECT_EQ(text.find("\"percent\":100"), text.rfind("\"percent\":")) << text;
    EXPECT_TRUE(contains(text, "\"percent\":99")) << text;
    // Of 512 MiB read and 256 MiB read back, the last sector comes with
    // three files of 64 MiB read back: 704 of 768.
    EXPECT_EQ(end_of_copy, 91) << text;
    // Before any file is read back, its share is known from how the disk packs.
    EXPECT_TRUE(contains(text,
                         "ディスクバックアップ中\",\"percent\":16,\"done_bytes\":134217728,"
                         "\"total_bytes\":805306368,"))
        << text;
}

// For scripts: one JSON object a line, its percent never going back.
TEST(TerminalProgress, JsonLines) {
    captured_stream err;
    {
        terminal_progress p(err.get(), 100ULL << 20, progress_style::json);
        p.set_status("データテスト中");
        for (std::uint64_t left = 100ULL << 20; left > 0; left -= 10ULL << 20)
            p.set_bytes_left(left);
        p.complete();
    }
    const std::string text = err.text();
    std::size_t lines = 0;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = text.substr(at, end - at);
        EXPECT_EQ(line.rfind("{\"stage\":\"データテスト中\",\"percent\":", 0), 0u) << line;
        ++lines;
    }
    EXPECT_EQ(lines, 11u) << text;
    EXPECT_TRUE(contains(text, "\"percent\":100,\"done_bytes\":104857600")) << text;
}

// -q: nothing at all.
TEST(TerminalProgress, QuietShowsNothing) {
    captured_stream err;
    {
        terminal_progress p(err.get(), 1000, progress_style::quiet);
        p.set_status("データテスト中");
        p.set_bytes_left(500);
        p.complete();
    }
    EXPECT_EQ(err.text(), "");
}

}  // namespace
}  // namespace kiroda::cli
