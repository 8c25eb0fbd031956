#include <memory>

#include "cli/bad_sector_report.h"
#include "cli/command.h"
#include "cli/options.h"
#include "cli/engine_run.h"
#include "cli/set_commands.h"
#include "cli/terminal_messages.h"
#include "engine/data_file.h"
#include "format/header_file.h"
#include "format/packed_block.h"
#include "format/set_digests.h"
#include "util/file_io.h"
#include "util/number_format.h"
#include "util/path.h"
#include "util/path_query.h"

namespace kiroda::cli {

namespace {

// The caption is Shift-JIS in every set; its only non-ASCII character is the
// alpha of the version, shown here as the terminal's own.
std::string caption_text(const char* sjis) {
    std::string text;
    for (const char* p = sjis; *p != '\0'; ++p) {
        if (p[0] == '\x83' && p[1] == '\xBF') {
            text += "α";
            ++p;
        } else if (static_cast<unsigned char>(*p) < 0x80) {
            text += *p;
        } else {
            text += '?';
        }
    }
    return text;
}

}  // namespace

int run_info_command(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const parsed_options options = parse_options(args, {});
    if (!options.error.empty() || options.operands.size() != 1) {
        if (!options.error.empty()) std::fprintf(err, "krdtool info: %s\n", options.error.c_str());
        std::fputs("使い方: krdtool info SETDIR\n", err);
        return kExitUsage;
    }
    const std::string& folder = options.operands[0];
    backup_header h{};
    {
        terminal_messages messages(err, false);
        if (read_header_file(nullptr, folder.c_str(), &h) != header_read::read) return kExitFailed;
    }
    char bytes[kGroupedTextSize];
    format_uint64_grouped(bytes, h.backup_bytes);
    std::fprintf(out, "バックアップデータ: %s\n", folder.c_str());
    std::fprintf(out, "  作成: %04u-%02u-%02u %02u:%02u:%02u\n", h.created.year, h.created.month,
                 h.created.day, h.created.hour, h.created.minute, h.created.second);
    std::fprintf(out, "  バージョン: %.2f\n", h.version);
    std::fprintf(out, "  作成したプログラム: %s\n", caption_text(h.caption).c_str());
    std::fprintf(out, "  元ディスク: %d\n", h.source_disk);
    char sectors[kGroupedTextSize];
    format_uint64_grouped(sectors, h.backup_bytes / 512);
    std::fprintf(out, "  データの大きさ: %s バイト (%s セクタ)\n", bytes, sectors);

    set_digests digests;
    int bad_line = 0;
    bool digests_wrong = false;
    const digests_read digests_state = read_set_digests(folder.c_str(), &digests, &bad_line);
    std::size_t block_index = 0;
    int blocks_unlike_digests = 0;

    // Every data file there is, block by block, until one is missing.
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunkBytes]);
    block_scratch scratch;
    std::uint64_t total = 0;
    bool damaged = false;
    // The set's shape: 60 blocks in every file but the last, whole chunks
    // in every block but the last.
    bool misshapen = false;
    int files = 0;
    int last_file_blocks = 0;
    bool short_block_seen = false;
    for (int number = 1;; ++number) {
        char path[kPathCapacity + 16];
        if (!data_file_path(folder.c_str(), number, path, sizeof path)) break;
        unique_fd fd(open_for_reading(path));
        if (!fd.valid()) break;
        int blocks = 0;
        std::uint64_t file_bytes = 0;
        std::int32_t result = 0;
        if (files > 0 && last_file_blocks != kBlocksPerDataFile) misshapen = true;
        while (at_end_of_file(fd.get()) == 0) {
            result = read_packed_block(fd.get(), buffer.get(), kChunkBytes, scratch);
            if (result < 0) break;
            if (short_block_seen) misshapen = true;
            short_block_seen = result != kChunkBytes;
            if (digests_state == digests_read::read &&
                (block_index >= digests.blocks.size() || digests.blocks[block_index].bytes != result ||
                 digests.blocks[block_index].digest != digest_bytes(buffer.get(), static_cast<std::size_t>(result)))) {
                ++blocks_unlike_digests;
            }
            ++block_index;
            ++blocks;
            file_bytes += static_cast<std::uint64_t>(result);
        }
        ++files;
        last_file_blocks = blocks;
        if (blocks > kBlocksPerDataFile) misshapen = true;
        char grouped[kGroupedTextSize];
        format_uint64_grouped(grouped, file_bytes);
        std::fprintf(out, "  KRD%05d.BIN: ブロック %d 個、%s バイト%s\n", number, blocks, grouped,
                     result < 0 ? " (壊れたブロックがあります)" : "");
        damaged = damaged || result < 0;
        total += file_bytes;
    }
    char total_text[kGroupedTextSize];
    format_uint64_grouped(total_text, total);
    std::fprintf(out, "  データファイルの合計: %s バイト%s\n", total_text,
                 total < h.backup_bytes   ? " (足りません)"
                 : total > h.backup_bytes ? " (ヘッダファイルの大きさを超えています)"
                                          : "");
    if (misshapen) {
        std::fprintf(out, "  構成: 正しくありません(最後以外のデータファイルは 60 ブロック、"
                          "最後以外のブロックは 16,777,216 バイトです)\n");
    }
    switch (digests_state) {
        case digests_read::absent:
            std::fprintf(out, "  ダイジェスト: なし (KRDHASH.TXT がありません)\n");
            break;
        case digests_read::unreadable:
            std::fprintf(out, "  ダイジェスト: KRDHASH.TXT を読めません(%d 行目)\n", bad_line);
            digests_wrong = true;
            break;
        case digests_read::read: {
            std::uint64_t header_bytes = 0;
            digest128 header;
            const bool same_set = digest_header_file(folder.c_str(), &header_bytes, &header) &&
                                  header_bytes == digests.header_bytes && header == digests.header &&
                                  digests.stream_bytes == h.backup_bytes;
            char stream[kDigestHexLength + 1];
            format_digest(stream, digests.stream);
            std::fprintf(out, "  ダイジェスト: KRDHASH.TXT (XXH3-128、ブロック %zu 個、データファイル %zu 個)%s\n",
                         digests.blocks.size(), digests.files.size(),
                         same_set ? "" : " (ヘッダファイルが記録と一致しません)");
            std::fprintf(out, "  ディスク全体のダイジェスト: %s\n", stream);
            if (blocks_unlike_digests > 0) {
                std::fprintf(out, "  ダイジェストと一致しないブロック: %d 個\n", blocks_unlike_digests);
            }
            digests_wrong = !same_set || blocks_unlike_digests > 0;
            break;
        }
    }
    const bool map_ok = report_bad_sectors(folder, out, "  ");
    char program[kPathCapacity + 16];
    const bool has_program = join_path(folder.c_str(), "KIRODA.EXE", program, sizeof program) &&
                             path_exists(program);
    std::fprintf(out, "  プログラムのコピー(KIRODA.EXE): %s\n", has_program ? "あり" : "なし");
    return (damaged || misshapen || digests_wrong || !map_ok || total != h.backup_bytes) ? kExitFailed : kExitDone;
}

}  // namespace kiroda::cli
