// The test programs' disk layer: a table of disk operations that wraps
// another (the path-backed disks of path_disk.h, in every test program) with
// faults a test injects, and a recorder of what each disk was asked to do.
// The test programs' main installs it (disk_test_main_test_support.cpp); the
// product never links it. With no fault set, every operation is the inner
// table's.
//
// Faults belong to one registration of a disk number: registering the
// number again, or clearing the registry, forgets them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "disk/disk_registry.h"
#include "disk/physical_disk.h"

namespace kiroda {

// What a registered disk was asked to do, in the order it happened.
struct disk_event {
    enum kind_t { kOpen, kWrite, kFlush };
    kind_t kind = kOpen;
    disk_mode mode = disk_mode::read;  // kOpen: the mode asked for
    std::uint64_t first_sector = 0;    // kWrite: where the transfer began
    std::uint32_t count = 0;           // kWrite: sectors asked for
    bool ok = true;                    // the operation reported success
};

constexpr std::int64_t kNoFault = -1;
constexpr int kNoMediaOverride = -1;

// Faults of one registered disk. A default-constructed value has none.
struct disk_faults {
    // A read whose sectors include this one fails; nothing is read.
    std::int64_t fail_read_at = kNoFault;
    // The same for each of these sectors (a failing disk's bad sectors), and
    // for every sector from dead_from up to (not including) dead_to.
    std::vector<std::int64_t> bad_sectors;
    std::int64_t dead_from = kNoFault;
    std::int64_t dead_to = kNoFault;
    // A read that includes this sector fails the first time only (a sector
    // the drive recovers on a retry).
    std::int64_t flaky_sector = kNoFault;
    // A write whose sectors include this one fails; nothing is written.
    std::int64_t fail_write_at = kNoFault;
    // A write whose sectors include this one reports success, but the
    // device keeps that sector with one byte changed (a disk that lies).
    std::int64_t alter_write_at = kNoFault;
    // A write whose sectors include this one reports success, but nothing
    // of it reaches the device.
    std::int64_t drop_write_at = kNoFault;
    // Sectors that can still be written (over every handle of the disk);
    // after that, writes come up short, as on a disk that fills up: the
    // sectors that fit are written and the call fails.
    std::int64_t write_budget_sectors = kNoFault;
    bool size_query_fails = false;    // get_disk_size_bytes gives kDiskSizeQueryFailed
    bool layout_query_fails = false;  // get_partition_count gives kLayoutQueryFailed
    bool flush_fails = false;         // flush_disk gives 0
    // A second, uncached handle (disk_mode::read_back) cannot be opened beside the first, as
    // on a raw Windows disk opened without read sharing.
    bool uncached_open_fails = false;
    // What the geometry reports in place of the image's own facts (a disk
    // with 4096-byte sectors, a floppy): 0 / kNoMediaOverride keep them.
    // Taken when a handle opens.
    int bytes_per_sector = 0;
    int media_type = kNoMediaOverride;
    // Called before the disk is opened, with the disk number and mode; it
    // may change the image (a disk swapped between a check and a write).
    std::function<void(int number, disk_mode mode)> on_open;
    // Receives every open, write and flush of the disk. Called on the thread
    // doing the I/O.
    std::function<void(const disk_event& event)> on_event;
};

// Installs the fault layer as the disk table, around `inner`, which every
// operation then reaches through it. Installed once, before any disk opens.
void install_disk_faults(const disk_ops& inner);

// Sets the faults of a registered disk; ignored for a number not registered.
void set_disk_faults(int number, disk_faults faults);

// Reads of disk `number` that failed through its faults since it was
// registered or its faults were set.
std::int64_t failed_reads(int number);

// ---- The faults table, as this layer's disk operations consult it ----

// The faults set for the current registration of `number`; false (and
// `faults` untouched) when it has none.
bool find_disk_faults(int number, disk_faults* faults);

// True when a read of `count` sectors from `first` on disk `number` must fail;
// each such read is counted.
bool read_fault_hits(int number, std::uint64_t first, std::uint32_t count);

// How many of `count` sectors from `first` a write may transfer: `count`
// normally, 0 when the write must fail outright, fewer when the disk fills
// up. Takes the sectors from the budget.
std::uint32_t take_write_allowance(int number, std::uint64_t first, std::uint32_t count);

// How a write the disk accepts is stored: whole, dropped, or with one sector
// altered (`altered_sector` is then its number).
enum class write_fate { stored, dropped, altered };
write_fate lying_write_fate(int number, std::uint64_t first, std::uint32_t count,
                            std::uint64_t* altered_sector);

void report_disk_event(int number, const disk_event& event);

}  // namespace kiroda
