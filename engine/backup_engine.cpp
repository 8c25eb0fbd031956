#include "engine/backup_engine.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "ui/program.h"
#include "ui/stored_text.h"
#include "engine/chunk_buffer.h"
#include "engine/backup_resume.h"
#include "engine/data_file.h"
#include "engine/rescue_read.h"
#include "format/bad_sector_map.h"
#include "engine/side_task.h"
#include "format/digest.h"
#include "format/header_file.h"
#include "format/packed_block.h"
#include "format/set_digests.h"
#include "util/file_io.h"
#include "util/free_space.h"
#include "util/number_format.h"
#include "util/path.h"

namespace kiroda {

namespace {

constexpr enciphered_text kCannotOpenSource{"元ディスク(ディスク %d)を開けません。"};
constexpr enciphered_text kSeekFailed{"元ディスク(ディスク %d)の先頭に移動できません。"};
constexpr enciphered_text kNoFreeSpace{
    "バックアップ先の空き容量を調べられないか、空きがありません。\n\n%s"};
constexpr enciphered_text kNotEnoughSpace{
    "バックアップ先の空き容量が足りません。\n空き容量: %s バイト\n\n"
    "空きのあるメディアに交換して、はじめからやり直して下さい。"};
constexpr enciphered_text kCannotCreate{"バックアップファイルを作成できません。\n\n%s"};
constexpr enciphered_text kWriteFailed{
    "バックアップファイルへの書き込みに失敗しました。\n\n%s\n残りセクタ = %lld (コード %d)"};
constexpr enciphered_text kNothingToBackUp{
    "元ディスク(ディスク %d)の大きさが 512 バイトに足りないため、バックアップできません。"};
constexpr enciphered_text kRescueQuestion{
    "元ディスクのセクタ %s を読めません。\n\n"
    "読めないセクタを 0 で埋めてバックアップを続けますか?\n"
    "(読めなかったセクタはバックアップデータの KRDMAP.TXT に記録されます)\n\n"
    "続ける: OK　　中止: キャンセル"};
constexpr enciphered_text kRescueDone{
    "バックアップが終わりました。\n\n元ディスクの読めなかったセクタ %s 個は 0 で埋めてあります。\n"
    "どのセクタかはバックアップデータの %s に記録しました。"};
constexpr enciphered_text kCannotWriteMap{
    "読めないセクタの記録(KRDMAP.TXT)を書き込めませんでした。\n\n%s"};
constexpr enciphered_text kCannotWriteDigests{
    "ダイジェストファイル(KRDHASH.TXT)を書き込めませんでした。\n\n%s"};
constexpr enciphered_text kCannotComplete{
    "バックアップファイルを書き終えられませんでした。\n(ディスクへの書き出しに失敗しました)\n\n%s"};

// Fixed text: a read of the source disk failed; the value is the sectors left.
constexpr const char* kDiskReadError =
    "DiskRead(元ディスク読込み中) Error\n残りｾｸﾀ      = %lld(Sect)";

// Writes the data file's last bytes to the volume and closes it. A set that
// looks complete but lost its tail in a write cache is worse than a failure.
bool finish_data_file(unique_fd& file) {
    const bool committed = commit_file(file.get());
    return file.reset() && committed;
}

}  // namespace

int copy_disk_to_data_files(progress& p, const char* folder, const disk_handle& disk,
                            std::uint64_t sectors, int disk_number, const backup_options& options,
                            backup_state& state) {
    // Aligned: a rescue re-reads into it through a handle that bypasses the cache.
    chunk_buffer chunk(kChunkBytes);
    block_scratch scratch;
    if (chunk.data() == nullptr || scratch.get(kBlockHeaderSize + kChunkBytes) == nullptr) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotComplete), folder);
        return 0;
    }
    // The set's digests, gathered as it is written: every chunk, every data
    // file's bytes as they go out, and the whole stream.
    if (!state.file_digest.ready() || !state.stream_digest.ready()) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotComplete), folder);
        return 0;
    }
    struct file_tally {
        digest_stream* digest;
        std::uint64_t* bytes;
    } tally{&state.file_digest, &state.file_bytes};
    const byte_observer observer{[](void* context, const void* data, std::size_t size) {
                                     auto* t = static_cast<file_tally*>(context);
                                     t->digest->add(data, size);
                                     *t->bytes += size;
                                 },
                                 &tally};

    unique_fd file;
    auto close_data_file = [&] {
        state.digests.files.push_back({state.file_bytes, state.file_digest.value()});
        state.file_digest.reset();
        state.file_bytes = 0;
        state.blocks_in_file = 0;
        ++state.file_number;
        return finish_data_file(file);
    };
    char path[kPathCapacity + 16] = "";
    std::uint64_t left = sectors > state.next_sector ? sectors - state.next_sector : 0;
    rescue_reader reader(disk, disk_number);
    // Sectors an earlier, interrupted run of this backup lost already.
    const std::uint64_t lost_earlier =
        state.map.sectors(sector_state::unreadable) + state.map.sectors(sector_state::not_tried);
    // The chunk read ahead: its runs join the map when it is taken.
    struct read_ahead_result {
        bool done = false;  // the chunk buffer holds the next chunk already
        bool ok = true;
        std::uint64_t lost_before = 0;
        bad_sector_map map;
    } ahead;
    if (options.rescue) state.rescuing = true;
    if (state.rescuing) state.keeps_map = true;
    // The map is written after each data file and at the end, and before
    // any block that holds a lost sector: so a block the map does not reach
    // was read whole, which is what lets an interrupted backup go on.
    auto write_map = [&](bool finished) {
        if (!state.keeps_map || write_bad_sector_map(folder, state.map, finished)) return true;
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotWriteMap), folder);
        return false;
    };

    while (left > 0) {
        if (!p.running()) return 0;  // `file` is closed on the way out
        char line[160];
        format_bytes_left(line, sizeof line, left * 512);
        if (lost_earlier + reader.lost_sectors() > 0) {
            char lost[kGroupedTextSize];
            format_uint64_grouped(lost, lost_earlier + reader.lost_sectors());
            std::snprintf(line + std::strlen(line), sizeof line - std::strlen(line),
                          "  読めないセクタ %s", lost);
        }
        p.set_detail(line);
        p.set_bytes_left(left * 512);

        const auto count = static_cast<std::uint32_t>(left < kChunkSectors ? left : kChunkSectors);
        const std::uint64_t first = state.next_sector;
        // The chunk was read ahead while the one before was written, or is
        // read now (the first).
        if (!ahead.done) {
            ahead.map = bad_sector_map();
            ahead.lost_before = reader.lost_sectors();
            ahead.ok = reader.read_chunk(first, count, chunk.data(), ahead.map);
        }
        ahead.done = false;
        if (!ahead.ok) {
            show_message(p.owner(), kMbOk, program_caption(), kDiskReadError,
                         static_cast<long long>(left));
            return 0;
        }
        for (const sector_run& r : ahead.map.runs()) state.map.add(r.first, r.count, r.state);
        const bool chunk_lost_sectors = reader.lost_sectors() > ahead.lost_before;
        if (chunk_lost_sectors && !state.rescuing) {
            // The first unreadable sector: go on past such sectors, or stop
            // as a read error always has.
            const std::vector<sector_run> lost = ahead.map.bad_runs();
            const std::uint64_t bad = lost.empty() ? first : lost.front().first;
            char where[kGroupedTextSize];
            format_uint64_grouped(where, bad);
            if (!options.ask_to_go_past ||
                show_message(p.owner(), kMbOkCancel, program_caption(),
                             get_stored_text(kRescueQuestion), where) != kIdOk) {
                show_message(p.owner(), kMbOk, program_caption(), kDiskReadError,
                             static_cast<long long>(left));
                return 0;
            }
            state.rescuing = true;
            state.keeps_map = true;
        }
        if (!p.running()) return 0;
        if (chunk_lost_sectors && !write_map(false)) return 0;

        if (!file.valid()) {
            const double free_bytes = get_folder_free_bytes(folder);
            if (!(free_bytes >= 1.0)) {
                show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kNoFreeSpace),
                             folder);
                return 0;
            }
            // Room for the whole file, headers of its blocks included, so a
            // full volume shows here and not as a write error halfway.
            const auto free_whole = static_cast<std::uint64_t>(free_bytes);
            // A file an interrupted run began needs room for its blocks still to come.
            const std::uint64_t room_in_file =
                static_cast<std::uint64_t>(kBlocksPerDataFile - state.blocks_in_file) *
                kChunkSectors;
            if (free_whole < data_file_bytes_needed(left < room_in_file ? left : room_in_file)) {
                char grouped[kGroupedTextSize];
                format_uint64_grouped(grouped, free_whole);
                show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kNotEnoughSpace),
                             grouped);
                return 0;
            }
            if (!data_file_path(folder, state.file_number, path, sizeof path)) {
                show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotCreate),
                             folder);
                return 0;
            }
            // A new file is truncated on open: an older, longer file of the
            // same name must not leave blocks behind that would be read as
            // part of this set. A file an interrupted run began is cut after
            // its last whole block and written on.
            file.reset(state.file_bytes > 0
                           ? open_to_continue(path, static_cast<std::int64_t>(state.file_bytes))
                           : open_for_writing(path));
            if (!file.valid()) {
                show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotCreate),
                             path);
                return 0;
            }
        }

        const std::size_t chunk_bytes = std::size_t{count} * 512;
        // The chunk's two digests are taken beside the packing. Once both
        // are done a packed block lies in the scratch and the chunk buffer is
        // free: the next chunk is read into it while the block is written.
        digest128 block_digest;
        encoded_block block;
        {
            side_task digests_of_chunk([&] {
                block_digest = digest_bytes(chunk.data(), chunk_bytes);
                state.stream_digest.add(chunk.data(), chunk_bytes);
            });
            block =
                encode_packed_block(chunk.data(), static_cast<std::int32_t>(chunk_bytes), scratch);
        }
        // A stored block is written from the chunk itself: then the next
        // chunk waits for the write instead of overwriting it.
        std::optional<side_task> read_ahead;
        if (left > count && p.running() && !block.uses_chunk()) {
            const std::uint64_t next_left = left - count;
            const auto next_count =
                static_cast<std::uint32_t>(next_left < kChunkSectors ? next_left : kChunkSectors);
            ahead.map = bad_sector_map();
            ahead.lost_before = reader.lost_sectors();
            read_ahead.emplace([&ahead, &reader, &chunk, first, count, next_count] {
                ahead.ok = reader.read_chunk(first + count, next_count, chunk.data(), ahead.map);
            });
            ahead.done = true;
        }
        // Each block is committed before the next: after a power cut the
        // blocks of a data file are on the volume as written, up to the one
        // in flight, which a resume finds cut or damaged and drops. (Without
        // it a file system may keep the file's length but not its data.)
        const std::int32_t written = write_encoded_block(file.get(), block, &observer);
        const bool committed = written >= 0 && commit_file(file.get());
        if (read_ahead) read_ahead->wait();
        if (written < 0) {
            file.reset();
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kWriteFailed), path,
                         static_cast<long long>(left), static_cast<int>(written));
            return 0;
        }
        if (!committed) {
            file.reset();
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotComplete),
                         path);
            return 0;
        }
        state.digests.blocks.push_back({static_cast<std::int32_t>(chunk_bytes), block_digest});
        state.next_sector += count;
        left -= count;
        if (++state.blocks_in_file == kBlocksPerDataFile) {
            if (!close_data_file()) {
                show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotComplete),
                             path);
                return 0;
            }
            if (!write_map(false)) return 0;
        }
    }
    if (file.valid() && !close_data_file()) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotComplete), path);
        return 0;
    }
    if (!write_map(true)) return 0;
    set_digests& digests = state.digests;
    if (state.keeps_map) {
        const std::string text = encode_bad_sector_map(state.map, true);
        digests.sides.push_back(
            {kBadSectorMapName, text.size(), digest_bytes(text.data(), text.size())});
    }
    // Last of all, so a set whose digest file is there was written whole.
    digests.stream_bytes = sectors * 512;
    digests.stream = state.stream_digest.value();
    if (!digest_header_file(folder, &digests.header_bytes, &digests.header) ||
        !write_set_digests(folder, digests)) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotWriteDigests),
                     folder);
        return 0;
    }
    // "The backup is done" only once it is: after the digest file.
    const std::uint64_t lost_in_all = lost_earlier + reader.lost_sectors();
    if (lost_in_all > 0) {
        char lost[kGroupedTextSize];
        format_uint64_grouped(lost, lost_in_all);
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kRescueDone), lost,
                     kBadSectorMapName);
    }
    return 1;
}

int backup_disk(progress& p, int source_disk, const char* folder, std::uint64_t backup_size,
                const backup_options& options) {
    disk_handle disk = open_physical_disk(source_disk, 'r');
    if (!disk.valid()) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotOpenSource),
                     source_disk);
        return kEngineFailed;
    }
    const std::uint64_t sectors = backup_size / 512;
    // A set of no sectors could never be restored (its header reads as
    // damaged), so it is refused rather than reported as a backup.
    if (sectors == 0) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kNothingToBackUp),
                     source_disk);
        return kEngineFailed;
    }
    p.set_button("キャンセル");
    backup_state state;
    bool header_written = false;
    if (options.resume) {
        p.set_status("バックアップデータ確認中");
        const resume_finding finding =
            examine_unfinished_set(p, folder, disk, source_disk, sectors, &state);
        if (finding.verdict != unfinished_set::resumable) {
            report_unfinished_set(p, finding, source_disk, folder, sectors);
            return kEngineFailed;
        }
        if (!prepare_unfinished_set(p, folder, state)) return kEngineFailed;
        if (state.keeps_map && !write_bad_sector_map(folder, state.map, false)) {
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotWriteMap),
                         folder);
            return kEngineFailed;
        }
        header_written = finding.header_written;
    }
    if (!header_written) {
        p.set_status("ヘッダファイル作成中");
        if (write_header_file(p.owner(), source_disk, folder, sectors * 512) != 1)
            return kEngineFailed;
    }
    p.set_status("ディスクバックアップ中");
    if (!seek_sector(disk, 0)) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kSeekFailed),
                     source_disk);
        return kEngineFailed;
    }
    if (copy_disk_to_data_files(p, folder, disk, sectors, source_disk, options, state) != 1)
        return kEngineFailed;
    p.set_status("バックアップ完了");
    return kEngineDone;
}

}  // namespace kiroda
