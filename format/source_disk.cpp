#include "format/source_disk.h"

#include <cstdint>
#include <sstream>

namespace kiroda {

namespace {

constexpr const char* kFirstLine = "KIRODA source 1";
// A record is a few hundred bytes; anything far larger is not one.
constexpr std::size_t kMaxRecordBytes = 64 * 1024;

std::string clean(std::string value) {
    for (char& c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return value;
}

void put(std::string& text, const char* name, const std::string& value) {
    if (!value.empty()) text += std::string(name) + " " + clean(value) + "\n";
}

void put_flag(std::string& text, const char* name, int flag) {
    if (flag >= 0) text += std::string(name) + (flag == 1 ? " yes\n" : " no\n");
}

bool parse_flag(const std::string& value, int* flag) {
    if (value != "yes" && value != "no") return false;
    *flag = value == "yes" ? 1 : 0;
    return true;
}

// Plain decimal digits, nothing before or after them, and no more than 64
// bits hold: the C library's conversion takes blanks, a sign and a value
// out of range (as its largest), none of which the writer writes.
bool parse_count(const std::string& value, std::uint64_t* count) {
    if (value.empty() || value.size() > 20) return false;
    std::uint64_t n = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') return false;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (n > (UINT64_MAX - digit) / 10) return false;
        n = n * 10 + digit;
    }
    *count = n;
    return true;
}

std::string encode_partition(const source_partition& p) {
    return "partition " + std::to_string(p.number) + " " + std::to_string(p.first_lba) + " " +
           std::to_string(p.last_lba) + " " + clean(p.type) + (p.name.empty() ? "" : " ") +
           clean(p.name) + "\n";
}

// "N FIRST LAST TYPE [NAME]": the name is the rest of the line.
bool parse_partition(const std::string& value, source_partition* p) {
    std::istringstream in(value);
    std::string number, first, last;
    std::uint64_t n = 0;
    if (!(in >> number >> first >> last >> p->type) || !parse_count(number, &n) || n == 0 ||
        n > 1u << 20 || !parse_count(first, &p->first_lba) || !parse_count(last, &p->last_lba)) {
        return false;
    }
    p->number = static_cast<int>(n);
    std::getline(in, p->name);
    if (!p->name.empty() && p->name.front() == ' ') p->name.erase(0, 1);
    return true;
}

// The fields of the partition table; false for a value that is wrong.
bool parse_layout_field(const std::string& name, const std::string& value, source_disk* disk) {
    if (name == "sector_size") {
        std::uint64_t size = 0;
        if (!parse_count(value, &size) || size < 512 || size > 65536 || size % 512 != 0)
            return false;
        disk->sector_size = static_cast<std::uint32_t>(size);
    } else if (name == "table") {
        disk->table = value;
    } else if (name == "disk_guid") {
        disk->disk_guid = value;
    } else if (name == "partition") {
        source_partition p;
        if (!parse_partition(value, &p)) return false;
        disk->partitions.push_back(p);
    }
    return true;
}

}  // namespace

std::string encode_source_disk(const source_disk& disk) {
    std::string text = std::string(kFirstLine) + "\n";
    put(text, "path", disk.path);
    text += "bytes " + std::to_string(disk.bytes) + "\n";
    put(text, "vendor", disk.vendor);
    put(text, "model", disk.model);
    put(text, "serial", disk.serial);
    put(text, "transport", disk.transport);
    put_flag(text, "removable", disk.removable);
    put_flag(text, "rotational", disk.rotational);
    if (disk.sector_size != 0) text += "sector_size " + std::to_string(disk.sector_size) + "\n";
    put(text, "table", disk.table);
    put(text, "disk_guid", disk.disk_guid);
    for (const source_partition& p : disk.partitions) text += encode_partition(p);
    if (disk.used_only) text += "used-only " + std::to_string(disk.unused_sectors) + "\n";
    return text + "end\n";
}

bool parse_source_disk(const std::string& text, source_disk* disk) {
    *disk = {};
    std::istringstream lines(text);
    std::string line;
    // A CR before each LF is tolerated: the file may have been through an
    // editor on Windows.
    auto next_line = [&] {
        if (!std::getline(lines, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    };
    if (!next_line() || line != kFirstLine) return false;
    while (next_line()) {
        if (line == "end") return true;
        const std::size_t blank = line.find(' ');
        const std::string name = line.substr(0, blank);
        const std::string value = blank == std::string::npos ? "" : line.substr(blank + 1);
        if (name == "path") {
            disk->path = value;
        } else if (name == "bytes") {
            if (!parse_count(value, &disk->bytes)) return false;
        } else if (name == "vendor") {
            disk->vendor = value;
        } else if (name == "model") {
            disk->model = value;
        } else if (name == "serial") {
            disk->serial = value;
        } else if (name == "transport") {
            disk->transport = value;
        } else if (name == "used-only") {
            disk->used_only = true;
            if (!parse_count(value, &disk->unused_sectors)) return false;
        } else if ((name == "removable" && !parse_flag(value, &disk->removable)) ||
                   (name == "rotational" && !parse_flag(value, &disk->rotational)) ||
                   !parse_layout_field(name, value, disk)) {
            return false;
        }
    }
    return false;  // no end line: cut short
}

source_disk_read read_source_disk(const char* folder, source_disk* disk) {
    std::string text;
    switch (read_side_file(folder, kSourceDiskFileName, kMaxRecordBytes, &text)) {
        case side_file_read::absent:
            return source_disk_read::absent;
        case side_file_read::unreadable:
            return source_disk_read::unreadable;
        case side_file_read::read:
            break;
    }
    return parse_source_disk(text, disk) ? source_disk_read::read : source_disk_read::unreadable;
}

}  // namespace kiroda
