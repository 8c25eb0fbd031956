// krdtool get: copies a file, or a folder with everything in it, out of a
// file system of a set, read by The Sleuth Kit through the set (every block
// checked before its bytes are used). A file with data on sectors a rescue
// lost is refused, with the byte ranges lost, unless --lost-as-zeros.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/file_copy.h"
#include "cli/lost_files.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/set_commands.h"
#include "cli/set_file_systems.h"
#include "cli/stop_signals.h"
#include "cli/terminal_progress.h"
#include "util/number_format.h"

namespace kiroda::cli {

namespace {

// Copies larger than this show a progress line.
constexpr std::uint64_t kProgressBytes = 64ull << 20;

struct get_item {
    std::string source;  // path in the file system
    std::string destination;
    fs_entry entry;
};

struct get_run {
    set_file_systems& set;
    partition_file_system& fs;
    int partition;
    std::vector<sector_run> lost;
    bool replace, lost_as_zeros;
    std::FILE* err;
    std::unique_ptr<terminal_progress> progress;
    std::uint64_t left = 0;
    int failed = 0;
};

std::string ranges_text(const std::vector<lost_range>& ranges) {
    std::string text;
    for (const lost_range& r : ranges) {
        if (!text.empty()) text += ", ";
        text += std::to_string(r.first) + "-" + std::to_string(r.first + r.count - 1);
    }
    return text;
}

// The items to copy: the entry at `source`, and for a folder all under it.
bool plan(get_run& run, const std::string& source, const std::string& destination,
          std::vector<get_item>* items) {
    fs_entry top;
    if (run.fs.stat(source, &top) != lookup::found) {
        print_message(run.err, "パーテーション %d に %s はありません", run.partition,
                      source.c_str());
        return false;
    }
    items->push_back({source, destination, top});
    if (top.kind != entry_kind::folder) return true;
    std::string unreadable;
    const std::size_t prefix = source.size();
    const bool whole = walk_tree(
        run.fs, source,
        [&](const std::string& path, const fs_entry& e) {
            std::string to = destination;
            to.append("/").append(path.substr(std::min(prefix + (prefix != 0), path.size())));
            items->push_back({path, to, e});
            return true;
        },
        &unreadable);
    if (!whole) {
        print_message(run.err, "フォルダを読めません: %d:%s", run.partition, unreadable.c_str());
        if (const auto f = run.set.take_failure())
            print_message(run.err, "読めないブロックがあります: %s",
                          set_file_systems::describe(*f).c_str());
    }
    return whole;
}

// Refuses a file on lost sectors (or says it keeps zeros there); true when
// the file may be copied.
bool lost_allowed(get_run& run, const get_item& item) {
    if (run.lost.empty()) return true;
    std::vector<disk_extent> extents;
    bool resident = false;
    std::uint64_t located = 0;
    run.fs.extents(item.entry.meta, &extents, &resident, &located);
    std::vector<lost_range> ranges = lost_ranges(extents, run.lost);
    if (located < item.entry.size) ranges.push_back({located, item.entry.size - located});
    if (ranges.empty()) return true;
    if (!run.lost_as_zeros) {
        print_message(run.err,
                      "%s はデータの一部が読めなかったセクタにあるため取り出しません "
                      "(バイト %s)。0 で埋めて取り出すには --lost-as-zeros",
                      item.source.c_str(), ranges_text(ranges).c_str());
        return false;
    }
    print_message(run.err, "%s: 読めなかったセクタのバイト %s は 0 で埋めてあります",
                  item.source.c_str(), ranges_text(ranges).c_str());
    return true;
}

void copy_one(get_run& run, const get_item& item) {
    if (!lost_allowed(run, item)) {
        ++run.failed;
        return;
    }
    std::string why;
    const copy_result r = copy_file_out(
        run.set, {&run.fs, item.entry, item.destination, run.replace},
        [&run](std::uint64_t n) {
            run.left -= std::min(run.left, n);
            if (run.progress) run.progress->set_bytes_left(run.left);
        },
        &why);
    if (r == copy_result::copied) return;
    if (run.progress) run.progress->finish_line();
    ++run.failed;
    if (r == copy_result::exists) {
        print_message(run.err, "%s はすでにあります (上書きするには --force)",
                      item.destination.c_str());
    } else if (r == copy_result::read_failed) {
        print_message(run.err, "%s を読めません: %s。このファイルは書き込んでいません",
                      item.source.c_str(), why.c_str());
    } else if (r == copy_result::write_failed) {
        print_message(run.err, "%s に書き込めません: %s", item.destination.c_str(), why.c_str());
    }
}

bool make_folder(get_run& run, const get_item& item) {
    std::error_code error;
    if (std::filesystem::create_directory(item.destination, error)) return true;
    if (!error && run.replace && std::filesystem::is_directory(item.destination, error))
        return true;
    ++run.failed;
    if (!error) {
        print_message(run.err, "%s はすでにあります (上書きするには --force)",
                      item.destination.c_str());
    } else {
        print_message(run.err, "フォルダを作れません: %s (%s)", item.destination.c_str(),
                      error.message().c_str());
    }
    return false;
}

int copy_all(get_run& run, const std::vector<get_item>& items) {
    for (const get_item& item : items) {
        if (item.entry.kind == entry_kind::file) run.left += item.entry.size;
    }
    if (run.left > kProgressBytes) {
        run.progress = std::make_unique<terminal_progress>(
            run.err, run.left,
            run.err == stderr && ::isatty(STDERR_FILENO) == 1 ? progress_style::bar
                                                              : progress_style::lines);
        run.progress->set_status("取り出し中");
    }
    std::vector<const get_item*> folders;
    for (const get_item& item : items) {
        if (stop_signalled()) break;
        if (item.entry.kind == entry_kind::folder) {
            if (!make_folder(run, item)) return kExitFailed;
            folders.push_back(&item);
        } else if (item.entry.kind == entry_kind::file) {
            copy_one(run, item);
        } else {
            print_message(run.err, "%s は通常のファイルでもフォルダでもないため取り出しません",
                          item.source.c_str());
        }
    }
    // A folder's time after its files are in: each file put in changed it.
    for (auto f = folders.rbegin(); f != folders.rend(); ++f)
        set_modification_time((*f)->destination, (*f)->entry.mtime, (*f)->entry.mtime_nano);
    if (run.progress) {
        if (run.failed == 0) run.progress->complete();
        run.progress->finish_line();
    }
    return run.failed == 0 ? kExitDone : kExitFailed;
}

}  // namespace

int run_get_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const parsed_options options = parse_options(args, {"--force", "--lost-as-zeros"});
    int number = 0;
    std::string path;
    if (!options.error.empty() || options.operands.size() < 2 || options.operands.size() > 3 ||
        !parse_partition_path(options.operands[1], &number, &path)) {
        if (!options.error.empty()) print(err, "krdtool get: %s\n", options.error.c_str());
        print(err, "使い方: krdtool get [--force] [--lost-as-zeros] SETDIR PART:PATH [DEST]\n");
        return kExitUsage;
    }
    set_file_systems set;
    if (!set.open(options.operands[0], err)) return kExitFailed;
    partition_file_system* fs = open_partition(set, number, err);
    if (fs == nullptr) return kExitFailed;
    bad_sector_map map;
    int bad_line = 0;
    if (read_bad_sector_map(set.folder().c_str(), &map, &bad_line) == map_read::unreadable) {
        print_message(err, "読めないセクタの記録(%s)を読めません(%d 行目)", kBadSectorMapName,
                      bad_line);
        return kExitFailed;
    }
    get_run run{
        set, *fs,    number, map.bad_runs(), options.has("--force"), options.has("--lost-as-zeros"),
        err, nullptr};
    std::string destination = options.operands.size() == 3 ? options.operands[2] : ".";
    std::error_code error;
    if (std::filesystem::is_directory(destination, error)) {
        const std::string name = std::filesystem::path(path).lexically_normal().filename().string();
        destination.append("/").append(name.empty() ? "part" + std::to_string(number) : name);
    }
    std::vector<get_item> items;
    if (!plan(run, path, destination, &items)) return kExitFailed;
    const int status = copy_all(run, items);
    if (status == kExitDone) print(out, "取り出しました: %s\n", destination.c_str());
    return status;
}

}  // namespace kiroda::cli
