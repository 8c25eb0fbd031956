#include "disk/block_devices_posix.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace kiroda {

namespace {

// The first line of a small sysfs file as a number; false when absent.
bool read_number(const std::string& path, unsigned long long* value) {
    std::ifstream in(path);
    unsigned long long v = 0;
    if (!(in >> v)) return false;
    *value = v;
    return true;
}

}  // namespace

int read_removable_flag(const std::string& device_dir) {
    unsigned long long flag = 0;
    if (read_number(device_dir + "/removable", &flag) ||
        read_number(device_dir + "/../removable", &flag)) {
        return flag != 0 ? 1 : 0;
    }
    return -1;
}

std::string sysfs_device_dir(unsigned major, unsigned minor) {
    char path[64];
    std::snprintf(path, sizeof path, "/sys/dev/block/%u:%u", major, minor);
    return path;
}

std::vector<std::string> list_block_devices(const std::string& sys_block_root,
                                            const std::string& dev_root) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(sys_block_root, error)) {
        const std::string name = item.path().filename().string();
        unsigned long long size = 0;  // in 512-byte units, whatever the sector size
        if (!read_number(item.path().string() + "/size", &size) || size == 0) continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const auto& name : names) paths.push_back(dev_root + "/" + name);
    return paths;
}

}  // namespace kiroda
