// The disk seam of the test programs: each operation of physical_disk.h is
// the path-backed one of path_disk.h, with the faults of disk_faults and the
// I/O census (util/io_census_test_support.h) around it. The real operation still makes
// every check it makes in the product: a fault is consulted only once the
// transfer or query has passed them, so a refused call costs no fault, no
// failed read and no census count.
#include "disk/faulty_disk_test_support.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <utility>

#include "disk/path_disk.h"
#include "disk/physical_disk.h"
#include "util/io_census_test_support.h"

namespace kiroda {

namespace {

struct entry {
    std::uint64_t registration = 0;  // the registration the faults belong to
    disk_faults faults;
    std::int64_t failed_reads = 0;
    bool flaky_failed = false;
};

struct fault_table {
    std::mutex lock;
    std::map<int, entry> disks;
};

fault_table& the_table() {
    static fault_table t;
    return t;
}

// The entry of the current registration of `number`, or null. The caller
// holds the table's lock.
entry* current_entry(fault_table& t, int number, const registered_disk& reg) {
    const auto it = t.disks.find(number);
    if (it == t.disks.end() || it->second.registration != reg.registration) return nullptr;
    return &it->second;
}

bool touches(std::int64_t sector, std::uint64_t first, std::uint32_t count) {
    if (sector < 0) return false;
    const auto s = static_cast<std::uint64_t>(sector);
    return s >= first && s - first < count;
}

}  // namespace

void set_disk_faults(int number, disk_faults faults) {
    registered_disk reg;
    if (!find_registered_disk(number, &reg)) return;
    std::sort(faults.bad_sectors.begin(), faults.bad_sectors.end());
    fault_table& t = the_table();
    std::lock_guard<std::mutex> hold(t.lock);
    t.disks[number] = entry{reg.registration, std::move(faults), 0, false};
}

bool find_disk_faults(int number, disk_faults* faults) {
    registered_disk reg;
    if (!find_registered_disk(number, &reg)) return false;
    fault_table& t = the_table();
    std::lock_guard<std::mutex> hold(t.lock);
    const entry* e = current_entry(t, number, reg);
    if (!e) return false;
    *faults = e->faults;
    return true;
}

bool read_fault_hits(int number, std::uint64_t first, std::uint32_t count) {
    registered_disk reg;
    if (count == 0 || !find_registered_disk(number, &reg)) return false;
    fault_table& t = the_table();
    std::lock_guard<std::mutex> hold(t.lock);
    entry* e = current_entry(t, number, reg);
    if (!e) return false;
    const disk_faults& f = e->faults;
    const auto last = static_cast<std::int64_t>(first + count - 1);
    bool hit = touches(f.fail_read_at, first, count);
    // The first bad sector at or after `first`.
    const auto bad = std::lower_bound(f.bad_sectors.begin(), f.bad_sectors.end(),
                                      static_cast<std::int64_t>(first));
    hit = hit || (bad != f.bad_sectors.end() && *bad <= last);
    hit = hit ||
          (f.dead_from >= 0 && f.dead_from <= last && f.dead_to > static_cast<std::int64_t>(first));
    if (!hit && !e->flaky_failed && touches(f.flaky_sector, first, count)) {
        e->flaky_failed = true;
        hit = true;
    }
    if (hit) ++e->failed_reads;
    return hit;
}

std::int64_t failed_reads(int number) {
    registered_disk reg;
    if (!find_registered_disk(number, &reg)) return 0;
    fault_table& t = the_table();
    std::lock_guard<std::mutex> hold(t.lock);
    const entry* e = current_entry(t, number, reg);
    return e ? e->failed_reads : 0;
}

std::uint32_t take_write_allowance(int number, std::uint64_t first, std::uint32_t count) {
    registered_disk reg;
    if (!find_registered_disk(number, &reg)) return count;
    fault_table& t = the_table();
    std::lock_guard<std::mutex> hold(t.lock);
    entry* e = current_entry(t, number, reg);
    if (!e) return count;
    disk_faults& f = e->faults;
    if (touches(f.fail_write_at, first, count)) return 0;
    if (f.write_budget_sectors < 0) return count;
    const std::uint32_t allowed =
        f.write_budget_sectors < count ? static_cast<std::uint32_t>(f.write_budget_sectors) : count;
    f.write_budget_sectors -= allowed;
    return allowed;
}

write_fate lying_write_fate(int number, std::uint64_t first, std::uint32_t count,
                            std::uint64_t* altered_sector) {
    disk_faults f;
    if (!find_disk_faults(number, &f)) return write_fate::stored;
    if (touches(f.drop_write_at, first, count)) return write_fate::dropped;
    if (touches(f.alter_write_at, first, count)) {
        *altered_sector = static_cast<std::uint64_t>(f.alter_write_at);
        return write_fate::altered;
    }
    return write_fate::stored;
}

void report_disk_event(int number, const disk_event& event) {
    disk_faults f;
    // Called outside the table's lock: the listener may look at the
    // registry or the faults itself.
    if (find_disk_faults(number, &f) && f.on_event) f.on_event(event);
}

// ---- The disk seam ----

namespace {

// What a handle of this layer points to: the path-backed disk and what the
// faults said about it when it opened.
struct faulty_open {
    int number;
    native_disk disk;
    int bytes_per_sector;
    int media_type;
};

faulty_open* as_open(const disk_handle& handle) {
    return handle.valid() ? reinterpret_cast<faulty_open*>(handle.get()) : nullptr;
}

native_disk inner(const disk_handle& handle) {
    const faulty_open* o = as_open(handle);
    return o ? o->disk : kInvalidDisk;
}

// The faults of the handle's disk as they stand now (none when unset).
disk_faults faults_now(const faulty_open& o) {
    disk_faults f;
    find_disk_faults(o.number, &f);
    return f;
}

}  // namespace

void disk_handle::reset(native_disk native) {
    if (native_ != kInvalidDisk) {
        auto* o = reinterpret_cast<faulty_open*>(native_);
        path_disk::close(o->disk);
        delete o;
    }
    native_ = native;
}

disk_handle open_physical_disk(int number, char mode) {
    const bool uncached = mode == 'v';
    registered_disk reg;
    // The faults apply only to an open the real layer would go ahead with.
    if (path_disk::known_mode(mode) && find_registered_disk(number, &reg)) {
        disk_faults f;
        find_disk_faults(number, &f);
        if (io_census_fails() || (uncached && f.uncached_open_fails)) {
            errno = uncached ? EBUSY : EIO;
            return disk_handle();
        }
        // The hook may put another image in place of this number; the open
        // below looks the path up again.
        if (f.on_open) f.on_open(number, mode);
    }
    const native_disk disk = path_disk::open(number, mode);
    if (disk == kInvalidDisk) return disk_handle();
    disk_faults f;
    find_disk_faults(number, &f);
    auto* o = new faulty_open{number, disk, f.bytes_per_sector, f.media_type};
    report_disk_event(number, disk_event{disk_event::kOpen, mode, 0, 0, true});
    return disk_handle(reinterpret_cast<native_disk>(o));
}

bool seek_sector(const disk_handle& disk, std::uint64_t sector) {
    const native_disk d = inner(disk);
    if (d != kInvalidDisk && sector <= UINT64_MAX / kSectorBytes && io_census_fails()) return 0;
    return path_disk::seek(d, sector);
}

bool read_sectors(const disk_handle& disk, std::uint32_t count, void* buffer) {
    const faulty_open* o = as_open(disk);
    const native_disk d = inner(disk);
    std::uint64_t first = 0;
    if (o && count > 0 &&
        path_disk::check_transfer(d, count, false, &first) == path_disk::transfer_check::whole &&
        (read_fault_hits(o->number, first, count) || io_census_fails())) {
        return 0;
    }
    return path_disk::read(d, count, buffer);
}

bool write_sectors(const disk_handle& disk, std::uint32_t count, const void* buffer) {
    const faulty_open* o = as_open(disk);
    const native_disk d = inner(disk);
    std::uint64_t first = 0;
    const path_disk::transfer_check check = path_disk::check_transfer(d, count, true, &first);
    // A write the handle may not make is no event of the disk.
    if (!o || check == path_disk::transfer_check::refused)
        return path_disk::write(d, count, buffer);
    disk_event event{disk_event::kWrite, 0, first, count, false};
    if (check == path_disk::transfer_check::outside || io_census_fails()) {
        event.ok =
            check == path_disk::transfer_check::outside && path_disk::write(d, count, buffer) == 1;
        report_disk_event(o->number, event);
        return event.ok ? 1 : 0;
    }
    const std::uint32_t allowed = count == 0 ? 0 : take_write_allowance(o->number, first, count);
    std::uint64_t altered = 0;
    const write_fate fate =
        allowed == 0 ? write_fate::stored : lying_write_fate(o->number, first, allowed, &altered);
    bool ok = true;
    if (fate == write_fate::altered) {
        const std::uint64_t bytes = std::uint64_t{allowed} * kSectorBytes;
        std::vector<unsigned char> copy(static_cast<const unsigned char*>(buffer),
                                        static_cast<const unsigned char*>(buffer) + bytes);
        copy[(altered - first) * kSectorBytes + 7] ^= 0x20;
        ok = path_disk::write(d, allowed, copy.data()) == 1;
        if (ok) io_record_disk_written(o->number, first * kSectorBytes, copy.data(), bytes);
    } else if (fate == write_fate::dropped) {
        // Nothing reaches the device, yet the handle moves on as if it had.
        ok = path_disk::seek(d, first + allowed) == 1;
    } else if (allowed > 0 || count == 0) {
        ok = path_disk::write(d, allowed, buffer) == 1;
        if (ok) {
            io_record_disk_written(o->number, first * kSectorBytes, buffer,
                                   std::size_t{allowed} * kSectorBytes);
        }
    }
    event.ok = ok && allowed == count;
    report_disk_event(o->number, event);
    return event.ok ? 1 : 0;
}

bool flush_disk(const disk_handle& disk) {
    const faulty_open* o = as_open(disk);
    const native_disk d = inner(disk);
    if (!o || !path_disk::writable(d)) return path_disk::flush(d);
    const bool fault = faults_now(*o).flush_fails || io_census_fails();
    const bool ok = !fault && path_disk::flush(d) == 1;
    if (ok) io_record_disk_flushed(o->number);
    report_disk_event(o->number, disk_event{disk_event::kFlush, 0, 0, 0, ok});
    return ok ? 1 : 0;
}

std::int64_t get_disk_size_bytes(const disk_handle& disk) {
    const faulty_open* o = as_open(disk);
    if (o && (faults_now(*o).size_query_fails || io_census_fails())) return kDiskSizeQueryFailed;
    return path_disk::size_bytes(inner(disk));
}

bool get_disk_geometry(const disk_handle& disk, disk_geometry* geometry) {
    const faulty_open* o = as_open(disk);
    path_file::facts facts;
    if (!o || !path_disk::device_facts(o->disk, &facts)) return 0;
    if (o->bytes_per_sector > 0)
        facts.bytes_per_sector = static_cast<std::uint32_t>(o->bytes_per_sector);
    if (o->media_type != kNoMediaOverride)
        facts.media_type = static_cast<std::uint8_t>(o->media_type);
    return path_disk::geometry_of(facts, geometry);
}

int get_bytes_per_sector(const disk_handle& disk) {
    disk_geometry g;
    if (!get_disk_geometry(disk, &g)) return kSectorSizeQueryFailed;
    return static_cast<int>(g.bytes_per_sector);
}

std::uint8_t get_media_type(const disk_handle& disk) {
    disk_geometry g;
    if (!get_disk_geometry(disk, &g)) return kMediaUnknown;
    return static_cast<std::uint8_t>(g.media_type & 0xFF);
}

int get_partition_count(const disk_handle& disk) {
    const faulty_open* o = as_open(disk);
    const native_disk d = inner(disk);
    if (o && !path_disk::writable(d) && (faults_now(*o).layout_query_fails || io_census_fails())) {
        return kLayoutQueryFailed;
    }
    return path_disk::partition_count(d);
}

}  // namespace kiroda
