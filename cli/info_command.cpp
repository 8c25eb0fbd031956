#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "cli/bad_sector_report.h"
#include "cli/lost_files.h"
#include "cli/command.h"
#include "cli/options.h"
#include "cli/engine_run.h"
#include "cli/json_writer.h"
#include "cli/output.h"
#include "cli/set_commands.h"
#include "cli/source_checks.h"
#include "cli/source_record.h"
#include "cli/terminal_messages.h"
#include "engine/data_file.h"
#include "format/bad_sector_map.h"
#include "engine/header_file.h"
#include "format/packed_block.h"
#include "format/set_files.h"
#include "format/set_digests.h"
#include "format/source_disk.h"
#include "ui/translation.h"
#include "util/file_io.h"
#include "util/number_format.h"
#include "util/path.h"
#include "util/path_query.h"
#include "util/printable_text.h"

namespace kiroda::cli {

namespace {

// The caption is Shift-JIS in every set; its only non-ASCII character is the
// alpha of the version, shown here as the terminal's own.
std::string caption_text(const char* sjis) {
    std::string text;
    for (const char* p = sjis; *p != '\0'; ++p) {
        if (p[0] == '\x83' && p[1] == '\xBF') {
            text += localized("α");
            ++p;
        } else if (static_cast<unsigned char>(*p) < 0x80) {
            text += *p;
        } else {
            text += '?';
        }
    }
    return printable_text(text);
}

// What info finds in a set, shown as text or as JSON.
struct data_file_facts {
    int number = 0;
    int blocks = 0;
    std::uint64_t bytes = 0;       // unpacked: the disk's bytes it holds
    std::uint64_t file_bytes = 0;  // the file's own size on its medium
    bool damaged = false;          // a block that cannot be read or unpacked
};

struct set_facts {
    backup_header header{};
    std::vector<data_file_facts> files;
    std::uint64_t data_bytes = 0;
    std::uint64_t set_bytes = 0;  // what every file of the set takes on its medium
    bool damaged = false;
    // The set's shape: 60 blocks in every file but the last, whole chunks
    // in every block but the last.
    bool misshapen = false;
    digests_read digests_state = digests_read::absent;
    int digests_bad_line = 0;
    set_digests digests;
    bool digests_same_set = false;
    int blocks_unlike_digests = 0;
    bool has_program = false;
    // Begun by a backup that did not finish (its mark, no digest file).
    bool unfinished = false;
    // The source record (KRDDISK.TXT) as the digest file proves it.
    side_proof source_proof = side_proof::unrecorded;

    // Whole: every block reads, in the set's shape, adding up to the
    // header's count, with digests and map (`map_ok`) that read and agree.
    bool ok(bool map_ok) const {
        return !damaged && !misshapen && !digests_wrong() && map_ok &&
               source_proof != side_proof::unproven && !unfinished &&
               data_bytes == header.backup_bytes;
    }

    bool digests_wrong() const {
        return digests_state == digests_read::unreadable ||
               (digests_state == digests_read::read &&
                (!digests_same_set || blocks_unlike_digests > 0));
    }
};

// The size of the file at `path`; 0 when it cannot be asked.
std::uint64_t file_size_of(const char* path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::uint64_t>(size);
}

// The disk's bytes for each byte the set takes, as "7.1:1".
std::string ratio_text(std::uint64_t disk_bytes, std::uint64_t set_bytes) {
    char text[32];
    std::snprintf(
        text, sizeof text, "%.1f:1",
        set_bytes > 0 ? static_cast<double>(disk_bytes) / static_cast<double>(set_bytes) : 0.0);
    return text;
}

// Reads every data file there is, block by block, until one is missing.
void collect_data_files(const std::string& folder, set_facts* f) {
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunkBytes]);
    block_scratch scratch;
    std::size_t block_index = 0;
    int last_file_blocks = 0;
    bool short_block_seen = false;
    for (int number = 1;; ++number) {
        char path[kPathCapacity + 16];
        if (!data_file_path(folder.c_str(), number, path, sizeof path)) break;
        unique_fd fd(open_for_reading(path));
        if (!fd.valid()) break;
        data_file_facts file;
        file.number = number;
        std::int32_t result = 0;
        if (!f->files.empty() && last_file_blocks != kBlocksPerDataFile) f->misshapen = true;
        while (at_end_of_file(fd.get()) == end_of_file::before) {
            result = read_packed_block(fd.get(), buffer.get(), kChunkBytes, scratch);
            if (result < 0) break;
            if (short_block_seen) f->misshapen = true;
            short_block_seen = result != kChunkBytes;
            const auto& recorded = f->digests.blocks;
            if (f->digests_state == digests_read::read &&
                (block_index >= recorded.size() || recorded[block_index].bytes != result ||
                 recorded[block_index].digest !=
                     digest_bytes(buffer.get(), static_cast<std::size_t>(result)))) {
                ++f->blocks_unlike_digests;
            }
            ++block_index;
            ++file.blocks;
            file.bytes += static_cast<std::uint64_t>(result);
        }
        file.damaged = result < 0;
        file.file_bytes = file_size_of(path);
        f->set_bytes += file.file_bytes;
        last_file_blocks = file.blocks;
        if (file.blocks > kBlocksPerDataFile) f->misshapen = true;
        f->damaged = f->damaged || file.damaged;
        f->data_bytes += file.bytes;
        f->files.push_back(file);
    }
}

set_facts collect_facts(const std::string& folder, const backup_header& header) {
    set_facts f;
    f.header = header;
    f.digests_state = read_set_digests(folder.c_str(), &f.digests, &f.digests_bad_line);
    collect_data_files(folder, &f);
    if (f.digests_state == digests_read::read) {
        std::uint64_t header_bytes = 0;
        digest128 recorded_header;
        f.digests_same_set = digest_header_file(folder.c_str(), &header_bytes, &recorded_header) &&
                             header_bytes == f.digests.header_bytes &&
                             recorded_header == f.digests.header &&
                             f.digests.stream_bytes == header.backup_bytes;
    }
    for (const std::string& name : set_files_in(folder, nullptr)) {
        if (!is_data_file_name(name.c_str()) || name == kHeaderFileName)
            f.set_bytes += file_size_of((std::filesystem::path(folder) / name).c_str());
    }
    f.source_proof = prove_side_file(folder.c_str(), kSourceDiskFileName);
    char program[kPathCapacity + 16];
    f.unfinished = set_marked_unfinished(folder.c_str());
    f.has_program = join_path(folder.c_str(), kProgramCopyName, program, sizeof program) &&
                    path_exists(program);
    return f;
}

const char* state_name(sector_state state) {
    return state == sector_state::unreadable  ? "unreadable"
           : state == sector_state::not_tried ? "non_scraped"
                                              : "read";
}

// The map's part of the JSON; false when the map is there but unreadable.
bool write_map_json(const std::string& folder, json_writer& json) {
    bad_sector_map map;
    int bad_line = 0;
    const map_read state = read_bad_sector_map(folder.c_str(), &map, &bad_line);
    json.begin_object("bad_sectors");
    json.text("map", state == map_read::absent       ? "absent"
                     : state == map_read::unreadable ? "unreadable"
                                                     : "read");
    if (state == map_read::unreadable)
        json.number("bad_line", static_cast<std::uint64_t>(bad_line));
    if (state == map_read::read) {
        json.number("unreadable", map.sectors(sector_state::unreadable));
        json.number("non_scraped", map.sectors(sector_state::not_tried));
        json.begin_array("runs");
        for (const sector_run& run : map.bad_runs()) {
            json.begin_object();
            json.number("first_sector", run.first);
            json.number("sectors", run.count);
            json.text("state", state_name(run.state));
            json.end_object();
        }
        json.end_array();
        write_lost_files_json(folder, map, json, stderr);
    }
    json.end_object();
    return state != map_read::unreadable;
}

// The source's record (KRDDISK.TXT); a set without one is no worse for it.
void write_source_json(const std::string& folder, side_proof proof, json_writer& json) {
    source_disk disk;
    const source_disk_read state = read_source_disk(folder.c_str(), &disk);
    json.begin_object("source");
    json.text("file", state == source_disk_read::read     ? "read"
                      : state == source_disk_read::absent ? "absent"
                                                          : "unreadable");
    if (state == source_disk_read::read) {
        json.text("path", printable_text(disk.path));
        json.number("bytes", disk.bytes);
        if (disk.used_only) {
            json.boolean("used_only", true);
            json.number("unused_sectors", disk.unused_sectors);
        }
        write_identity_members(json, disk);
        json.number("sector_size", disk.logical_sector_bytes());
        if (!disk.table.empty()) json.text("table", disk.table);
        json.number("partitions", disk.partitions.size());
    }
    json.text("digest", proof == side_proof::proven     ? "matches"
                        : proof == side_proof::unproven ? "differs"
                                                        : "not_recorded");
    json.end_object();
}

void print_used_only(const source_disk& disk, std::FILE* out) {
    char sectors[kGroupedTextSize];
    format_uint64_grouped(sectors, disk.unused_sectors);
    print(out,
          "  --used-only: ファイルシステムが使っていないセクタ %s 個は読まずに 0 として"
          "保存してあります\n",
          sectors);
}

void write_source_text(const std::string& folder, side_proof proof, std::FILE* out) {
    source_disk disk;
    switch (read_source_disk(folder.c_str(), &disk)) {
        case source_disk_read::read:
            // Said first: what follows may be anybody's words.
            if (proof == side_proof::unproven) {
                print(
                    out,
                    "  元ディスクの記録: " KIRODA_SOURCE_DISK_FILE_NAME
                    " がダイジェストファイルの記録と一致しません。確かめられない記録です:\n    %s\n",
                    describe_source(disk).c_str());
                break;
            }
            print(out, "  元ディスクの記録: %s\n", describe_source(disk).c_str());
            if (!disk.table.empty())
                print(out, "  元ディスクの論理セクタ: %u バイト、パーテーション表: %s (%zu 個)\n",
                      disk.logical_sector_bytes(), disk.table.c_str(), disk.partitions.size());
            if (disk.used_only) print_used_only(disk, out);
            break;
        case source_disk_read::unreadable:
            print(out, "  元ディスクの記録: %s を読めません\n", kSourceDiskFileName);
            break;
        case source_disk_read::absent:
            break;
    }
}

// What the digest file says, and whether the set is the one it describes.
void write_digests_json(const set_facts& f, json_writer& json) {
    json.begin_object("digests");
    switch (f.digests_state) {
        case digests_read::absent:
            json.text("file", "absent");
            break;
        case digests_read::unreadable:
            json.text("file", "unreadable");
            json.number("bad_line", static_cast<std::uint64_t>(f.digests_bad_line));
            break;
        case digests_read::read: {
            char stream[kDigestHexLength + 1];
            format_digest(stream, f.digests.stream);
            json.text("file", "read");
            json.text("algorithm", "XXH3-128");
            json.number("blocks", f.digests.blocks.size());
            json.number("data_files", f.digests.files.size());
            json.text("stream", stream);
            json.boolean("header_matches", f.digests_same_set);
            json.number("blocks_unlike", static_cast<std::uint64_t>(f.blocks_unlike_digests));
            break;
        }
    }
    json.end_object();
}

int write_json(const std::string& folder, const set_facts& f, std::FILE* out) {
    const backup_header& h = f.header;
    json_writer json(out);
    json.begin_object();
    json.text("set", folder);
    json.begin_object("header");
    char created[64];
    std::snprintf(created, sizeof created, "%04u-%02u-%02uT%02u:%02u:%02u", h.created.year,
                  h.created.month, h.created.day, h.created.hour, h.created.minute,
                  h.created.second);
    json.text("created", created);
    char version[32];
    std::snprintf(version, sizeof version, "%.2f", h.version);
    json.text("version", version);
    json.text("program", caption_text(h.caption));
    json.signed_number("source_disk", h.source_disk);
    json.number("backup_bytes", h.backup_bytes);
    json.number("sectors", h.backup_bytes / 512);
    json.end_object();
    write_source_json(folder, f.source_proof, json);
    json.begin_array("data_files");
    for (const data_file_facts& file : f.files) {
        char name[16];
        std::snprintf(name, sizeof name, kDataFileNameFormat, file.number);
        json.begin_object();
        json.text("name", name);
        json.number("blocks", static_cast<std::uint64_t>(file.blocks));
        json.number("bytes", file.bytes);
        json.number("file_bytes", file.file_bytes);
        json.boolean("damaged", file.damaged);
        json.end_object();
    }
    json.end_array();
    json.number("data_bytes", f.data_bytes);
    json.number("set_bytes", f.set_bytes);
    json.boolean("complete", f.data_bytes == h.backup_bytes);
    json.boolean("shape_ok", !f.misshapen);
    write_digests_json(f, json);
    const bool map_ok = write_map_json(folder, json);
    json.boolean("program_copy", f.has_program);
    json.boolean("unfinished", f.unfinished);
    const bool ok = f.ok(map_ok);
    json.boolean("ok", ok);
    json.end_object();
    return ok ? kExitDone : kExitFailed;
}

// The lines after the map: the program copy, and a set not finished.
void write_set_ending_text(const set_facts& f, std::FILE* out) {
    print(out, "  プログラムのコピー(KIRODA.EXE): %s\n",
          localized(f.has_program ? "あり" : "なし"));
    if (f.unfinished) {
        print(out, "  未完成: バックアップが終わる前に中断されました (" KIRODA_UNFINISHED_MARK_NAME
                   ")。--resume で続けて完成させて下さい\n");
    }
}

// What the digest file says, in words.
void write_digests_text(const set_facts& f, std::FILE* out) {
    switch (f.digests_state) {
        case digests_read::absent:
            print(out, "  ダイジェスト: なし (" KIRODA_DIGEST_FILE_NAME " がありません)\n");
            break;
        case digests_read::unreadable:
            print(out, "  ダイジェスト: " KIRODA_DIGEST_FILE_NAME " を読めません(%d 行目)\n",
                  f.digests_bad_line);
            break;
        case digests_read::read: {
            char stream[kDigestHexLength + 1];
            format_digest(stream, f.digests.stream);
            char blocks[64], files[64];
            std::snprintf(blocks, sizeof blocks,
                          f.digests.blocks.size() == 1 ? localized("ブロック 1 個")
                                                       : localized("ブロック %d 個"),
                          static_cast<int>(f.digests.blocks.size()));
            std::snprintf(files, sizeof files,
                          f.digests.files.size() == 1 ? localized("データファイル 1 個")
                                                      : localized("データファイル %d 個"),
                          static_cast<int>(f.digests.files.size()));
            print(out, "  ダイジェスト: " KIRODA_DIGEST_FILE_NAME " (XXH3-128、%s、%s)%s\n", blocks,
                  files,
                  f.digests_same_set ? "" : localized(" (ヘッダファイルが記録と一致しません)"));
            print(out, "  ディスク全体のダイジェスト: %s\n", stream);
            if (f.blocks_unlike_digests > 0) {
                print(out, "  ダイジェストと一致しないブロック: %d 個\n", f.blocks_unlike_digests);
            }
            break;
        }
    }
}

int write_text(const std::string& folder, const set_facts& f, std::FILE* out) {
    const backup_header& h = f.header;
    char bytes[kGroupedTextSize];
    format_uint64_grouped(bytes, h.backup_bytes);
    print(out, "バックアップデータ: %s\n", folder.c_str());
    print(out, "  作成: %04u-%02u-%02u %02u:%02u:%02u\n", h.created.year, h.created.month,
          h.created.day, h.created.hour, h.created.minute, h.created.second);
    print(out, "  バージョン: %.2f\n", h.version);
    print(out, "  作成したプログラム: %s\n", caption_text(h.caption).c_str());
    // The wizard's disk number means nothing on Linux: shown only for a
    // set that has no record of its source's path.
    source_disk recorded;
    if (read_source_disk(folder.c_str(), &recorded) != source_disk_read::read)
        print(out, "  元ディスク: Windows のディスク %d\n", h.source_disk);
    write_source_text(folder, f.source_proof, out);
    char sectors[kGroupedTextSize], mb[kGroupedTextSize], set_text[kGroupedTextSize];
    format_uint64_grouped(sectors, h.backup_bytes / 512);
    format_uint64_grouped(mb, h.backup_bytes / 1000000);
    format_uint64_grouped(set_text, f.set_bytes);
    print(out, "  ディスクの大きさ: %s バイト (%s MB、%s セクタ)\n", bytes, mb, sectors);
    print(out, "  バックアップデータの大きさ: %s バイト (圧縮率 %s)\n", set_text,
          ratio_text(h.backup_bytes, f.set_bytes).c_str());
    for (const data_file_facts& file : f.files) {
        char grouped[kGroupedTextSize], unpacked[kGroupedTextSize], blocks[64];
        format_uint64_grouped(grouped, file.file_bytes);
        format_uint64_grouped(unpacked, file.bytes);
        std::snprintf(blocks, sizeof blocks,
                      file.blocks == 1 ? localized("ブロック 1 個") : localized("ブロック %d 個"),
                      file.blocks);
        print(out, "  " KIRODA_DATA_FILE_NAME_FORMAT ": %s バイト、%s (ディスクの %s バイト)%s\n",
              file.number, grouped, blocks, unpacked,
              file.damaged ? localized(" (壊れたブロックがあります)") : "");
    }
    char total_text[kGroupedTextSize];
    format_uint64_grouped(total_text, f.data_bytes);
    print(out, "  データファイルが持つディスクのデータ: %s バイト%s\n", total_text,
          f.data_bytes < h.backup_bytes ? localized(" (足りません)")
          : f.data_bytes > h.backup_bytes ? localized(" (ヘッダファイルの大きさを超えています)")
                                          : "");
    if (f.misshapen) {
        print(out,
              "  構成: 正しくありません(最後以外のデータファイルは 60 ブロック、"
              "最後以外のブロックは 16,777,216 バイトです)\n");
    }
    write_digests_text(f, out);
    const bool map_ok = report_bad_sectors(folder, out, "  ");
    write_set_ending_text(f, out);
    return f.ok(map_ok) ? kExitDone : kExitFailed;
}

}  // namespace

int run_info_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const parsed_options options = parse_options(args, {"--json"}, {}, {"SETDIR"});
    if (!options.error.empty() || options.operands.size() != 1) {
        if (!options.error.empty()) print(err, "krdtool info: %s\n", options.error.c_str());
        print(err, "使い方: krdtool info [--json] SETDIR\n");
        return kExitUsage;
    }
    const std::string& folder = options.operands[0];
    backup_header h{};
    {
        terminal_messages messages(err, question_answer::cancel);
        if (read_header_file(nullptr, folder.c_str(), &h) != header_read::read) return kExitFailed;
    }
    const set_facts facts = collect_facts(folder, h);
    if (options.has("--json")) return write_json(folder, facts, out);
    const int status = write_text(folder, facts, out);
    report_lost_files(folder, out, err, "  ");
    return status;
}

}  // namespace kiroda::cli
