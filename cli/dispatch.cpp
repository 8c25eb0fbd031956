#include "cli/dispatch.h"

#include <cstring>
#include <string>
#include <vector>

#include "cli/output.h"
#include "cli/stop_signals.h"
#include "cli/terminal_progress.h"
#include "ui/translation.h"

namespace kiroda::cli {

void print_usage(std::span<const command> commands, std::FILE* to) {
    print(to, "使い方: krdtool COMMAND [ARGS...]\n");
    for (const command& c : commands) {
        print(to, "  krdtool %s %s\n      %s\n", c.name, c.arguments, localized(c.summary));
    }
    print(to, "終了コード: 0 完了, 1 失敗, 2 使い方の誤り, 3 中止\n");
}

int dispatch(std::span<const command> commands, int argc, char** argv, std::FILE* out,
             std::FILE* err) {
    if (argc < 2) {
        print_usage(commands, err);
        return kExitUsage;
    }
    const char* name = argv[1];
    if (std::strcmp(name, "help") == 0 || std::strcmp(name, "-h") == 0 ||
        std::strcmp(name, "--help") == 0) {
        print_usage(commands, out);
        return kExitDone;
    }
    if (std::strcmp(name, "--version") == 0) {
        if (argc > 2) {
            print(err, "krdtool: --version には引数を付けません: %s\n", argv[2]);
            print_usage(commands, err);
            return kExitUsage;
        }
        std::fputs("krdtool " KIRODA_CLI_VERSION "\n", out);
        return kExitDone;
    }
    for (const command& c : commands) {
        if (std::strcmp(name, c.name) == 0) {
            // COMMAND --help (or -h) anywhere before "--" shows the command's help.
            for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
                if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
                    print(out, "使い方: krdtool %s %s\n  %s\n%s", c.name, c.arguments,
                          localized(c.summary), localized(c.help));
                    print(out, "終了コード: 0 完了, 1 失敗, 2 使い方の誤り, 3 中止\n");
                    return kExitDone;
                }
            }
            install_stop_signals();
            int status = c.run(std::vector<std::string>(argv + 2, argv + argc), out, err);
            // A stop signal that ended the command at a question, or before
            // its work began, is a stop, not a failure.
            if (status == kExitFailed && stop_signalled()) {
                print(err, "中止しました。\n");
                status = kExitStopped;
            }
            return status;
        }
    }
    print(err, "krdtool: 不明なコマンドです: %s\n", name);
    print_usage(commands, err);
    return kExitUsage;
}

}  // namespace kiroda::cli
