#include "cli/terminal_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "cli/output.h"
#include "cli/stop_signals.h"

#include "ui/translation.h"
#include "util/number_format.h"

namespace kiroda::cli {

namespace {

// Columns `text` (UTF-8) takes on a terminal: East Asian characters take two,
// halfwidth katakana one. Close enough for the texts this program prints.
int display_width(const std::string& text) {
    int width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::uint32_t code = lead < 0x80 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        width += code >= 0x1100 && !(code >= 0xFF61 && code <= 0xFF9F) ? 2 : 1;
        i += length;
    }
    return width;
}

// `text` cut to at most `columns` columns, never inside a character.
std::string cut_to_width(const std::string& text, int columns) {
    std::size_t end = 0;
    int width = 0;
    while (end < text.size()) {
        const auto lead = static_cast<unsigned char>(text[end]);
        std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (end + length > text.size()) length = text.size() - end;
        const int more = display_width(text.substr(end, length));
        if (width + more > columns) break;
        width += more;
        end += length;
    }
    return text.substr(0, end);
}

}  // namespace

int terminal_columns(std::FILE* to) {
    winsize size{};
    if (to != nullptr && ::ioctl(::fileno(to), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

std::string fit_progress_line(int columns, const std::string& bar, const std::string& numbers,
                              const std::string& status) {
    // The last column stays free: a line that fills it wraps on some terminals.
    const int room = columns > 1 ? columns - 1 : 1;
    const std::string with_status = status.empty() ? numbers : numbers + "  " + status;
    for (const std::string& line : {bar + " " + with_status, with_status}) {
        if (display_width(line) <= room) return line;
    }
    return cut_to_width(with_status, room);
}

terminal_progress::terminal_progress(std::FILE* to, std::uint64_t total_bytes, bool bar)
    : to_(to),
      total_(total_bytes),
      bar_(bar),
      left_(total_bytes),
      start_(std::chrono::steady_clock::now()) {
    // The engine sees a stop signal between blocks, as it would a stop button.
    install_stop_signals();
    watch_for_stop(this);
}

terminal_progress::~terminal_progress() {
    watch_for_stop(nullptr);
    finish_line();
}

void terminal_progress::set_status(const char* japanese) {
    const char* text = localized(japanese);
    if (status_ == text) return;
    status_ = text;
    // A status seen before (the backup going on after the check of a data
    // file, 書き込み確認中, which comes and goes) is the stage it was.
    for (const std::string& seen : statuses_seen_) {
        if (seen == status_) {
            if (bar_) draw();
            return;
        }
    }
    statuses_seen_.push_back(status_);
    // A new stage measures its own rate.
    stage_starting_ = true;
    if (!bar_) {
        print(to_, "%s\n", text);
        std::fflush(to_);
    } else {
        draw();
    }
}

void terminal_progress::set_detail(const char*) {
    // The figure behind the detail line comes through set_bytes_left.
}

void terminal_progress::set_bytes_left(std::uint64_t bytes) {
    // A figure that goes back up (the restore's read-back starts over)
    // counts its own 10% steps, and its own rate.
    if (bytes > left_) {
        deciles_shown_ = 0;
        stage_starting_ = true;
    }
    left_ = bytes;
    if (stage_starting_) {
        stage_starting_ = false;
        stage_left_ = bytes;
        start_ = std::chrono::steady_clock::now();
    }
    if (bar_) {
        draw();
        return;
    }
    // Without a terminal: a plain line at every 10%, so a log shows where a
    // long job is without carriage returns.
    const std::uint64_t done = total_ > left_ ? total_ - left_ : 0;
    const int decile =
        total_ > 0 ? static_cast<int>(10 * static_cast<double>(done) / static_cast<double>(total_))
                   : 0;
    if (decile > deciles_shown_ && decile < 10) {
        deciles_shown_ = decile;
        print_line(decile * 10);
    }
}

void terminal_progress::print_line(int percent) {
    const std::uint64_t done = total_ > left_ ? total_ - left_ : 0;
    char done_mb[kGroupedTextSize], left_mb[kGroupedTextSize];
    format_uint64_grouped(done_mb, done / 1000000);
    format_uint64_grouped(left_mb, left_ / 1000000);
    print(to_, "%3d%%  %s MB 済 / 残り %s MB  %.1f MB/s\n", percent, done_mb, left_mb,
          bytes_per_second() / 1e6);
    std::fflush(to_);
}

void terminal_progress::complete() {
    left_ = 0;
    if (bar_) {
        draw();
    } else if (deciles_shown_ < 10) {
        deciles_shown_ = 10;
        print_line(100);
    }
}

double terminal_progress::bytes_per_second() const {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const std::uint64_t done = stage_left_ > left_ ? stage_left_ - left_ : 0;
    return seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
}

void terminal_progress::draw() {
    const std::uint64_t done = total_ > left_ ? total_ - left_ : 0;
    constexpr int kBarWidth = 30;
    const int filled =
        total_ > 0
            ? static_cast<int>(kBarWidth * static_cast<double>(done) / static_cast<double>(total_))
            : kBarWidth;
    std::string bar = "[";
    for (int i = 0; i < kBarWidth; ++i) bar += i < filled ? '#' : '-';
    bar += "]";
    char done_mb[kGroupedTextSize], left_mb[kGroupedTextSize];
    format_uint64_grouped(done_mb, done / 1000000);
    format_uint64_grouped(left_mb, left_ / 1000000);
    // Time left at the rate so far; none until there is a rate.
    char eta[32] = "";
    const double rate = bytes_per_second();
    if (rate > 0 && left_ > 0) {
        const auto seconds =
            static_cast<unsigned long long>(static_cast<double>(left_) / rate + 0.5);
        std::snprintf(eta, sizeof eta, localized("  あと %llu:%02llu:%02llu"), seconds / 3600,
                      seconds / 60 % 60, seconds % 60);
    }
    char numbers[256];
    std::snprintf(
        numbers, sizeof numbers, localized("%3d%% %s MB 済 / 残り %s MB  %.1f MB/s%s"),
        total_ > 0 ? static_cast<int>(100 * static_cast<double>(done) / static_cast<double>(total_))
                   : 100,
        done_mb, left_mb, rate / 1e6, eta);
    const std::string line = fit_progress_line(terminal_columns(to_), bar, numbers, status_);
    // Back to the line's start and clear it (not a text to translate).
    constexpr char kClearLine[] = {'\r', 0x1B, '[', 'K', '\0'};
    std::fputs(kClearLine, to_);
    std::fputs(line.c_str(), to_);
    std::fflush(to_);
    line_open_ = true;
}

void terminal_progress::finish_line() {
    if (line_open_) {
        std::fputc('\n', to_);
        std::fflush(to_);
        line_open_ = false;
    }
}

}  // namespace kiroda::cli
