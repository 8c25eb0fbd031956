// What the backup, verify and restore commands share: running an engine
// under a terminal progress with the program's messages on standard error,
// and turning its result into krdtool's exit status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#include "cli/output.h"
#include "cli/terminal_progress.h"
#include "engine/progress.h"

namespace kiroda::cli {

struct engine_outcome {
    int result;       // the engine's result
    int exit_status;  // kExitDone, kExitFailed or kExitStopped
    double seconds;
};

// The engines' worker threads: KIRODA_THREADS when it is a whole number
// from 1 to 256 (to measure or to spare a shared machine), otherwise 0,
// one per core.
unsigned worker_threads_from_environment();

// How a run shows itself: -q (only errors and the summary),
// --progress=json, and what it reads back after its writes.
struct run_display {
    bool quiet = false;
    bool json = false;
    std::uint64_t read_back_bytes = 0;
    bool reads_back_stored = false;  // each data file, as a backup does
};

// The progress style for `err`: as asked, else a bar on a terminal and lines
// otherwise.
progress_style style_for(std::FILE* err, const run_display& display);

// With --json (`json`), a run that did not finish says so on `out` too,
// as {"result":"failed"|"stopped","exit_status":N}; `status` is returned.
int with_json_outcome(bool json, int status, std::FILE* out);

// `yes`: --yes answers the engine's questions.
[[nodiscard]] engine_outcome run_engine(std::FILE* err, std::uint64_t total_bytes, bool yes,
                                        const std::function<int(progress&)>& engine,
                                        const run_display& display = {});

}  // namespace kiroda::cli
