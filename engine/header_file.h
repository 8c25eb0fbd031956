// The header file as the wizard and krdtool read and write it: the silent
// reader and writer of format/header_file.h, and each failure told in its
// own message box.
#pragma once

#include <cstdint>

#include "format/header_file.h"
#include "ui/message.h"

namespace kiroda {

// Writes KRD00000.BIN into `folder` (no trailing separator needed). True on
// success, with the digest of the bytes written in `written` (when given),
// for the read-back; false after a failure message owned by `owner`.
[[nodiscard]] bool write_header_file(window_handle owner, std::int32_t source_disk,
                                     const char* folder, std::uint64_t backup_bytes,
                                     digest128* written = nullptr);

// Reads and checks KRD00000.BIN of `folder`, as load_header_file does. Every
// failure has shown its message before it returns.
header_read read_header_file(window_handle owner, const char* folder, backup_header* header);

// After a successful read: kIdOk when the set's version is the program's or
// the user accepts the difference, anything else to abandon.
int confirm_header_version(window_handle owner, const backup_header& header);

}  // namespace kiroda
