#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "zerofill/temp_files.h"

namespace kiroda {

std::FILE* create_new_file(const char* path) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        ::unlink(path);
    }
    return file;
}

bool make_folder(const char* path) {
    return ::mkdir(path, 0755) == 0;
}
bool delete_file(const char* path) {
    return ::unlink(path) == 0;
}
bool remove_empty_folder(const char* path) {
    return ::rmdir(path) == 0;
}

}  // namespace kiroda
