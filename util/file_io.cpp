// The file functions every caller uses, over the installed table of
// operations.
#include "util/file_io.h"

#include <atomic>

#include "util/free_space.h"

namespace kiroda {

namespace {

// Null until a program installs a table: the platform's own serves then.
std::atomic<const file_ops*> g_installed{nullptr};

}  // namespace

void install_file_ops(const file_ops* ops) {
    g_installed.store(ops);
}

const file_ops& installed_file_ops() {
    const file_ops* ops = g_installed.load();
    return ops != nullptr ? *ops : platform_file_ops();
}

int open_for_reading(const char* path) {
    return installed_file_ops().open_for_reading(path);
}

int open_for_reading_back(const char* path) {
    return installed_file_ops().open_for_reading_back(path);
}

std::int64_t read_back(int fd, void* buffer, std::size_t size) {
    return installed_file_ops().read_back(fd, buffer, size);
}

void forget_cached_pages(const char* path) {
    installed_file_ops().forget_cached_pages(path);
}

int open_for_writing(const char* path) {
    return installed_file_ops().open_for_writing(path);
}

int open_to_continue(const char* path, std::int64_t keep_bytes) {
    return installed_file_ops().open_to_continue(path, keep_bytes);
}

std::int64_t read_full(int fd, void* buffer, std::size_t size) {
    return installed_file_ops().read_full(fd, buffer, size);
}

std::int64_t write_full(int fd, const void* buffer, std::size_t size) {
    return installed_file_ops().write_full(fd, buffer, size);
}

bool commit_file(int fd) {
    return installed_file_ops().commit_file(fd);
}

end_of_file at_end_of_file(int fd) {
    return installed_file_ops().at_end_of_file(fd);
}

bool skip_forward(int fd, std::int64_t bytes) {
    return installed_file_ops().skip_forward(fd, bytes);
}

std::int64_t file_position(int fd) {
    return installed_file_ops().file_position(fd);
}

bool replace_file(const char* from, const char* to) {
    const file_ops& ops = installed_file_ops();
    return ops.rename_replacing(from, to) && ops.sync_folder_of(to);
}

bool remove_file(const char* path) {
    return installed_file_ops().remove_file(path) != removal::failed;
}

bool sync_folder_of(const char* path) {
    return installed_file_ops().sync_folder_of(path);
}

double get_folder_free_bytes(const char* folder) {
    return installed_file_ops().folder_free_bytes(folder);
}

}  // namespace kiroda
