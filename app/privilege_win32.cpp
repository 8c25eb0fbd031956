#include <windows.h>

#include "app/power_off.h"

namespace kiroda {

namespace {
struct token_handle {
    HANDLE h = nullptr;
    ~token_handle() {
        if (h != nullptr) CloseHandle(h);
    }
};
}  // namespace

unsigned long enable_privilege(const char* name) {
    token_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token.h)) {
        return GetLastError();
    }
    LUID luid{};
    if (!LookupPrivilegeValueA(nullptr, name, &luid)) return GetLastError();
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Luid = luid;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES previous{};
    DWORD previous_size = 0;
    // The call reports success even when the token lacks the privilege; only
    // the last error (ERROR_NOT_ALL_ASSIGNED) tells, so clear it first.
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token.h, FALSE, &wanted, sizeof previous, &previous, &previous_size);
    return GetLastError();
}

}  // namespace kiroda
