// krdtool's words for the files a rescue lost (cli/lost_files.h).
#include <string>

#include "cli/command.h"
#include "cli/json_writer.h"
#include "cli/lost_files.h"
#include "cli/output.h"
#include "util/number_format.h"

namespace kiroda::cli {

namespace {

std::string grouped(std::uint64_t n) {
    char text[kGroupedTextSize];
    format_uint64_grouped(text, n);
    return text;
}

void write_members(json_writer& w, const lost_report& r) {
    w.number("lost_sectors", r.lost_sectors);
    w.begin_array("files");
    for (const lost_file& f : r.files) {
        w.begin_object();
        w.number("partition", static_cast<std::uint64_t>(f.partition));
        w.text("path", f.path);
        w.boolean("record_lost", f.record_lost);
        if (f.record_lost) {
            w.null("size");
            w.null("bytes_lost");
        } else {
            w.number("size", f.size);
            w.number("bytes_lost", f.bytes_lost());
        }
        w.begin_array("ranges");
        for (const lost_range& b : f.lost) {
            w.begin_object();
            w.number("offset", b.first);
            w.number("length", b.count);
            w.end_object();
        }
        w.end_array();
        w.end_object();
    }
    w.end_array();
    {
        w.begin_array("metadata");
        for (const lost_metadata& m : r.metadata) {
            w.begin_object();
            w.number("partition", static_cast<std::uint64_t>(m.partition));
            if (m.folder.empty()) {
                w.null("folder");
            } else {
                w.text("folder", m.folder);
            }
            w.number("sectors", m.sectors);
            w.end_object();
        }
        w.end_array();
        w.number("free_sectors", r.free_sectors);
        w.number("unknown_sectors", r.unknown_sectors);
        w.number("outside_sectors", r.outside_sectors);
        w.number("partition_table_sectors", r.table_sectors);
        w.boolean("mbr_lost", r.mbr_lost);
    }
}

void write_json(const lost_report& r, std::FILE* out) {
    json_writer w(out);
    w.begin_object();
    write_members(w, r);
    w.end_object();
}

void print_files(const lost_report& r, std::FILE* out, const char* indent) {
    for (const lost_file& f : r.files) {
        if (f.record_lost) {
            print(out,
                  "%s  パーテーション %d: %s (ファイルの一覧のレコードが失われました。"
                  "大きさも中身の場所もわかりません)\n",
                  indent, f.partition, f.path.c_str());
        } else {
            print(out, "%s  パーテーション %d: %s (%s バイト中 %s バイト)\n", indent, f.partition,
                  f.path.c_str(), grouped(f.size).c_str(), grouped(f.bytes_lost()).c_str());
        }
    }
}

void print_text(const lost_report& r, std::FILE* out, const char* indent) {
    if (!r.files.empty()) {
        print(out, "%s読めなかったセクタにデータがあるファイル: %zu 個\n", indent, r.files.size());
        print_files(r, out, indent);
    }
    for (const lost_metadata& m : r.metadata) {
        if (m.folder.empty()) {
            print(out,
                  "%s  パーテーション %d: ファイルシステムの管理情報のセクタ %s 個 "
                  "(ファイルの一覧やフォルダが壊れているかもしれません)\n",
                  indent, m.partition, grouped(m.sectors).c_str());
        } else {
            print(out,
                  "%s  パーテーション %d: フォルダ %s の管理情報のセクタ %s 個 "
                  "(このフォルダの中身の一覧が壊れているかもしれません)\n",
                  indent, m.partition, m.folder.c_str(), grouped(m.sectors).c_str());
        }
    }
    if (r.free_sectors != 0)
        print(out, "%s  空き領域のセクタ %s 個 (失われたものはありません)\n", indent,
              grouped(r.free_sectors).c_str());
    if (r.outside_sectors != 0)
        print(out, "%s  パーテーションの外のセクタ %s 個 (失われたものはありません)\n", indent,
              grouped(r.outside_sectors).c_str());
    if (r.table_sectors != 0)
        print(out,
              "%s  パーテーションテーブル (拡張ブートレコード) のセクタ %s 個 "
              "(論理パーテーションが失われているかもしれません)\n",
              indent, grouped(r.table_sectors).c_str());
    if (r.unknown_sectors != 0)
        print(out, "%s  ファイルシステムを読めないパーテーションのセクタ %s 個\n", indent,
              grouped(r.unknown_sectors).c_str());
}

}  // namespace

int print_lost_files(set_file_systems& set, bool json, bool only_files, std::FILE* out,
                     std::FILE* err) {
    bad_sector_map map;
    int bad_line = 0;
    const map_read read = read_bad_sector_map(set.folder().c_str(), &map, &bad_line);
    if (read == map_read::unreadable) {
        print_message(err, "読めないセクタの記録(%s)を読めません(%d 行目)", kBadSectorMapName,
                      bad_line);
        return kExitFailed;
    }
    const lost_report r = find_lost_files(set, map);
    if (json) {
        write_json(r, out);
    } else if (only_files) {
        if (r.files.empty()) print(out, "読めなかったセクタにデータがあるファイルはありません\n");
        print_files(r, out, "");
    } else {
        print_text(r, out, "");
    }
    return kExitDone;
}

void write_lost_files_json(const std::string& folder, const bad_sector_map& map, json_writer& w,
                           std::FILE* err) {
    set_file_systems set;
    if (map.bad_runs().empty() || !set.open(folder, err)) return;
    w.begin_object("lost_files");
    write_members(w, find_lost_files(set, map));
    w.end_object();
}

void report_lost_files(const std::string& folder, std::FILE* out, std::FILE* err,
                       const char* indent) {
    bad_sector_map map;
    int bad_line = 0;
    if (read_bad_sector_map(folder.c_str(), &map, &bad_line) != map_read::read) return;
    if (map.bad_runs().empty()) return;
    set_file_systems set;
    if (!set.open(folder, err)) return;
    print(out, "%s読めなかったセクタの中身:\n", indent);
    print_text(find_lost_files(set, map), out, indent);
}

}  // namespace kiroda::cli
