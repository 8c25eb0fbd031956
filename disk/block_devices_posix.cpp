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

// The first line of a small sysfs file, its padding (ATA fields are padded
// with spaces) trimmed; "" when absent.
std::string read_field(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

std::string udev_property(const std::string& udev_data, const std::string& key) {
    std::ifstream in(udev_data);
    const std::string prefix = "E:" + key + "=";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    }
    return "";
}

// The bus a disk hangs on, from where the kernel put it and what it is.
std::string transport_of(const std::filesystem::path& real, const std::string& name) {
    const std::string path = real.string();
    if (path.find("/usb") != std::string::npos) return "usb";
    if (name.rfind("nvme", 0) == 0) return "nvme";
    if (name.rfind("mmcblk", 0) == 0) return "mmc";
    if (path.find("/virtio") != std::string::npos) return "virtio";
    if (path.find("/ata") != std::string::npos) return "sata";
    if (name.rfind("sd", 0) == 0) return "scsi";
    return "";
}

}  // namespace

disk_identity read_disk_identity(const std::string& device_dir, const std::string& udev_data) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path disk = fs::canonical(device_dir, error);
    if (error) return {};
    if (fs::exists(disk / "partition", error)) disk = disk.parent_path();
    disk_identity id;
    const fs::path device = disk / "device";
    id.vendor = read_field((device / "vendor").string());
    id.model = read_field((device / "model").string());
    id.serial = read_field((device / "serial").string());
    if (id.serial.empty()) id.serial = udev_property(udev_data, "ID_SERIAL_SHORT");
    // A hexadecimal PCI vendor number (virtio, NVMe) is no name.
    if (id.vendor.rfind("0x", 0) == 0) id.vendor.clear();
    id.transport = transport_of(disk, disk.filename().string());
    unsigned long long flag = 0;
    if (read_number((disk / "removable").string(), &flag)) id.removable = flag != 0;
    if (read_number((disk / "queue" / "rotational").string(), &flag)) id.rotational = flag != 0;
    return id;
}

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
