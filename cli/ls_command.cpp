// krdtool ls: the partitions of a set's disk with the file system found in
// each, or the files under a folder of one of them, read by The Sleuth Kit
// through the set (cli/set_file_systems.h). --lost lists only the files a
// rescue lost (cli/lost_files.h).
#include <ctime>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/file_listing.h"
#include "cli/json_writer.h"
#include "cli/lost_files.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/set_commands.h"
#include "cli/set_file_systems.h"
#include "util/number_format.h"

namespace kiroda::cli {

namespace {

struct ls_request {
    bool long_form = false, recurse = false, json = false;
};

void print_partitions(const std::vector<fs_partition>& parts, bool json, std::FILE* out) {
    if (json) {
        json_writer w(out);
        w.begin_object();
        w.begin_array("partitions");
        for (const fs_partition& p : parts) write_partition_json(w, p);
        w.end_array();
        w.end_object();
        return;
    }
    print(out, "番号  種類  ファイルシステム  最初のセクタ       大きさ  ラベル\n");
    for (const fs_partition& p : parts) print(out, "%s\n", partition_line(p).c_str());
}

int list_files(set_file_systems& set, int number, const std::string& path, const ls_request& r,
               std::FILE* out, std::FILE* err) {
    partition_file_system* fs = open_partition(set, number, err);
    if (fs == nullptr) return kExitFailed;
    fs_entry top;
    const lookup found = fs->stat(path, &top);
    if (found != lookup::found) {
        print_message(err, "パーテーション %d に %s はありません", number, path.c_str());
        return kExitFailed;
    }
    std::vector<std::pair<std::string, fs_entry>> rows;
    if (top.kind != entry_kind::folder) {
        rows.emplace_back(top.name, top);
    } else {
        std::string unreadable;
        const bool whole = walk_tree(
            *fs, path,
            [&](const std::string& child, const fs_entry& e) {
                rows.emplace_back(child.substr(path_prefix_length(path)), e);
                return true;
            },
            &unreadable, r.recurse);
        if (!whole) {
            print_message(err, "フォルダを読めません: %d:%s", number, unreadable.c_str());
            if (const auto f = set.take_failure())
                print_message(err, "読めないブロックがあります: %s",
                              set_file_systems::describe(*f).c_str());
            return kExitFailed;
        }
    }
    print_file_rows(rows, r.long_form, r.json, number, out);
    return kExitDone;
}

}  // namespace

int run_ls_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const parsed_options options = parse_options(args, {"-l", "-R", "--json", "--lost"});
    int number = 0;
    std::string path;
    const bool usage_ok =
        options.error.empty() && !options.operands.empty() && options.operands.size() <= 2 &&
        (options.operands.size() == 1 || parse_partition_path(options.operands[1], &number, &path));
    if (!usage_ok) {
        if (!options.error.empty()) print(err, "krdtool ls: %s\n", options.error.c_str());
        print(err, "使い方: krdtool ls [-l] [-R] [--lost] [--json] SETDIR [PART[:PATH]]\n");
        return kExitUsage;
    }
    set_file_systems set;
    if (!set.open(options.operands[0], err)) return kExitFailed;
    const ls_request r{options.has("-l"), options.has("-R"), options.has("--json")};
    if (options.has("--lost")) return print_lost_files(set, r.json, true, out, err);
    if (options.operands.size() == 1) {
        print_partitions(set.disk().survey(), r.json, out);
        return kExitDone;
    }
    return list_files(set, number, path, r, out, err);
}

}  // namespace kiroda::cli
