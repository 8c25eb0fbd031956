#include "cli/terminal_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/json_writer.h"
#include "cli/output.h"
#include "cli/stop_signals.h"
#include "engine/set_image.h"
#include "format/set_files.h"

#include "ui/translation.h"
#include "util/number_format.h"

namespace kiroda::cli {

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

int terminal_columns(std::FILE* to) {
    winsize size{};
    if (to != nullptr && ::ioctl(::fileno(to), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

std::string clock_text(double seconds) {
    const auto whole = static_cast<unsigned long long>(seconds > 0 ? seconds + 0.5 : 0);
    char text[48];
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", whole / 3600, whole / 60 % 60,
                  whole % 60);
    return text;
}

namespace {

constexpr int kBarMin = 10;  // inner columns: a shorter bar says nothing
constexpr int kBarMax = 40;

// The stages that end a run: the command's summary says so, after the 100%.
constexpr const char* kEndStatuses[] = {"バックアップ完了", "復旧完了", "テスト完了"};
// The stage that reads back what was written.
constexpr char kReadBackStatus[] = "書き込み確認中";

bool is_end_status(const char* japanese) {
    for (const char* end : kEndStatuses) {
        if (std::strcmp(japanese, end) == 0) return true;
    }
    return false;
}

std::string bar_text(int inner, double fraction) {
    const int filled = static_cast<int>(inner * fraction);
    std::string bar = "[";
    for (int i = 0; i < inner; ++i) bar += i < filled ? '#' : '-';
    return bar + "]";
}

// The line of `fields` (empty ones left out) with the bar after the percent
// when `bar_inner` > 0.
std::string join_fields(const std::vector<std::string>& fields, int bar_inner, double fraction) {
    std::string line = fields[0];
    if (bar_inner > 0) line += " " + bar_text(bar_inner, fraction);
    for (std::size_t i = 1; i < fields.size(); ++i) {
        if (!fields[i].empty()) line += "  " + fields[i];
    }
    return line;
}

}  // namespace

std::string fit_progress_line(int columns, double fraction, const progress_fields& f) {
    // The last column stays free: a line that fills it wraps on some terminals.
    const int room = columns > 1 ? columns - 1 : 1;
    std::vector<std::string> shown = {f.percent, f.amount, f.rate, f.left, f.status};
    // Dropped in this order once the bar is gone: rate, time left, stage, amount.
    constexpr std::size_t kDropOrder[] = {2, 3, 4, 1};
    const int without_bar = display_width(join_fields(shown, 0, fraction));
    const int bar_inner = std::min(kBarMax, room - without_bar - 3);
    if (bar_inner >= kBarMin) return join_fields(shown, bar_inner, fraction);
    for (const std::size_t drop : kDropOrder) {
        if (display_width(join_fields(shown, 0, fraction)) <= room) break;
        shown[drop].clear();
    }
    const std::string line = join_fields(shown, 0, fraction);
    return display_width(line) <= room ? line : "";
}

terminal_progress::terminal_progress(std::FILE* to, std::uint64_t total_bytes, progress_style style,
                                     std::uint64_t read_back_bytes, bool reads_back_stored)
    : to_(to),
      total_(total_bytes),
      read_back_(read_back_bytes),
      reads_back_stored_(reads_back_stored),
      style_(style),
      copy_left_(total_bytes),
      start_{std::chrono::steady_clock::now(), std::chrono::steady_clock::now()} {
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
    reading_back_ = std::strcmp(japanese, kReadBackStatus) == 0;
    // A status seen before (the backup going on after the check of a data
    // file, which comes and goes) is the stage it was.
    for (const std::string& seen : statuses_seen_) {
        if (seen == status_) return show();
    }
    statuses_seen_.push_back(status_);
    stage_starting_ = true;  // a new stage measures its own rate
    if (style_ == progress_style::lines && !is_end_status(japanese)) {
        print(to_, "%s\n", text);
        std::fflush(to_);
    }
    show();
}

void terminal_progress::set_bytes_left(std::uint64_t bytes) {
    // Figures under the read-back's status count what is left of the piece
    // being read back; a figure that goes up starts a piece (a backup reads
    // each data file back, a restore its target once).
    std::uint64_t& left = reading_back_ ? check_left_ : copy_left_;
    if (bytes > left) {
        stage_starting_ = true;
        if (reading_back_) {
            checks_before_ += check_first_;
            check_first_ = bytes;
        }
    }
    left = bytes;
    if (stage_starting_) {
        stage_starting_ = false;
        stage_left_[reading_back_] = bytes;
        start_[reading_back_] = std::chrono::steady_clock::now();
    }
    show();
}

std::uint64_t terminal_progress::stage_left() const {
    return reading_back_ ? check_left_ : copy_left_;
}

std::uint64_t terminal_progress::read_back_done() const {
    return checks_before_ + (check_first_ > check_left_ ? check_first_ - check_left_ : 0);
}

std::uint64_t terminal_progress::read_back_whole() const {
    if (reads_back_stored_) {
        // What is not copied yet is taken to pack as what was; once all is,
        // the data files hold what will be read back.
        const std::uint64_t copied = total_ > copy_left_ ? total_ - copy_left_ : 0;
        const double whole = copied == 0 ? 0.0
                             : copy_left_ == 0
                                 ? static_cast<double>(stored_)
                                 : static_cast<double>(stored_) * static_cast<double>(total_) /
                                       static_cast<double>(copied);
        return std::max(static_cast<std::uint64_t>(whole), read_back_done() + check_left_);
    }
    // A read-back after the writes (read_back_ given) is the run's last
    // share, as large as its first figure says once it began.
    if (read_back_ == 0) return 0;
    return check_first_ != 0 ? checks_before_ + check_first_ : read_back_;
}

std::uint64_t terminal_progress::run_bytes() const {
    return total_ + read_back_whole();
}

double terminal_progress::fraction() const {
    const std::uint64_t whole = run_bytes();
    std::uint64_t done = total_ > copy_left_ ? total_ - copy_left_ : 0;
    if (reads_back_stored_ || read_back_ != 0) done += read_back_done();
    const double f = whole > 0 ? static_cast<double>(done) / static_cast<double>(whole) : 1.0;
    // A backup reads its last file back after the last sector: not done
    // until it is.
    return f < 0.99 ? f : 0.99;
}

double terminal_progress::seconds_left() const {
    const double rate = bytes_per_second();
    if (rate <= 0) return -1;
    const std::uint64_t whole = read_back_whole();
    const std::uint64_t checks = whole - std::min(whole, read_back_done());
    return static_cast<double>(copy_left_ + checks) / rate;
}

progress_fields terminal_progress::fields() const {
    progress_fields f;
    char text[128];
    std::snprintf(text, sizeof text, "%3d%%", static_cast<int>(100 * fraction_));
    f.percent = text;
    // The amount of the current stage, at the width of its largest figure.
    const std::uint64_t whole = reading_back_ && check_first_ != 0 ? check_first_ : total_;
    const std::uint64_t left = reading_back_ && check_first_ != 0 ? check_left_ : copy_left_;
    const std::uint64_t done = whole > left ? whole - left : 0;
    char done_mb[kGroupedTextSize], whole_mb[kGroupedTextSize];
    format_uint64_grouped(done_mb, done / 1000000);
    format_uint64_grouped(whole_mb, whole / 1000000);
    const int width = static_cast<int>(std::strlen(whole_mb));
    std::snprintf(text, sizeof text, "%*s/%s MB", width, done_mb, whole_mb);
    f.amount = text;
    std::snprintf(text, sizeof text, "%6.1f MB/s", bytes_per_second() / 1e6);
    f.rate = text;
    std::snprintf(text, sizeof text, localized("あと %s"), "00:00:00");
    const int left_width = display_width(text);
    const double seconds = seconds_left();
    text[0] = '\0';
    if (seconds >= 0 && fraction_ < 1.0)
        std::snprintf(text, sizeof text, localized("あと %s"), clock_text(seconds).c_str());
    f.left = text;
    f.left.append(static_cast<std::size_t>(std::max(0, left_width - display_width(text))), ' ');
    f.status = status_;
    return f;
}

void terminal_progress::show() {
    if (style_ == progress_style::quiet) return;
    const double f = fraction();
    if (f > fraction_) fraction_ = f;
    switch (style_) {
        case progress_style::bar:
            return draw();
        case progress_style::lines:
            return print_line();
        case progress_style::json:
            return print_json();
        case progress_style::quiet:
            return;
    }
}

// Without a terminal: a line at every 10% of the run, so a log shows where a
// long job is without carriage returns.
void terminal_progress::print_line() {
    const int decile = static_cast<int>(10 * fraction_ + 1e-9);
    if (decile <= deciles_shown_) return;
    deciles_shown_ = decile;
    const progress_fields f = fields();
    std::string line = f.percent + "  " + f.amount + "  " + f.rate + "  " + f.left;
    while (line.back() == ' ') line.pop_back();
    print(to_, "%s\n", line.c_str());
    std::fflush(to_);
}

void terminal_progress::print_json() {
    const int percent = static_cast<int>(100 * fraction_);
    if (percent == percent_shown_ && !stage_starting_) return;
    percent_shown_ = percent;
    const double seconds = seconds_left();
    const std::uint64_t whole = run_bytes();
    print(to_,
          "{\"stage\":%s,\"percent\":%d,\"done_bytes\":%llu,\"total_bytes\":%llu,"
          "\"bytes_per_second\":%.0f,\"seconds_left\":%.0f}\n",
          json_quoted(status_).c_str(), percent,
          static_cast<unsigned long long>(static_cast<double>(whole) * fraction_),
          static_cast<unsigned long long>(whole), bytes_per_second(), seconds < 0 ? -1 : seconds);
    std::fflush(to_);
}

void terminal_progress::complete() {
    copy_left_ = 0;
    check_left_ = 0;
    fraction_ = 1.0;
    if (style_ == progress_style::bar) draw();
    if (style_ == progress_style::lines && deciles_shown_ < 10) {
        deciles_shown_ = 9;
        print_line();
    }
    if (style_ == progress_style::json) {
        percent_shown_ = -1;
        print_json();
    }
}

double terminal_progress::bytes_per_second() const {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_[reading_back_])
            .count();
    const std::uint64_t left = stage_left();
    const std::uint64_t from = stage_left_[reading_back_];
    const std::uint64_t done = from > left ? from - left : 0;
    return seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
}

void terminal_progress::draw() {
    const std::string line = fit_progress_line(terminal_columns(to_), fraction_, fields());
    // Back to the line's start and clear it (not a text to translate).
    constexpr char kClearLine[] = {'\r', 0x1B, '[', 'K', '\0'};
    std::fputs(kClearLine, to_);
    std::fputs(line.c_str(), to_);
    std::fflush(to_);
    line_open_ = true;
}

void terminal_progress::block_damaged(const damaged_block& where) {
    finish_line();
    const char* reason = where.result < 0 ? block_failure_reason(where.result) : nullptr;
    char sector[kGroupedTextSize];
    format_uint64_grouped(sector, where.first_sector);
    print_message(to_,
                  KIRODA_DATA_FILE_NAME_FORMAT
                  " の %d 番目のブロック (セクタ %s から) は検査に通りません: %s。"
                  "バックアップデータはそこで壊れています",
                  where.file_number, where.block_in_file, sector,
                  localized(reason != nullptr ? reason : "ブロックの長さが正しくありません"));
}

void terminal_progress::finish_line() {
    if (line_open_) {
        std::fputc('\n', to_);
        std::fflush(to_);
        line_open_ = false;
    }
}

}  // namespace kiroda::cli
