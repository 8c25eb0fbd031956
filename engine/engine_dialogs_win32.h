// The progress dialogs of the three engines (template KR2): each runs its
// engine on a worker thread with a 40,000,000-byte stack and ends with the
// engine's result. The stop button and Esc request a stop, which the engine
// sees between blocks.
#pragma once

#include <windows.h>

#include <cstdint>

namespace kiroda {

// 1 backed up; -1 failed or stopped.
int run_backup_progress_dialog(HINSTANCE instance, HWND owner, int source_disk, const char* folder,
                               std::uint64_t backup_size, bool resume = false);
// 1 passed; 0 stopped; -1 failed.
int run_verify_dialog(HINSTANCE instance, HWND owner, const char* folder,
                      std::uint64_t backup_bytes);
// 1 restored; 0 stopped; -1 failed.
int run_restore_dialog(HINSTANCE instance, HWND owner, int target_disk, const char* folder,
                       std::uint64_t backup_bytes);

}  // namespace kiroda
