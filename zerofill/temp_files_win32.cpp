#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "zerofill/temp_files.h"

namespace kiroda {

std::FILE* create_new_file(const char* path) {
    // _O_EXCL: a user's file that happens to carry our name is never opened,
    // let alone truncated and deleted.
    const int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) {
        _close(fd);
        DeleteFileA(path);
    }
    return file;
}

bool make_folder(const char* path) {
    return CreateDirectoryA(path, nullptr) != 0;
}
bool delete_file(const char* path) {
    return DeleteFileA(path) != 0;
}
bool remove_empty_folder(const char* path) {
    return RemoveDirectoryA(path) != 0;
}

}  // namespace kiroda
