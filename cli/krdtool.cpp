// krdtool: backs up, tests and restores disks and image files with KIRODA
// backup sets, and shows what the wizard would think of a disk.
#include <cstdio>

#include "cli/dispatch.h"
#include "cli/krdtool_commands.h"
#include "cli/message_catalogue.h"

int main(int argc, char** argv) {
    kiroda::cli::use_language_of_environment();
    return kiroda::cli::dispatch(kiroda::cli::krdtool_commands(), argc, argv, stdout, stderr);
}
