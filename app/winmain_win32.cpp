// KIRODA.EXE's entry point. The program reads no command line and no
// environment; every outcome ends with exit code 0.
#include <windows.h>

#include "app/startup_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*command_line*/,
                   int /*show*/) {
    return kiroda::run_program(instance);
}
