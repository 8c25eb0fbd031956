// The running program's own file, which the backup flow copies beside every
// set so that the set can be restored from the medium that holds it.
#pragma once

#include <cstddef>

namespace kiroda {

// The first word of a command line. Blanks (spaces, tabs) separate words; a
// word that begins with a double or a single quote runs to the next quote of
// the same kind (or the end), without the quotes. False when the word does
// not fit `capacity` or there is none.
bool first_command_word(const char* command_line, char* output, std::size_t capacity);

// The folder of a program path, with its trailing backslash
// ("C:\TOOLS\KIRODA.EXE" gives "C:\TOOLS\"); the search steps over
// Shift-JIS double-byte characters. Empty when the path has no backslash.
void program_folder_of(const char* path, char* output, std::size_t capacity);

// Windows only: the full path of the running program file (GetModuleFileNameA;
// the first word of the command line when that fails or comes back cut), and
// its folder with a trailing backslash. Worked out once, on first use.
const char* program_file_path();
const char* program_folder();

}  // namespace kiroda
