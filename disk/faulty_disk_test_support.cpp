// The disk table of the test programs: each operation is the one of the
// table it wraps, with the faults of disk_faults and the I/O census
// (util/io_census_test_support.h) around it. The inner operation still makes
// every check it makes in the product: a fault is consulted only once the
// transfer or query has passed the same checks, so a refused call costs no
// fault, no failed read and no census count.
#include "disk/faulty_disk_test_support.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <utility>

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

// ---- The table that wraps another ----

namespace {

// The table the faults wrap.
std::atomic<const disk_ops*> g_inner{nullptr};

const disk_ops& inner_ops() {
    return *g_inner.load();
}

// What a handle of this layer points to: the inner table's handle and what
// this layer keeps of it to judge a transfer before the inner table does,
// as the path-backed disks judge it.
struct faulty_open {
    int number;
    native_disk disk;  // of the inner table
    bool writable;
    std::int64_t size;       // bytes; negative when the inner table cannot tell
    std::uint64_t position;  // bytes, as the inner table moved it
    int bytes_per_sector;
    int media_type;
};

faulty_open* as_open(native_disk disk) {
    return reinterpret_cast<faulty_open*>(disk);
}

// The faults of the handle's disk as they stand now (none when unset).
disk_faults faults_now(const faulty_open& o) {
    disk_faults f;
    find_disk_faults(o.number, &f);
    return f;
}

// What the inner table checks before it touches the device.
enum class transfer_check {
    refused,  // the wrong access mode, or too many sectors
    outside,  // not wholly inside the disk
    whole,    // the transfer may go ahead
};

transfer_check check_transfer(const faulty_open& o, std::uint32_t count, bool write) {
    if (o.writable != write || count > kMaxTransferSectors) return transfer_check::refused;
    const std::uint64_t bytes = std::uint64_t{count} * kSectorBytes;
    if (o.size >= 0) {
        const auto size = static_cast<std::uint64_t>(o.size);
        if (o.position > size || bytes > size - o.position) return transfer_check::outside;
    }
    return transfer_check::whole;
}

// The faults apply only to an open the inner table would go ahead with.
native_disk faulty_open_disk(int number, disk_mode mode) {
    const bool uncached = mode == disk_mode::read_back;
    const bool writable = mode == disk_mode::write;
    const bool known = mode == disk_mode::read || writable || uncached || mode == disk_mode::source;
    registered_disk reg;
    if (known && find_registered_disk(number, &reg)) {
        disk_faults f;
        find_disk_faults(number, &f);
        if (io_census_fails() || (uncached && f.uncached_open_fails)) {
            errno = uncached ? EBUSY : EIO;
            return kInvalidDisk;
        }
        // The hook may put another image in place of this number; the open
        // below looks the path up again.
        if (f.on_open) f.on_open(number, mode);
    }
    const native_disk disk = inner_ops().open(number, mode);
    if (disk == kInvalidDisk) return kInvalidDisk;
    disk_faults f;
    find_disk_faults(number, &f);
    auto* o = new faulty_open{
        number, disk, writable, inner_ops().size_bytes(disk), 0, f.bytes_per_sector, f.media_type};
    report_disk_event(number, disk_event{disk_event::kOpen, mode, 0, 0, true});
    return reinterpret_cast<native_disk>(o);
}

void faulty_close(native_disk disk) {
    faulty_open* o = as_open(disk);
    inner_ops().close(o->disk);
    delete o;
}

bool faulty_seek(native_disk disk, std::uint64_t sector) {
    faulty_open* o = as_open(disk);
    if (sector <= UINT64_MAX / kSectorBytes && io_census_fails()) return false;
    if (!inner_ops().seek(o->disk, sector)) return false;
    o->position = sector * kSectorBytes;
    return true;
}

bool faulty_read(native_disk disk, std::uint32_t count, void* buffer) {
    faulty_open* o = as_open(disk);
    if (count > 0 && check_transfer(*o, count, false) == transfer_check::whole &&
        (read_fault_hits(o->number, o->position / kSectorBytes, count) || io_census_fails())) {
        return false;
    }
    if (!inner_ops().read(o->disk, count, buffer)) return false;
    o->position += std::uint64_t{count} * kSectorBytes;
    return true;
}

// Writes `count` sectors through the inner table, moving the position on
// with it; notes them in the power-cut record.
bool inner_write(faulty_open& o, std::uint32_t count, const void* buffer) {
    if (!inner_ops().write(o.disk, count, buffer)) return false;
    const std::uint64_t bytes = std::uint64_t{count} * kSectorBytes;
    io_record_disk_written(o.number, o.position, buffer, bytes);
    o.position += bytes;
    return true;
}

// A write the disk accepts, as its faults store it: `allowed` of its sectors
// (fewer than asked when the disk fills up), whole, dropped or altered.
bool store_write(faulty_open& o, std::uint32_t allowed, const void* buffer) {
    const std::uint64_t first = o.position / kSectorBytes;
    std::uint64_t altered = 0;
    const write_fate fate =
        allowed == 0 ? write_fate::stored : lying_write_fate(o.number, first, allowed, &altered);
    if (fate == write_fate::altered) {
        const std::uint64_t bytes = std::uint64_t{allowed} * kSectorBytes;
        std::vector<unsigned char> copy(static_cast<const unsigned char*>(buffer),
                                        static_cast<const unsigned char*>(buffer) + bytes);
        copy[(altered - first) * kSectorBytes + 7] ^= 0x20;
        return inner_write(o, allowed, copy.data());
    }
    if (fate == write_fate::dropped) {
        // Nothing reaches the device, yet the handle moves on as if it had.
        if (!inner_ops().seek(o.disk, first + allowed)) return false;
        o.position = (first + allowed) * kSectorBytes;
        return true;
    }
    return inner_write(o, allowed, buffer);
}

bool faulty_write(native_disk disk, std::uint32_t count, const void* buffer) {
    faulty_open* o = as_open(disk);
    const transfer_check check = check_transfer(*o, count, true);
    // A write the handle may not make is no event of the disk.
    if (check == transfer_check::refused) return inner_ops().write(o->disk, count, buffer);
    disk_event event{disk_event::kWrite, disk_mode::write, o->position / kSectorBytes, count,
                     false};
    if (check == transfer_check::outside || io_census_fails()) {
        event.ok = check == transfer_check::outside && inner_write(*o, count, buffer);
        report_disk_event(o->number, event);
        return event.ok;
    }
    const std::uint32_t allowed =
        count == 0 ? 0 : take_write_allowance(o->number, event.first_sector, count);
    const bool ok = (allowed == 0 && count != 0) || store_write(*o, allowed, buffer);
    event.ok = ok && allowed == count;
    report_disk_event(o->number, event);
    return event.ok;
}

bool faulty_flush(native_disk disk) {
    const faulty_open* o = as_open(disk);
    if (!o->writable) return inner_ops().flush(o->disk);
    const bool fault = faults_now(*o).flush_fails || io_census_fails();
    const bool ok = !fault && inner_ops().flush(o->disk);
    if (ok) io_record_disk_flushed(o->number);
    report_disk_event(o->number, disk_event{disk_event::kFlush, disk_mode::write, 0, 0, ok});
    return ok;
}

std::int64_t faulty_size_bytes(native_disk disk) {
    const faulty_open* o = as_open(disk);
    if (faults_now(*o).size_query_fails || io_census_fails()) return kDiskSizeQueryFailed;
    return inner_ops().size_bytes(o->disk);
}

// The inner table's geometry, with the sector size and media type the faults
// put in its place (the cylinders then count the larger sectors).
geometry_reply faulty_geometry(native_disk disk, disk_geometry* geometry) {
    const faulty_open* o = as_open(disk);
    disk_geometry g;
    const geometry_reply reply = inner_ops().geometry(o->disk, &g);
    if (reply != geometry_reply::answered) return reply;
    if (o->bytes_per_sector > 0) {
        g.bytes_per_sector = static_cast<std::uint32_t>(o->bytes_per_sector);
        const std::uint64_t cylinder_bytes =
            std::uint64_t{g.tracks_per_cylinder} * g.sectors_per_track * g.bytes_per_sector;
        const std::uint64_t size = o->size > 0 ? static_cast<std::uint64_t>(o->size) : 0;
        g.cylinders = cylinder_bytes > 0 ? static_cast<std::int64_t>(size / cylinder_bytes) : 0;
    }
    if (o->media_type != kNoMediaOverride) g.media_type = static_cast<std::uint8_t>(o->media_type);
    *geometry = g;
    return reply;
}

int faulty_partition_count(native_disk disk) {
    const faulty_open* o = as_open(disk);
    if (!o->writable && (faults_now(*o).layout_query_fails || io_census_fails())) {
        return kLayoutQueryFailed;
    }
    return inner_ops().partition_count(o->disk);
}

volume_reply faulty_volume_disks(char letter, std::vector<int>* numbers) {
    return inner_ops().volume_disks(letter, numbers);
}

constexpr disk_ops kFaultyDisks{faulty_open_disk,   faulty_close,    faulty_seek,
                                faulty_read,        faulty_write,    faulty_flush,
                                faulty_size_bytes,  faulty_geometry, faulty_partition_count,
                                faulty_volume_disks};

}  // namespace

void install_disk_faults(const disk_ops& inner) {
    g_inner.store(&inner);
    install_disk_ops(&kFaultyDisks);
}

}  // namespace kiroda
