#include "disk/disk_registry.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

namespace kiroda {

namespace {

struct entry {
    std::string path;
    disk_faults faults;
    std::int64_t failed_reads = 0;
    bool flaky_failed = false;
};

struct registry {
    std::mutex lock;
    std::map<int, entry> disks;
    std::map<char, std::vector<int>> drives;
};

registry& the_registry() {
    static registry r;
    return r;
}

bool touches(std::int64_t sector, std::uint64_t first, std::uint32_t count) {
    if (sector < 0) return false;
    const auto s = static_cast<std::uint64_t>(sector);
    return s >= first && s - first < count;
}

}  // namespace

void register_disk_path(int number, std::string path) {
    if (number < 0) return;
    registry& r = the_registry();
    std::lock_guard<std::mutex> hold(r.lock);
    r.disks[number] = entry{std::move(path), disk_faults{}};
}

void set_disk_faults(int number, disk_faults faults) {
    registry& r = the_registry();
    std::lock_guard<std::mutex> hold(r.lock);
    const auto it = r.disks.find(number);
    if (it != r.disks.end()) {
        std::sort(faults.bad_sectors.begin(), faults.bad_sectors.end());
        it->second.faults = std::move(faults);
        it->second.failed_reads = 0;
        it->second.flaky_failed = false;
    }
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
    const disk_faults& f = it->second.faults;
    *disk = registered_disk{
        it->second.path,       f.size_query_fails, f.layout_query_fails, f.flush_fails,
        f.uncached_open_fails, f.bytes_per_sector, f.media_type,         f.on_open};
    return true;
}

bool read_fault_hits(int number, std::uint64_t first, std::uint32_t count) {
    registry& r = the_registry();
    std::lock_guard<std::mutex> hold(r.lock);
    const auto it = r.disks.find(number);
    if (it == r.disks.end() || count == 0) return false;
    entry& e = it->second;
    const disk_faults& f = e.faults;
    const auto last = static_cast<std::int64_t>(first + count - 1);
    bool hit = touches(f.fail_read_at, first, count);
    // The first bad sector at or after `first`.
    const auto bad = std::lower_bound(f.bad_sectors.begin(), f.bad_sectors.end(),
                                      static_cast<std::int64_t>(first));
    hit = hit || (bad != f.bad_sectors.end() && *bad <= last);
    hit = hit ||
          (f.dead_from >= 0 && f.dead_from <= last && f.dead_to > static_cast<std::int64_t>(first));
    if (!hit && !e.flaky_failed && touches(f.flaky_sector, first, count)) {
        e.flaky_failed = true;
        hit = true;
    }
    if (hit) ++e.failed_reads;
    return hit;
}

std::int64_t failed_reads(int number) {
    registry& r = the_registry();
    std::lock_guard<std::mutex> hold(r.lock);
    const auto it = r.disks.find(number);
    return it == r.disks.end() ? 0 : it->second.failed_reads;
}

std::uint32_t take_write_allowance(int number, std::uint64_t first, std::uint32_t count) {
    registry& r = the_registry();
    std::lock_guard<std::mutex> hold(r.lock);
    const auto it = r.disks.find(number);
    if (it == r.disks.end()) return count;
    disk_faults& f = it->second.faults;
    if (touches(f.fail_write_at, first, count)) return 0;
    if (f.write_budget_sectors < 0) return count;
    const std::uint32_t allowed =
        f.write_budget_sectors < count ? static_cast<std::uint32_t>(f.write_budget_sectors) : count;
    f.write_budget_sectors -= allowed;
    return allowed;
}

write_fate lying_write_fate(int number, std::uint64_t first, std::uint32_t count,
                            std::uint64_t* altered_sector) {
    registry& r = the_registry();
    std::lock_guard<std::mutex> hold(r.lock);
    const auto it = r.disks.find(number);
    if (it == r.disks.end()) return write_fate::stored;
    const disk_faults& f = it->second.faults;
    if (touches(f.drop_write_at, first, count)) return write_fate::dropped;
    if (touches(f.alter_write_at, first, count)) {
        *altered_sector = static_cast<std::uint64_t>(f.alter_write_at);
        return write_fate::altered;
    }
    return write_fate::stored;
}

void report_disk_event(int number, const disk_event& event) {
    std::function<void(const disk_event&)> listener;
    {
        registry& r = the_registry();
        std::lock_guard<std::mutex> hold(r.lock);
        const auto it = r.disks.find(number);
        if (it == r.disks.end()) return;
        listener = it->second.faults.on_event;
    }
    // Outside the lock: the listener may look at the registry itself.
    if (listener) listener(event);
}

int find_drive_extents(char letter, std::vector<int>* disk_numbers) {
    registry& r = the_registry();
    std::lock_guard<std::mutex> hold(r.lock);
    const auto it = r.drives.find(letter);
    if (it == r.drives.end()) return 0;
    *disk_numbers = it->second;
    return 1;
}

}  // namespace kiroda
