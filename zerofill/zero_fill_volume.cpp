#include "zerofill/zero_fill_volume.h"

#include "util/path_query.h"
#include "zerofill/temp_files.h"

namespace kiroda {

namespace {
bool same_ignoring_ascii_case(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        const auto ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        const auto la = (ca >= 'A' && ca <= 'Z') ? ca + 32 : ca;
        const auto lb = (cb >= 'A' && cb <= 'Z') ? cb + 32 : cb;
        if (la != lb) return false;
    }
    return *a == *b;
}
}  // namespace

int file_system_kind_of_name(const char* name) {
    if (same_ignoring_ascii_case(name, "NTFS")) return kFileSystemNtfs;
    if (same_ignoring_ascii_case(name, "FAT")) return kFileSystemFat;
    if (same_ignoring_ascii_case(name, "FAT32")) return kFileSystemFat32;
    return kFileSystemOther;
}

bool zero_fill_volume::is_folder(const char* path) {
    return is_directory(path);
}
bool zero_fill_volume::make_folder(const char* path) {
    return kiroda::make_folder(path);
}
std::FILE* zero_fill_volume::create_new_file(const char* path) {
    return kiroda::create_new_file(path);
}

std::size_t zero_fill_volume::write_chunk(std::FILE* file, const char* bytes, std::size_t size) {
    const std::size_t written = std::fwrite(bytes, 1, size, file);
    // A write the stream still holds has not reached the volume; a failure
    // there (a full volume) must count now, not vanish in the final close.
    if (std::fflush(file) != 0) return 0;
    return written;
}

bool zero_fill_volume::remove_file(const char* path) {
    return delete_file(path);
}
bool zero_fill_volume::remove_folder(const char* path) {
    return remove_empty_folder(path);
}

}  // namespace kiroda
