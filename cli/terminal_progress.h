// krdtool's progress: a bar on a terminal (MB done, MB left, MB/s), plain
// lines otherwise, and Ctrl-C as the stop button.
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

// The bar's line as it fits `columns` (a column left free): the bar, the
// numbers and the status; without the bar when that is too long, and the
// numbers and status cut at the edge when even they are.
std::string fit_progress_line(int columns, const std::string& bar, const std::string& numbers,
                              const std::string& status);

class terminal_progress : public progress {
  public:
    // `total_bytes`: the size of the job, for the bar. `bar`: draw a bar
    // (normally: `to` is a terminal).
    terminal_progress(std::FILE* to, std::uint64_t total_bytes, bool bar);
    ~terminal_progress() override;
    terminal_progress(const terminal_progress&) = delete;
    terminal_progress& operator=(const terminal_progress&) = delete;

    void set_status(const char* text) override;
    void set_detail(const char* text) override;
    void set_button(const char*) override {}
    void set_bytes_left(std::uint64_t bytes) override;
    window_handle owner() const override { return nullptr; }

    // Ends the bar's line; called before anything else is printed.
    void finish_line();
    // The job is done: the bar, or the plain lines, end at 100%.
    void complete();
    // True when Ctrl-C asked for the stop.
    bool stopped_by_user() const { return !running(); }
    // Bytes per second over the whole run so far.
    double bytes_per_second() const;

  private:
    void draw();
    void print_line(int percent);

    std::FILE* to_;
    std::uint64_t total_;
    bool bar_;
    bool line_open_ = false;
    int deciles_shown_ = 0;  // plain lines: the 10% steps printed since the figure last rose
    std::string status_;
    std::vector<std::string> statuses_seen_;  // each begins a stage, and is printed, once
    std::uint64_t left_;
    // The rate is the current stage's: from its first figure of bytes left
    // (a resumed backup starts far from 0, a read-back starts over). A stage
    // begins with a status not seen before, or where the figure goes up.
    bool stage_starting_ = true;
    std::uint64_t stage_left_ = 0;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace kiroda::cli
