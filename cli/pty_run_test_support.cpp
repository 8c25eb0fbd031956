#include "cli/pty_run_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace kiroda::cli::test_support {

namespace {

void exec_krdtool(const std::vector<std::string>& args, const terminal_run& how, int out) {
    ::dup2(out, STDOUT_FILENO);
    ::setenv("LANG", how.language.c_str(), 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::setenv("COLUMNS", std::to_string(how.columns).c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(KRDTOOL_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(KRDTOOL_PATH, argv.data());
    ::_exit(127);
}

// Reads both until both end; the typed text goes in once the first
// question is on the screen.
void collect(int screen_fd, int out_fd, int& input_fd, const std::string& typed,
             terminal_result* r) {
    bool typed_in = typed.empty();
    if (typed_in && input_fd != screen_fd) input_fd = (::close(input_fd), -1);
    pollfd fds[2] = {{screen_fd, POLLIN, 0}, {out_fd, POLLIN, 0}};
    int open_count = 2;
    while (open_count > 0 && ::poll(fds, 2, 60000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char piece[4096];
            const ssize_t n = ::read(fds[i].fd, piece, sizeof piece);
            if (n <= 0) {
                fds[i].fd = -1;
                --open_count;
                continue;
            }
            (i == 0 ? r->screen : r->out).append(piece, static_cast<std::size_t>(n));
        }
        // A question ends its line with "] " ([y/N]) or ": " and waits.
        const std::size_t size = r->screen.size();
        const bool asked = size >= 2 && r->screen[size - 1] == ' ' &&
                           (r->screen[size - 2] == ']' || r->screen[size - 2] == ':');
        if (!typed_in && asked) {
            typed_in = ::write(input_fd, typed.data(), typed.size()) >= 0;
            if (input_fd != screen_fd) input_fd = (::close(input_fd), -1);
        }
    }
}

}  // namespace

terminal_result run_krdtool(const std::vector<std::string>& args, const terminal_run& how) {
    terminal_result r;
    int out[2];
    if (::pipe(out) != 0) return r;
    int screen = -1;
    int input = -1;
    pid_t pid = -1;
    if (how.columns > 0) {
        winsize size{};
        size.ws_row = 24;
        size.ws_col = static_cast<unsigned short>(how.columns);
        pid = ::forkpty(&screen, nullptr, nullptr, &size);
        input = screen;
        if (pid == 0) exec_krdtool(args, how, out[1]);
    } else {
        int err[2], in[2];
        if (::pipe(err) != 0 || ::pipe(in) != 0) return r;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(err[1], STDERR_FILENO);
            ::dup2(in[0], STDIN_FILENO);
            exec_krdtool(args, how, out[1]);
        }
        ::close(err[1]);
        ::close(in[0]);
        screen = err[0];
        input = in[1];
    }
    ::close(out[1]);
    collect(screen, out[0], input, how.typed, &r);
    ::close(out[0]);
    if (input != screen && input >= 0) ::close(input);
    ::close(screen);
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
    return r;
}

}  // namespace kiroda::cli::test_support
