#include "cli/engine_run.h"

#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdlib>

#include "cli/command.h"
#include "cli/json_writer.h"
#include "cli/output.h"
#include "cli/terminal_messages.h"
#include "util/system_error.h"
#include "cli/terminal_progress.h"

namespace kiroda::cli {

unsigned worker_threads_from_environment() {
    const char* text = std::getenv("KIRODA_THREADS");
    if (text == nullptr || *text == '\0') return 0;
    char* end = nullptr;
    const unsigned long n = std::strtoul(text, &end, 10);
    return *end == '\0' && n >= 1 && n <= 256 ? static_cast<unsigned>(n) : 0;
}

int with_json_outcome(bool json, int status, std::FILE* out) {
    if (!json || status == kExitDone || status == kExitUsage) return status;
    json_writer j(out);
    j.begin_object();
    j.text("result", status == kExitStopped ? "stopped" : "failed");
    j.number("exit_status", static_cast<std::uint64_t>(status));
    j.end_object();
    return status;
}

progress_style style_for(std::FILE* err, const run_display& display) {
    if (display.quiet) return progress_style::quiet;
    if (display.json) return progress_style::json;
    return err == stderr && ::isatty(STDERR_FILENO) == 1 ? progress_style::bar
                                                         : progress_style::lines;
}

engine_outcome run_engine(std::FILE* err, std::uint64_t total_bytes, bool yes,
                          const std::function<int(progress&)>& engine, const run_display& display) {
    terminal_progress progress(err, total_bytes, style_for(err, display), display.read_back_bytes,
                               display.reads_back_stored);
    terminal_messages messages(
        err, answers_for(err, yes),
        [](void* p) { static_cast<terminal_progress*>(p)->finish_line(); }, &progress);
    take_system_error();  // a reason noted before the engine is none of its failures
    const auto start = std::chrono::steady_clock::now();
    const int result = engine(progress);
    if (result == kEngineDone) progress.complete();
    progress.finish_line();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int status = result == kEngineDone ? kExitDone : kExitFailed;
    // The backup engine reports a stop as a failure; Ctrl-C is still a stop.
    if (result != kEngineDone && progress.stopped_by_user()) status = kExitStopped;
    if (status == kExitStopped) print_message(err, "中止しました。");
    return {result, status, seconds};
}

}  // namespace kiroda::cli
