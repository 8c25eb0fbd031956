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
                   (name == "rotational" && !parse_flag(value, &disk->rotational))) {
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
