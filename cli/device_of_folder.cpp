#include "cli/device_of_folder.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>

namespace kiroda::cli {

namespace {

// The whole disk a device number belongs to: a partition's parent in sysfs.
dev_t whole_disk(dev_t dev) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path node = fs::path("/sys/dev/block") /
                          (std::to_string(major(dev)) + ":" + std::to_string(minor(dev)));
    const fs::path real = fs::canonical(node, error);
    if (error || !fs::exists(real / "partition")) return dev;
    std::ifstream parent(real.parent_path() / "dev");
    unsigned maj = 0, min = 0;
    char colon = 0;
    if (parent >> maj >> colon >> min && colon == ':') return makedev(maj, min);
    return dev;
}

}  // namespace

bool folder_on_device(const std::string& folder, const std::string& device) {
    struct stat device_stat {};
    struct stat folder_stat {};
    if (::stat(device.c_str(), &device_stat) != 0 || !S_ISBLK(device_stat.st_mode)) return false;
    if (::stat(folder.c_str(), &folder_stat) != 0) return false;
    return whole_disk(folder_stat.st_dev) == whole_disk(device_stat.st_rdev);
}

}  // namespace kiroda::cli
