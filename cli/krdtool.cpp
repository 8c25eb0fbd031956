// krdtool: backs up, tests and restores disks and image files with KIRODA
// backup sets, and shows what the wizard would think of a disk.
#include <cstdio>

#include "cli/command.h"
#include "cli/dispatch.h"
#include "cli/krdtool_commands.h"
#include "cli/message_catalogue.h"
#include "cli/output.h"

int main(int argc, char** argv) {
    kiroda::cli::use_language_of_environment();
    const int status =
        kiroda::cli::dispatch(kiroda::cli::krdtool_commands(), argc, argv, stdout, stderr);
    // Results a script reads (the JSON above all) must not end short on a
    // full disk or a closed pipe while the status says all went well.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        kiroda::cli::print_message(stderr, "krdtool: 結果を標準出力に書き込めませんでした。");
        return status == kiroda::cli::kExitDone ? kiroda::cli::kExitFailed : status;
    }
    return status;
}
