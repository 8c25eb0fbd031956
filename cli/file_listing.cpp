#include "cli/file_listing.h"

#include <ctime>

#include "cli/output.h"
#include "util/number_format.h"

namespace kiroda::cli {

namespace {

constexpr std::uint64_t kSector = 512;

const char* kind_name(entry_kind kind) {
    switch (kind) {
        case entry_kind::file:
            return "file";
        case entry_kind::folder:
            return "folder";
        case entry_kind::link:
            return "link";
        case entry_kind::other:
            break;
    }
    return "other";
}

// "drwxr-xr-x": the kind and the permission bits of a Unix mode.
std::string mode_text(const fs_entry& e) {
    std::string text = e.kind == entry_kind::folder ? "d" : e.kind == entry_kind::link ? "l" : "-";
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit) text += (e.mode & (0400u >> bit)) != 0 ? letters[bit] : '-';
    return text;
}

}  // namespace

std::string partition_line(const fs_partition& p) {
    char first[kGroupedTextSize], mb[kGroupedTextSize];
    format_uint64_grouped(first, p.part.first_sector);
    format_uint64_grouped(mb, p.part.sector_count * kSector / 1000000);
    // A GPT entry has a type GUID, not an MBR type byte (no MBR partition
    // is of type 0: that is an empty slot).
    char type[8];
    std::snprintf(type, sizeof type, p.part.type == 0 ? "GPT " : "0x%02x", p.part.type);
    char line[512];
    std::snprintf(line, sizeof line, "%-4d  %s  %-16s  %12s  %8s MB  %s", p.part.number, type,
                  p.file_system.empty() ? "-" : p.file_system.c_str(), first, mb, p.label.c_str());
    return line;
}

void write_partition_json(json_writer& w, const fs_partition& p) {
    w.begin_object();
    w.number("number", static_cast<std::uint64_t>(p.part.number));
    w.number("type", p.part.type);
    w.number("first_sector", p.part.first_sector);
    w.number("sectors", p.part.sector_count);
    w.number("bytes", p.part.sector_count * kSector);
    if (p.file_system.empty()) {
        w.null("file_system");
    } else {
        w.text("file_system", p.file_system);
    }
    w.text("label", p.label);
    w.end_object();
}

std::size_t path_prefix_length(const std::string& folder) {
    std::size_t start = 0;
    while (start < folder.size() && folder[start] == '/') ++start;
    std::size_t end = folder.size();
    while (end > start && folder[end - 1] == '/') --end;
    return end == start ? 0 : end - start + 1;
}

std::string time_text(std::int64_t seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    char text[32] = "-";
    if (localtime_r(&t, &local) != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

void print_file_rows(const std::vector<file_row>& rows, bool long_form, bool json, int partition,
                     std::FILE* out) {
    if (json) {
        json_writer w(out);
        w.begin_object();
        w.number("partition", static_cast<std::uint64_t>(partition));
        w.begin_array("files");
        for (const auto& [path, e] : rows) {
            w.begin_object();
            w.text("path", path);
            w.text("kind", kind_name(e.kind));
            w.number("size", e.size);
            w.signed_number("mtime", e.mtime);
            w.number("mtime_nano", e.mtime_nano);
            if (e.has_owner) {
                w.number("uid", e.uid);
                w.number("gid", e.gid);
                w.number("mode", e.mode);
            }
            w.end_object();
        }
        w.end_array();
        w.end_object();
        return;
    }
    for (const auto& [path, e] : rows) {
        char size[kGroupedTextSize];
        format_uint64_grouped(size, e.size);
        const std::string name = e.kind == entry_kind::folder ? path + "/" : path;
        if (long_form && e.has_owner) {
            print(out, "%s %5u %5u ", mode_text(e).c_str(), e.uid, e.gid);
        } else if (long_form) {
            print(out, "%s ", e.kind == entry_kind::folder ? "d" : "-");
        }
        print(out, "%15s  %s  %s\n", size, time_text(e.mtime).c_str(), name.c_str());
    }
}

}  // namespace kiroda::cli
