#include "engine/backup_resume.h"

#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <vector>

#include "engine/chunk_buffer.h"
#include "engine/data_file.h"
#include "engine/rescue_read.h"
#include "format/header_file.h"
#include "format/packed_block.h"
#include "ui/program.h"
#include "ui/stored_text.h"
#include "util/file_io.h"
#include "util/number_format.h"
#include "util/path.h"
#include "util/path_query.h"

namespace kiroda {

namespace {

constexpr enciphered_text kComplete{
    "バックアップ先のバックアップデータは完成しています。続けるものはありません。\n\n%s"};
constexpr enciphered_text kOtherDisk{
    "バックアップ先のバックアップデータは別のディスクのものです。続けられません。\n"
    "バックアップデータ %s バイト、元ディスク(ディスク %d) %s バイト\n\n%s"};
constexpr enciphered_text kDamaged{
    "バックアップ先のバックアップデータが壊れているため、続けられません。\n%s のブロック %d を読めません。"};
constexpr enciphered_text kUnreadable{
    "バックアップ先のバックアップデータを読めないため、続けられません。\n\n%s"};
constexpr enciphered_text kDifferentData{
    "バックアップ先のバックアップデータの最後のブロックが元ディスク(ディスク %d)の内容と一致しません。"
    "(セクタ %s から)\n別のディスクのバックアップデータは続けられません。"};
constexpr enciphered_text kUnconfirmed{
    "バックアップ先のバックアップデータが元ディスク(ディスク %d)のものか確かめられません。\n"
    "(比べられるセクタがありません) 続けられません。"};
constexpr enciphered_text kCannotCommit{"バックアップファイルをディスクに書き出せません。\n\n%s"};

enum class file_data { none, some, unreadable };

// Whether the file at `path` holds at least one byte. A file that is there
// but cannot be opened or read is not an empty one.
file_data data_in(const char* path) {
    unique_fd fd(open_for_reading(path));
    if (!fd.valid()) return path_exists(path) == 1 ? file_data::unreadable : file_data::none;
    const int end = at_end_of_file(fd.get());
    return end < 0 ? file_data::unreadable : end == 0 ? file_data::some : file_data::none;
}

// Per sector of the chunk at `first`: was it read (not lost) in `map`?
std::vector<bool> sectors_read(const bad_sector_map& map, std::uint64_t first,
                               std::uint32_t count) {
    std::vector<bool> read(count, true);
    const std::uint64_t end = first + count;
    for (const sector_run& r : map.runs()) {
        if (r.state == sector_state::read) continue;
        // Only the part inside the chunk: a run may span terabytes.
        const std::uint64_t from = r.first > first ? r.first : first;
        const std::uint64_t to = r.first + r.count < end ? r.first + r.count : end;
        for (std::uint64_t s = from; s < to; ++s) read[s - first] = false;
    }
    return read;
}

// Where the last kept block lies, to compare it with the disk.
struct kept_block {
    std::string path;
    std::int64_t offset = -1;  // none kept while negative
    std::uint64_t first = 0;
    std::uint32_t count = 0;
};

enum class comparison { same, differs, set_unreadable, disk_unreadable };

// Compares a kept block with the disk, sector by sector; sectors lost in
// the set (zeros there) or now are left out. `differs` gets the first
// sector that differs; `compared` counts the sectors compared. A careful
// read goes past unreadable sectors as a rescue does; a quick one (the
// wizard's look, on its window's thread) reads the chunk once and gives
// up on a failure. The memory is the caller's, kept across calls:
// `buffer` for the block, `source` (aligned) for the disk's chunk.
comparison compare_with_disk(const kept_block& block, const bad_sector_map& map,
                             const disk_handle& disk, int disk_number, bool careful,
                             unsigned char* buffer, block_scratch& scratch, chunk_buffer& source,
                             std::uint64_t* differs, std::uint64_t* compared) {
    unique_fd fd(open_for_reading(block.path.c_str()));
    if (!fd.valid() || !skip_forward(fd.get(), block.offset) ||
        read_packed_block(fd.get(), buffer, kChunkBytes, scratch) !=
            static_cast<std::int32_t>(block.count * kSectorBytes)) {
        return comparison::set_unreadable;
    }
    bad_sector_map now;
    if (careful) {
        rescue_reader reader(disk, disk_number);
        reader.read_chunk(block.first, block.count, source.data(), now);
    } else if (!seek_sector(disk, block.first) || !read_sectors(disk, block.count, source.data())) {
        return comparison::disk_unreadable;
    }
    const std::vector<bool> read_then = sectors_read(map, block.first, block.count);
    const std::vector<bool> read_now = sectors_read(now, block.first, block.count);
    for (std::uint32_t s = 0; s < block.count; ++s) {
        if (!read_then[s] || !read_now[s]) continue;
        ++*compared;
        const std::size_t at = std::size_t{s} * kSectorBytes;
        if (std::memcmp(buffer + at, source.data() + at, kSectorBytes) != 0) {
            *differs = block.first + s;
            return comparison::differs;
        }
    }
    return comparison::same;
}

}  // namespace

resume_finding examine_unfinished_set(progress& p, const char* folder, const disk_handle& disk,
                                      int disk_number, std::uint64_t sectors, backup_state* state) {
    resume_finding f;
    char path[kPathCapacity + 16];
    auto fail = [&f](unfinished_set verdict, const char* file, int block = 0) {
        f.verdict = verdict;
        f.file = file;
        f.block = block;
        return f;
    };
    if (!data_file_path(folder, 1, path, sizeof path))
        return fail(unfinished_set::unreadable, folder);
    backup_header header{};
    if (!read_header_silently(folder, &header)) {
        // Cut short while the header was written: nothing to keep.
        const file_data first = data_in(path);
        if (first == file_data::unreadable) return fail(unfinished_set::unreadable, path);
        if (first == file_data::some) return fail(unfinished_set::unreadable, kHeaderFileName);
        return f;
    }
    f.header_written = true;
    if (header.backup_bytes != sectors * kSectorBytes) {
        f.set_bytes = header.backup_bytes;
        return fail(unfinished_set::other_disk, kHeaderFileName);
    }
    char side[kPathCapacity + 16];
    if (join_path(folder, kDigestFileName, side, sizeof side) && path_exists(side)) {
        return fail(unfinished_set::complete, kDigestFileName);
    }
    bad_sector_map earlier;
    int bad_line = 0;
    const map_read map_state = read_bad_sector_map(folder, &earlier, &bad_line);
    if (map_state == map_read::unreadable)
        return fail(unfinished_set::unreadable, kBadSectorMapName);
    // The set went past unreadable sectors: its map goes on (whether new
    // ones are asked about is the caller's --rescue, not the set's).
    state->keeps_map = map_state == map_read::read;

    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kChunkBytes]);
    block_scratch scratch;
    if (buffer == nullptr) return fail(unfinished_set::unreadable, folder);
    // The file's bytes go to its digest as they are read; the digest as it
    // stood before each block is kept, to be put back when the block does
    // not read (the file is cut there).
    digest_stream before_block;
    if (!before_block.ready()) return fail(unfinished_set::unreadable, folder);
    struct file_tally {
        digest_stream* digest;
        std::uint64_t bytes;
    } tally{&state->file_digest, 0};
    const byte_observer observer{[](void* context, const void* data, std::size_t size) {
                                     auto* t = static_cast<file_tally*>(context);
                                     t->digest->add(data, size);
                                     t->bytes += size;
                                 },
                                 &tally};
    kept_block last;
    // Every data file in turn: all but the last hold 60 whole blocks; the
    // last may end in the block that was in flight, which is cut off.
    int number = 1;
    for (;; ++number) {
        if (!data_file_path(folder, number, path, sizeof path))
            return fail(unfinished_set::unreadable, folder);
        unique_fd fd(open_for_reading(path));
        if (!fd.valid()) break;
        std::uint64_t offset = 0;
        int blocks = 0;
        bool tail = false;  // a block that does not read: the end of what is kept
        int tail_block = 0;
        state->file_digest.reset();
        tally.bytes = 0;
        for (;;) {
            const int end = at_end_of_file(fd.get());
            if (end < 0) return fail(unfinished_set::unreadable, path);
            if (end == 1) break;
            if (!p.running()) return fail(unfinished_set::stopped, "");
            char line[64];
            format_bytes_left(line, sizeof line, (sectors - state->next_sector) * kSectorBytes);
            p.set_detail(line);
            p.set_bytes_left((sectors - state->next_sector) * kSectorBytes);
            const std::uint64_t left = sectors - state->next_sector;
            const auto count =
                static_cast<std::uint32_t>(left < kChunkSectors ? left : kChunkSectors);
            before_block.copy_from(state->file_digest);
            const std::int32_t result =
                left == 0 || blocks == kBlocksPerDataFile
                    ? kBlockBadLength
                    : read_packed_block(fd.get(), buffer.get(), kChunkBytes, scratch, &observer);
            if (result != static_cast<std::int32_t>(count * kSectorBytes)) {
                tail = true;
                tail_block = blocks + 1;
                break;
            }
            state->digests.blocks.push_back(
                {result, digest_bytes(buffer.get(), static_cast<std::size_t>(result))});
            state->stream_digest.add(buffer.get(), static_cast<std::size_t>(result));
            last = {path, static_cast<std::int64_t>(offset), state->next_sector, count};
            offset = tally.bytes;
            state->next_sector += count;
            ++blocks;
        }
        state->file_number = number;
        state->blocks_in_file = blocks;
        state->file_bytes = offset;
        if (tail) {
            state->file_digest.copy_from(before_block);
            f.file = path;
            f.block = tail_block;
            f.cut = true;
        }
        // A full file, or one that holds the disk's last block, is closed.
        if (blocks == kBlocksPerDataFile || (blocks > 0 && state->next_sector == sectors)) {
            state->digests.files.push_back({offset, state->file_digest.value()});
            state->file_digest.reset();
            state->file_number = number + 1;
            state->blocks_in_file = 0;
            state->file_bytes = 0;
            if (!tail && state->next_sector < sectors) continue;
        }
        break;
    }
    // Nothing may follow the file where the kept blocks end: a block that
    // does not read there, or a hole, is damage, not the block in flight.
    char next[kPathCapacity + 16];
    if (!data_file_path(folder, number + 1, next, sizeof next))
        return fail(unfinished_set::unreadable, folder);
    const file_data after = data_in(next);
    if (after == file_data::unreadable) return fail(unfinished_set::unreadable, next);
    if (after == file_data::some) {
        if (f.cut) return fail(unfinished_set::damaged, std::string(f.file).c_str(), f.block);
        return fail(unfinished_set::damaged, next, 1);
    }
    // The map as one run would have it here: what the earlier run recorded
    // up to the kept blocks, and read sectors beyond it (the map is written
    // before any block that lost sectors, so the blocks past it lost none).
    for (const sector_run& r : earlier.runs()) {
        if (r.first >= state->next_sector) break;
        const std::uint64_t room = state->next_sector - r.first;
        state->map.add(r.first, r.count < room ? r.count : room, r.state);
    }
    if (state->map.end() < state->next_sector) {
        state->map.add(state->map.end(), state->next_sector - state->map.end(), sector_state::read);
    }
    // The disk must be the set's: its first block (the MBR, with the disk's
    // signature, and what follows) and its last whole block, sector by
    // sector, and at least one sector compared.
    if (last.offset >= 0) {
        char first_path[kPathCapacity + 16];
        if (!data_file_path(folder, 1, first_path, sizeof first_path))
            return fail(unfinished_set::unreadable, folder);
        const kept_block first_block{
            first_path, 0, 0,
            static_cast<std::uint32_t>(sectors < kChunkSectors ? sectors : kChunkSectors)};
        std::uint64_t compared = 0;
        chunk_buffer source(kChunkBytes);
        if (source.data() == nullptr) return fail(unfinished_set::unreadable, folder);
        for (const kept_block* block :
             std::initializer_list<const kept_block*>{&first_block, &last}) {
            if (block == &last && last.first == 0) break;  // one block: compared already
            std::uint64_t differs = 0;
            switch (compare_with_disk(*block, state->map, disk, disk_number, true, buffer.get(),
                                      scratch, source, &differs, &compared)) {
                case comparison::same:
                    break;
                case comparison::differs:
                    f.sector = differs;
                    return fail(unfinished_set::different_data, block->path.c_str());
                case comparison::set_unreadable:
                    return fail(unfinished_set::unreadable, block->path.c_str());
                case comparison::disk_unreadable:
                    return fail(unfinished_set::unreadable, folder);
            }
        }
        if (compared == 0) return fail(unfinished_set::unconfirmed, last.path.c_str());
    }
    return f;
}

bool unfinished_set_of_disk(const char* folder, int disk_number, std::uint64_t sectors) {
    backup_header header{};
    char path[kPathCapacity + 16];
    if (!read_header_silently(folder, &header) || header.backup_bytes != sectors * kSectorBytes ||
        !join_path(folder, kDigestFileName, path, sizeof path) || path_exists(path)) {
        return false;
    }
    // The last data file that holds anything, and where its blocks start.
    int number = 0;
    while (data_file_path(folder, number + 1, path, sizeof path) &&
           data_in(path) == file_data::some)
        ++number;
    if (number == 0) return true;  // a header alone: it goes on from sector 0
    const disk_handle disk = open_physical_disk(disk_number, 'r');
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kChunkBytes]);
    chunk_buffer source(kChunkBytes);
    block_scratch scratch;
    bad_sector_map map;
    int bad_line = 0;
    if (!disk.valid() || buffer == nullptr || source.data() == nullptr ||
        read_bad_sector_map(folder, &map, &bad_line) == map_read::unreadable) {
        return false;
    }
    // The first block first: the MBR tells disks of the same size apart.
    // A disk that does not read at once is left to the examination, which
    // reads past bad sectors under its progress dialog.
    std::uint64_t compared = 0;
    {
        std::uint64_t differs = 0;
        char first_path[kPathCapacity + 16];
        if (!data_file_path(folder, 1, first_path, sizeof first_path)) return false;
        const kept_block first_block{
            first_path, 0, 0,
            static_cast<std::uint32_t>(sectors < kChunkSectors ? sectors : kChunkSectors)};
        const comparison c = compare_with_disk(first_block, map, disk, disk_number, false,
                                               buffer.get(), scratch, source, &differs, &compared);
        if (c == comparison::differs || c == comparison::set_unreadable) return false;
        if (c == comparison::disk_unreadable) return true;
    }
    for (int file = number; file >= 1 && file >= number - 1; --file) {
        if (!data_file_path(folder, file, path, sizeof path)) return false;
        std::vector<std::int64_t> starts;
        {
            unique_fd fd(open_for_reading(path));
            std::int64_t at = 0;
            while (fd.valid() && at_end_of_file(fd.get()) == 0 &&
                   starts.size() < kBlocksPerDataFile) {
                const std::int32_t unpacked = skip_packed_block(fd.get());
                if (unpacked < 0) break;
                starts.push_back(at);
                at = file_position(fd.get());
            }
        }
        // From the last block back to the first that reads whole: the one
        // after it was in flight.
        for (std::size_t i = starts.size(); i-- > 0;) {
            const std::uint64_t first =
                (static_cast<std::uint64_t>(file - 1) * kBlocksPerDataFile + i) * kChunkSectors;
            if (first >= sectors) continue;
            const std::uint64_t left = sectors - first;
            const kept_block block{
                path, starts[i], first,
                static_cast<std::uint32_t>(left < kChunkSectors ? left : kChunkSectors)};
            std::uint64_t differs = 0;
            switch (compare_with_disk(block, map, disk, disk_number, false, buffer.get(), scratch,
                                      source, &differs, &compared)) {
                case comparison::same:
                    return compared > 0;
                case comparison::differs:
                    return false;
                case comparison::disk_unreadable:
                    return true;
                case comparison::set_unreadable:
                    break;  // the block in flight: the one before it
            }
        }
    }
    return false;
}

void report_unfinished_set(progress& p, const resume_finding& finding, int source_disk,
                           const char* folder, std::uint64_t sectors) {
    char have[kGroupedTextSize], want[kGroupedTextSize];
    switch (finding.verdict) {
        case unfinished_set::resumable:
        case unfinished_set::stopped:
            return;
        case unfinished_set::complete:
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kComplete), folder);
            return;
        case unfinished_set::other_disk:
            format_uint64_grouped(have, finding.set_bytes);
            format_uint64_grouped(want, sectors * kSectorBytes);
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kOtherDisk), have,
                         source_disk, want, folder);
            return;
        case unfinished_set::damaged:
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kDamaged),
                         finding.file.c_str(), finding.block);
            return;
        case unfinished_set::unreadable:
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kUnreadable),
                         finding.file.c_str());
            return;
        case unfinished_set::different_data:
            format_uint64_grouped(have, finding.sector);
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kDifferentData),
                         source_disk, have);
            return;
        case unfinished_set::unconfirmed:
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kUnconfirmed),
                         source_disk);
            return;
    }
}

bool prepare_unfinished_set(progress& p, const char* folder, const backup_state& state) {
    // The last two data files: the one written on and the one closed
    // before it. A partial block lies at the end of one of them; a file
    // that keeps nothing is truncated when the backup opens it.
    for (int number = state.file_number - 1; number <= state.file_number; ++number) {
        const std::uint64_t kept =
            number == state.file_number ? state.file_bytes
            : number >= 1 && static_cast<std::size_t>(number) <= state.digests.files.size()
                ? state.digests.files[static_cast<std::size_t>(number) - 1].bytes
                : 0;
        char path[kPathCapacity + 16];
        if (kept == 0 || !data_file_path(folder, number, path, sizeof path)) continue;
        unique_fd fd(open_to_continue(path, static_cast<std::int64_t>(kept)));
        const bool committed = fd.valid() && commit_file(fd.get());
        if (!fd.reset() || !committed) {
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotCommit), path);
            return false;
        }
    }

    // Side files an interrupted run was writing under their temporary names.
    for (const char* name : {kDigestTempName, kBadSectorMapTempName}) {
        char path[kPathCapacity + 16];
        if (join_path(folder, name, path, sizeof path)) remove_file(path);
    }
    return true;
}

}  // namespace kiroda
