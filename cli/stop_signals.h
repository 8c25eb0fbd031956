// Ctrl-C (SIGINT), SIGTERM and SIGHUP are krdtool's stop button: the job
// stops between blocks, as the wizard's does, with its message and exit 3.
// A stop that comes at a question, or before the work has begun, stops too.
// A second Ctrl-C ends the program at once.
#pragma once

#include "engine/progress.h"

namespace kiroda::cli {

// Installs the handlers (once; later calls do nothing). Reads and writes
// they interrupt are not restarted, so a question waiting for input returns.
void install_stop_signals();

// True once a stop signal has arrived.
bool stop_signalled();

// The progress whose run flag a stop signal clears; nullptr for none. A stop
// that came before is passed on at once.
void watch_for_stop(progress* p);

// Forgets a stop (tests that raise the signals themselves).
void reset_stop_signals_for_tests();

}  // namespace kiroda::cli
