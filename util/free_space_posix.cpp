#include <sys/statvfs.h>

#include "util/free_space.h"

namespace kiroda {

double platform_folder_free_bytes(const char* folder) {
    struct statvfs st {};
    if (::statvfs(folder[0] != '\0' ? folder : ".", &st) != 0) return -1.0;
    return static_cast<double>(st.f_bavail) * static_cast<double>(st.f_frsize);
}

}  // namespace kiroda
