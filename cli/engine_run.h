// What the backup, verify and restore commands share: running an engine
// under a terminal progress with the program's messages on standard error,
// and turning its result into krdtool's exit status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#include "engine/progress.h"

namespace kiroda::cli {

struct engine_outcome {
    int result;          // the engine's result
    int exit_status;     // kExitDone, kExitFailed or kExitStopped
    double seconds;
};

engine_outcome run_engine(std::FILE* err, std::uint64_t total_bytes,
                          const std::function<int(progress&)>& engine);

// Shows a message of krdtool's own (not one of the engines') on `err`.
void say(std::FILE* err, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace kiroda::cli
