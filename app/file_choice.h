// The path arithmetic of the two file dialogs: the name the backup folder
// dialog proposes, and the folder of the name the user accepted.
#pragma once

#include <cstddef>

namespace kiroda {

// The header file name the dialogs propose: KRD00000.BIN in `folder`, or
// KRD00000.BIN alone (in the dialog's own folder) when `folder` is empty or
// the name would not fit `capacity`.
void proposed_header_path(const char* folder, char* output, std::size_t capacity);

// The folder of the name a save dialog returned, cut where the file name
// begins (`file_offset`, as the dialog reports it): at the backslash before
// it when there is one ("D:\BK\KRD00000.BIN" gives "D:\BK", "D:\KRD00000.BIN"
// gives "D:"), else at the name itself. False when the offset lies outside
// the path or the folder does not fit `capacity`.
bool folder_of_saved_name(const char* path, std::size_t file_offset, char* output,
                          std::size_t capacity);

}  // namespace kiroda
