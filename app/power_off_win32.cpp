// The real power-off; linked into KIRODA.EXE only.
#include <windows.h>

#include "app/power_off.h"

namespace kiroda {

void power_off(unsigned flags) {
    enable_privilege("SeShutdownPrivilege");
    ExitWindowsEx(flags, 0);
}

}  // namespace kiroda
