#include "cli/source_record.h"

#include <cstdio>
#include <filesystem>

#include "cli/disks_command.h"
#include "util/number_format.h"
#include "util/printable_text.h"

namespace kiroda::cli {

source_disk record_of_source(const std::string& path, std::uint64_t bytes) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    const disk_identity id = identity_of(path);
    source_disk disk;
    disk.path = error ? path : absolute.lexically_normal().string();
    disk.bytes = bytes;
    copy_identity(id, &disk);
    return disk;
}

namespace {

// Decimal megabytes, grouped, as the wizard and `disks` count a disk.
std::string gigabytes(std::uint64_t bytes) {
    char grouped[kGroupedTextSize];
    format_uint64_grouped(grouped, bytes / 1000000);
    return std::string(grouped) + " MB";
}

}  // namespace

std::string describe_device(const std::string& path, std::uint64_t bytes) {
    const std::string who = describe_identity(identity_of(path));
    return who.empty() || bytes == 0 ? who : who + ", " + gigabytes(bytes);
}

std::string describe_source(const source_disk& disk) {
    disk_identity id;
    copy_identity(disk, &id);
    std::string text = disk.path;
    const std::string who = describe_identity(id);
    if (!who.empty()) text += (text.empty() ? "" : " - ") + who;
    // Every field is the set's: shown only as printable text.
    return printable_text(text + (text.empty() ? "" : ", ") + gigabytes(disk.bytes));
}

}  // namespace kiroda::cli
