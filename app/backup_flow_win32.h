// The backup command flow with its Windows steps: the program copy by
// CopyFileA, the NULLPASS dialog for each volume of the source disk when the
// zero fill is on, and the backup under its KR2 progress dialog.
#pragma once

#include <windows.h>

#include "app/backup_flow.h"

namespace kiroda {

// 1 backed up; 0 the user did not confirm; -1 refused, failed or stopped.
// Every message box and dialog is owned by `owner`.
outcome run_backup_with_dialogs(HINSTANCE instance, HWND owner, const backup_request& request);

}  // namespace kiroda
