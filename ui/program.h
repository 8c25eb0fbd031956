// Program-wide values: version and caption.
#pragma once

namespace kiroda {

// Written into every header file and compared with it when a set is opened.
constexpr double kProgramVersion = 1.14;

// The caption of every dialog and message box, in the program's text
// encoding (Shift-JIS on Windows, UTF-8 elsewhere):
// "KIRODA V1.14α Whole-Disk Backup Jun 10 2017".
const char* program_caption();

// The shutdown-at-end flag: set by the disk dialogs' check box and by a
// confirmed restore, read by start-up when the command dialog has ended.
// Only the value 1 counts as set. Used on the UI thread only.
extern int g_shutdown_at_end;

// The same caption as Shift-JIS bytes, as the header file stores it on every
// platform. Shorter than 64 bytes with its NUL.
const char* program_caption_sjis();

}  // namespace kiroda
