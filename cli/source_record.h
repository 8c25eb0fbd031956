// The source disk's identity kept in a set (KRDDISK.TXT): taken when a
// backup starts, shown by info and before a restore.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "cli/json_writer.h"
#include "format/source_disk.h"
#include "util/printable_text.h"

namespace kiroda::cli {

// What the system tells of a disk, kept alike by the disk list
// (disk_identity) and the set's record (source_disk): copied field by field
// from one to the other.
template <typename From, typename To>
void copy_identity(const From& from, To* to) {
    to->vendor = from.vendor;
    to->model = from.model;
    to->serial = from.serial;
    to->transport = from.transport;
    to->removable = from.removable;
    to->rotational = from.rotational;
}

// The fields there are, as JSON members of the object being written.
template <typename Identity>
void write_identity_members(json_writer& json, const Identity& id) {
    const std::pair<const char*, const std::string*> fields[] = {{"vendor", &id.vendor},
                                                                 {"model", &id.model},
                                                                 {"serial", &id.serial},
                                                                 {"transport", &id.transport}};
    // A set's record is anybody's bytes; a disk's identity the system's.
    for (const auto& [key, value] : fields) {
        if (!value->empty()) json.text(key, printable_text(*value));
    }
    if (id.removable >= 0) json.boolean("removable", id.removable == 1);
    if (id.rotational >= 0) json.boolean("rotational", id.rotational == 1);
}

// The record of the source at `path`, `bytes` long: its absolute path and
// what sysfs and udev say of it (nothing more for an image file).
source_disk record_of_source(const std::string& path, std::uint64_t bytes);

// "/dev/sdb - SanDisk Ultra (シリアル番号 4C530001), usb, 32.0 GB": the
// fields the record has, as printable text.
std::string describe_source(const source_disk& disk);

// What the system says of the block device at `path`, with its size when
// `bytes` is known (not 0): "SanDisk Ultra (シリアル番号 4C530001), usb,
// 32.0 GB"; "" for an image file or a device nothing is known of.
std::string describe_device(const std::string& path, std::uint64_t bytes);

}  // namespace kiroda::cli
