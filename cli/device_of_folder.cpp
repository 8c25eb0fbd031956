#include "cli/device_of_folder.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

namespace kiroda::cli {

namespace {

namespace fs = std::filesystem;

// A chain deeper than this is a loop in the data (a fake or damaged sysfs):
// stop rather than recurse for ever.
constexpr int kDeepestStack = 32;
// sysfs gives partition starts and sizes in 512-byte units, whatever the
// device's sector size.
constexpr std::uint64_t kSysfsUnit = 512;

bool read_dev(const fs::path& file, dev_t* dev) {
    std::ifstream in(file);
    unsigned maj = 0, min = 0;
    char colon = 0;
    if (!(in >> maj >> colon >> min) || colon != ':') return false;
    *dev = makedev(maj, min);
    return true;
}

std::uint64_t read_number(const fs::path& file) {
    std::ifstream in(file);
    std::uint64_t value = 0;
    in >> value;
    return value;
}

std::string first_line(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::uint64_t add_clamped(std::uint64_t a, std::uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

fs::path node_of(dev_t dev, const std::string& sys_root) {
    std::error_code error;
    const fs::path node =
        fs::canonical(fs::path(sys_root) / "dev" / "block" /
                          (std::to_string(major(dev)) + ":" + std::to_string(minor(dev))),
                      error);
    return error ? fs::path() : node;
}

struct walker {
    const std::string& sys_root;
    storage found;

    // Bytes [begin, end) of the device whose sysfs folder is `node`.
    void walk(const fs::path& node, dev_t dev, std::uint64_t begin, std::uint64_t end, int depth) {
        std::error_code error;
        if (depth > kDeepestStack || begin >= end) return;
        if (node.empty()) return found.push_back({false, dev, 0, begin, end, {}});
        if (fs::exists(node / "partition", error)) {
            // A partition is a stretch of its disk.
            const std::uint64_t start = read_number(node / "start") * kSysfsUnit;
            std::uint64_t size = read_number(node / "size") * kSysfsUnit;
            if (size == 0) size = UINT64_MAX;  // unreadable: assume the rest of the disk
            dev_t disk{};
            read_dev(node.parent_path() / "dev", &disk);
            return walk(node.parent_path(), disk, add_clamped(start, begin),
                        add_clamped(start, std::min(end, size)), depth + 1);
        }
        const std::string backing = first_line(node / "loop" / "backing_file");
        if (!backing.empty() && walk_image(node, backing, begin, end, depth)) return;
        bool has_slaves = false;  // or an image that is gone: the loop device is the bottom
        for (const auto& slave : fs::directory_iterator(node / "slaves", error)) {
            const fs::path real = fs::canonical(slave.path(), error);
            dev_t slave_dev{};
            if (error || !read_dev(real / "dev", &slave_dev)) continue;
            has_slaves = true;
            walk(real, slave_dev, 0, UINT64_MAX, depth + 1);
        }
        if (!has_slaves) found.push_back({false, dev, 0, begin, end, {}});
    }

    // A loop device is a stretch of its image file. False when the image
    // cannot be found (deleted, or in another mount namespace).
    bool walk_image(const fs::path& node, const std::string& backing, std::uint64_t begin,
                    std::uint64_t end, int depth) {
        struct stat image {};
        if (::stat(backing.c_str(), &image) != 0) return false;
        const std::uint64_t offset = read_number(node / "loop" / "offset");
        const std::uint64_t limit = read_number(node / "loop" / "sizelimit");
        if (limit != 0) end = std::min(end, limit);
        found.push_back(file_range(image, add_clamped(offset, begin), add_clamped(offset, end),
                                   sys_root, depth + 1));
        return true;
    }

    static storage_range file_range(const struct stat& file, std::uint64_t begin, std::uint64_t end,
                                    const std::string& sys_root, int depth) {
        walker below{sys_root, {}};
        below.walk(node_of(file.st_dev, sys_root), file.st_dev, 0, UINT64_MAX, depth);
        return {true, file.st_dev, file.st_ino, begin, end, std::move(below.found)};
    }
};

bool range_within(const storage_range& inner, const storage& outer) {
    for (const storage_range& o : outer) {
        const bool same = inner.is_file == o.is_file && inner.dev == o.dev && inner.ino == o.ino;
        if (same && inner.begin < o.end && o.begin < inner.end) return true;
    }
    return inner.is_file && lies_within(inner.holder, outer);
}

}  // namespace

storage storage_under(dev_t dev, const std::string& sys_root) {
    walker w{sys_root, {}};
    w.walk(node_of(dev, sys_root), dev, 0, UINT64_MAX, 0);
    return w.found;
}

storage storage_of(const struct stat& path_stat, const std::string& sys_root) {
    if (S_ISBLK(path_stat.st_mode)) return storage_under(path_stat.st_rdev, sys_root);
    return {walker::file_range(path_stat, 0, UINT64_MAX, sys_root, 0)};
}

bool lies_within(const storage& inner, const storage& outer) {
    for (const storage_range& range : inner) {
        if (range_within(range, outer)) return true;
    }
    return false;
}

bool folder_depends_on(const std::string& folder, const std::string& path,
                       const std::string& sys_root) {
    struct stat folder_stat {};
    struct stat path_stat {};
    if (::stat(folder.c_str(), &folder_stat) != 0 || ::stat(path.c_str(), &path_stat) != 0)
        return false;
    return lies_within(storage_of(folder_stat, sys_root), storage_of(path_stat, sys_root));
}

}  // namespace kiroda::cli
