#include "disk/disk_registry.h"

#include <map>
#include <mutex>
#include <utility>

namespace kiroda {

namespace {

struct registry {
    std::mutex lock;
    std::map<int, registered_disk> disks;
    std::map<char, std::vector<int>> drives;
    // Never reused, not even after clear_disk_paths.
    std::uint64_t last_registration = 0;
};

registry& the_registry() {
    static registry r;
    return r;
}

}  // namespace

void register_disk_path(int number, std::string path) {
    if (number < 0) return;
    registry& r = the_registry();
    std::lock_guard<std::mutex> hold(r.lock);
    r.disks[number] = registered_disk{std::move(path), ++r.last_registration};
}

void register_drive_extents(char letter, std::vector<int> disk_numbers) {
    registry& r = the_registry();
    std::lock_guard<std::mutex> hold(r.lock);
    r.drives[letter] = std::move(disk_numbers);
}

void clear_disk_paths() {
    registry& r = the_registry();
    std::lock_guard<std::mutex> hold(r.lock);
    r.disks.clear();
    r.drives.clear();
}

bool find_registered_disk(int number, registered_disk* disk) {
    registry& r = the_registry();
    std::lock_guard<std::mutex> hold(r.lock);
    const auto it = r.disks.find(number);
    if (it == r.disks.end()) return false;
    *disk = it->second;
    return true;
}

bool find_drive_extents(char letter, std::vector<int>* disk_numbers) {
    registry& r = the_registry();
    std::lock_guard<std::mutex> hold(r.lock);
    const auto it = r.drives.find(letter);
    if (it == r.drives.end()) return false;
    *disk_numbers = it->second;
    return true;
}

}  // namespace kiroda
