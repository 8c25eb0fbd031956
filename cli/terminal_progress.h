// krdtool's progress: one measure for the whole run (the read-back counts in
// its percentage and its time left), a bar on a terminal whose fields drop
// in a fixed order as the width shrinks, a line every 10% otherwise, JSON
// lines for scripts, nothing with -q; and Ctrl-C as the stop button.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/progress.h"

namespace kiroda::cli {

// The width of the terminal `to` writes to, in columns; 80 when it cannot be
// asked (not a terminal, no size).
int terminal_columns(std::FILE* to);

// Columns `text` (UTF-8) takes on a terminal.
int display_width(const std::string& text);

// How progress is shown: a bar (a terminal), plain lines (a pipe or a log),
// JSON objects one per line (--progress=json), or not at all (-q).
enum class progress_style { bar, lines, json, quiet };

// The parts of the bar's line, each already at its fixed width.
struct progress_fields {
    std::string percent;  // " 42%"
    std::string amount;   // "1,024/3,072 MB"
    std::string rate;     // " 310.5 MB/s"
    std::string left;     // "0:00:07 left", blank until there is a rate
    std::string status;   // the stage
};

// The bar's line in `columns` (a column left free): the fields in their
// places, the bar dropped first, then the rate, the time left, the stage,
// the amount; a field is shown whole or not at all.
std::string fit_progress_line(int columns, double fraction, const progress_fields& fields);

// "1:02:03": hours, minutes and seconds.
std::string clock_text(double seconds);

class terminal_progress : public progress {
  public:
    // `total_bytes`: what the run writes or reads; `read_back_bytes`: what
    // it reads back after (an estimate: the read-back's first figure says);
    // `reads_back_stored`: it reads back what its data files hold (a
    // backup), a share learned as they grow.
    terminal_progress(std::FILE* to, std::uint64_t total_bytes, progress_style style,
                      std::uint64_t read_back_bytes = 0, bool reads_back_stored = false);
    ~terminal_progress() override;
    terminal_progress(const terminal_progress&) = delete;
    terminal_progress& operator=(const terminal_progress&) = delete;

    void set_status(const char* text) override;
    void set_detail(const char*) override {}  // its figure comes through set_bytes_left
    void set_button(const char*) override {}
    void set_bytes_left(std::uint64_t bytes) override;
    void set_bytes_stored(std::uint64_t bytes) override { stored_ = bytes; }
    // Names the block, its first sector and what is wrong with it, before
    // the engine's message about its file.
    void block_damaged(const damaged_block& where) override;
    window_handle owner() const override { return nullptr; }

    // Ends the bar's line; called before anything else is printed.
    void finish_line();
    // The job is done: the bar, or the plain lines, end at 100%.
    void complete();
    // True when Ctrl-C asked for the stop.
    bool stopped_by_user() const { return !running(); }
    // Bytes per second of the current stage so far.
    double bytes_per_second() const;

  private:
    void show();
    void draw();
    void print_line();
    void print_json();
    double fraction() const;
    progress_fields fields() const;
    double seconds_left() const;
    std::uint64_t stage_left() const;       // the figure of the current stage
    std::uint64_t run_bytes() const;        // the whole run's bytes
    std::uint64_t read_back_whole() const;  // the read-back's share of them
    std::uint64_t read_back_done() const;   // what of it is done

    std::FILE* to_;
    std::uint64_t total_;
    std::uint64_t read_back_;   // the read-back's share of the run
    bool reads_back_stored_;    // a share as large as the data files
    std::uint64_t stored_ = 0;  // what the data files hold so far
    progress_style style_;
    bool line_open_ = false;
    int deciles_shown_ = 0;
    int percent_shown_ = -1;  // JSON: the last percent written
    double fraction_ = 0;     // never goes back
    std::string status_;
    std::vector<std::string> statuses_seen_;  // each begins a stage, and is printed, once
    bool reading_back_ = false;               // under the read-back's status
    std::uint64_t check_first_ = 0;           // the read-back piece's first figure
    std::uint64_t checks_before_ = 0;         // the pieces read back before it
    std::uint64_t check_left_ = 0;            // what is left of it
    std::uint64_t copy_left_;                 // what the writes (or reads) have left
    bool stage_starting_ = true;
    // Where the current stage's rate is measured from: the writes' [0] and
    // the read-back's [1] apart, as a backup goes from one to the other.
    std::uint64_t stage_left_[2] = {};
    std::chrono::steady_clock::time_point start_[2];
};

}  // namespace kiroda::cli
