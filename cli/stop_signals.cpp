#include "cli/stop_signals.h"

#include <signal.h>

#include <atomic>

namespace kiroda::cli {

namespace {

// Lock-free atomics: safe to touch in a signal handler.
std::atomic<progress*> g_watched{nullptr};
std::atomic<bool> g_signalled{false};
std::atomic<bool> g_installed{false};

extern "C" void on_stop_signal(int number) {
    g_signalled.store(true);
    if (progress* p = g_watched.load()) p->run_flag.store(0);
    if (number == SIGINT) {
        struct sigaction plain {};
        plain.sa_handler = SIG_DFL;
        sigaction(SIGINT, &plain, nullptr);
    }
}

}  // namespace

void install_stop_signals() {
    if (g_installed.exchange(true)) return;
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a read waiting at a question returns
    for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

bool stop_signalled() {
    return g_signalled.load();
}

void watch_for_stop(progress* p) {
    g_watched.store(p);
    if (p != nullptr && g_signalled.load()) p->run_flag.store(0);
}

void reset_stop_signals_for_tests() {
    g_signalled.store(false);
    g_installed.store(false);
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &plain, nullptr);
}

}  // namespace kiroda::cli
