#include <windows.h>

#include <string>

#include "app/program_file.h"

namespace kiroda {

namespace {

constexpr DWORD kModulePathCapacity = 1024;

struct program_paths {
    std::string file;
    std::string folder;
};

const program_paths& paths() {
    static const program_paths p = [] {
        char path[kModulePathCapacity] = "";
        const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
        // A result that fills the buffer is a cut path: it names another file.
        if (n == 0 || n >= sizeof path) first_command_word(GetCommandLineA(), path, sizeof path);
        char folder[kModulePathCapacity] = "";
        program_folder_of(path, folder, sizeof folder);
        return program_paths{path, folder};
    }();
    return p;
}

}  // namespace

const char* program_file_path() {
    return paths().file.c_str();
}
const char* program_folder() {
    return paths().folder.c_str();
}

}  // namespace kiroda
