#include "cli/device_of_folder.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>

namespace kiroda::cli {

namespace {

namespace fs = std::filesystem;

bool read_dev(const fs::path& file, dev_t* dev) {
    std::ifstream in(file);
    unsigned maj = 0, min = 0;
    char colon = 0;
    if (!(in >> maj >> colon >> min) || colon != ':') return false;
    *dev = makedev(maj, min);
    return true;
}

std::string first_line(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// Adds the device whose sysfs folder is `node` and everything below it.
void walk(const fs::path& node, device_stack& stack, std::set<std::string>& seen) {
    std::error_code error;
    if (!seen.insert(node.string()).second) return;
    dev_t dev{};
    if (read_dev(node / "dev", &dev)) stack.devices.insert(dev);
    // A loop device rests on its image file.
    const std::string backing = first_line(node / "loop" / "backing_file");
    if (!backing.empty()) stack.loop_files.insert(backing);
    // A partition rests on its disk.
    if (fs::exists(node / "partition", error)) walk(node.parent_path(), stack, seen);
    // A mapped or RAID device rests on its slaves.
    for (const auto& slave : fs::directory_iterator(node / "slaves", error)) {
        const fs::path real = fs::canonical(slave.path(), error);
        if (!error) walk(real, stack, seen);
    }
}

// The same file, by device and inode (a path may be spelled many ways).
bool same_file(const std::string& a, const struct stat& b) {
    struct stat sa {};
    return ::stat(a.c_str(), &sa) == 0 && sa.st_dev == b.st_dev && sa.st_ino == b.st_ino;
}

}  // namespace

device_stack stack_under(dev_t dev, const std::string& sys_root) {
    device_stack stack;
    stack.devices.insert(dev);
    std::error_code error;
    const fs::path node =
        fs::canonical(fs::path(sys_root) / "dev" / "block" /
                          (std::to_string(major(dev)) + ":" + std::to_string(minor(dev))),
                      error);
    std::set<std::string> seen;
    if (!error) walk(node, stack, seen);
    return stack;
}

bool folder_depends_on(const std::string& folder, const std::string& path,
                       const std::string& sys_root) {
    struct stat folder_stat {};
    struct stat path_stat {};
    if (::stat(folder.c_str(), &folder_stat) != 0 || ::stat(path.c_str(), &path_stat) != 0)
        return false;
    return stack_rests_on(stack_under(folder_stat.st_dev, sys_root), path_stat);
}

bool stack_rests_on(const device_stack& stack, const struct stat& path_stat) {
    if (S_ISBLK(path_stat.st_mode)) return stack.devices.count(path_stat.st_rdev) != 0;
    for (const std::string& file : stack.loop_files) {
        if (same_file(file, path_stat)) return true;
    }
    return false;
}

}  // namespace kiroda::cli
