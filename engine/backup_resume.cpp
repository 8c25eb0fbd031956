#include "engine/backup_resume.h"

#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <vector>

#include "engine/chunk_buffer.h"
#include "engine/data_file.h"
#include "engine/engine_message.h"
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
    "バックアップ先のバックアップデータが元ディスク(ディスク %d)の内容と一致しません。"
    "(セクタ %s から %s まで)\n"
    "別のディスクのバックアップデータか、中断の後にディスクが書き換えられたため、続けられません。"};
constexpr enciphered_text kUnconfirmed{
    "バックアップ先のバックアップデータが元ディスク(ディスク %d)のものか確かめられません。\n"
    "(比べられるセクタがありません) 続けられません。"};

constexpr enciphered_text kDamagedBlock{
    "バックアップ先のバックアップデータの\n%s\nのブロック %d が壊れていました。\n"
    "そのブロックから後ろは、元ディスクから読んで書き直します。"};

enum class file_data { none, some, unreadable };

// Whether the file at `path` holds at least one byte. A file that is there
// but cannot be opened or read is not an empty one.
file_data data_in(const char* path) {
    unique_fd fd(open_for_reading(path));
    if (!fd.valid()) return path_exists(path) ? file_data::unreadable : file_data::none;
    switch (at_end_of_file(fd.get())) {
        case end_of_file::before:
            return file_data::some;
        case end_of_file::at_end:
            return file_data::none;
        default:
            return file_data::unreadable;
    }
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

enum class comparison { same, differs, set_unreadable, disk_unreadable };

// The disk kept blocks are compared with, and how: a careful read goes past
// unreadable sectors as a rescue does; a quick one (the wizard's look, on
// its window's thread) reads the chunk once and gives up on a failure.
struct disk_to_compare {
    const disk_handle& disk;
    int number;
    bool careful;
    const bad_sector_map& map;  // the set's: sectors lost then are zeros there
};

// Compares kept blocks with the disk, sector by sector, with memory of its
// own kept across blocks; sectors lost in the set or now are left out.
class block_comparer {
  public:
    explicit block_comparer(const disk_to_compare& disk)
        : disk_(disk),
          buffer_(new (std::nothrow) unsigned char[kChunkBytes]),
          source_(kChunkBytes) {}
    bool ready() const { return buffer_ != nullptr && source_.data() != nullptr; }
    comparison compare(const block_place& block);

    std::uint64_t differs = 0;       // the first sector that differs...
    std::uint64_t last_differs = 0;  // ...and the last in its block
    std::uint64_t compared = 0;      // sectors compared, over every block

  private:
    disk_to_compare disk_;
    std::unique_ptr<unsigned char[]> buffer_;  // the set's block
    block_scratch scratch_;
    chunk_buffer source_;  // the disk's chunk, aligned for a careful re-read
};

comparison block_comparer::compare(const block_place& block) {
    unique_fd fd(open_for_reading(block.path.c_str()));
    if (!fd.valid() || !skip_forward(fd.get(), block.offset) ||
        read_packed_block(fd.get(), buffer_.get(), kChunkBytes, scratch_) !=
            static_cast<std::int32_t>(block.count * kSectorBytes)) {
        return comparison::set_unreadable;
    }
    bad_sector_map now;
    if (disk_.careful) {
        rescue_reader reader(disk_.disk, disk_.number);
        reader.read_chunk(block.first, block.count, source_.data(), now);
    } else if (!seek_sector(disk_.disk, block.first) ||
               !read_sectors(disk_.disk, block.count, source_.data())) {
        return comparison::disk_unreadable;
    }
    const std::vector<bool> read_then = sectors_read(disk_.map, block.first, block.count);
    const std::vector<bool> read_now = sectors_read(now, block.first, block.count);
    // The block is compared to its end, so the range that differs is named whole.
    bool same = true;
    for (std::uint32_t s = 0; s < block.count; ++s) {
        if (!read_then[s] || !read_now[s]) continue;
        ++compared;
        const std::size_t at = std::size_t{s} * kSectorBytes;
        if (std::memcmp(buffer_.get() + at, source_.data() + at, kSectorBytes) == 0) continue;
        if (same) differs = block.first + s;
        same = false;
        last_differs = block.first + s;
    }
    return same ? comparison::same : comparison::differs;
}

// The set's first block: the MBR, with the disk's signature, tells disks of
// the same size apart.
bool first_block_place(const char* folder, std::uint64_t sectors, block_place* place) {
    char path[kPathCapacity + 16];
    if (!data_file_path(folder, 1, path, sizeof path)) return false;
    *place = {path, 0, 0,
              static_cast<std::uint32_t>(sectors < kChunkSectors ? sectors : kChunkSectors)};
    return true;
}

resume_finding refused(resume_finding f, unfinished_set verdict, const char* file, int block = 0) {
    f.verdict = verdict;
    f.file = file;
    f.block = block;
    return f;
}

// The header and side files: whether the set is this disk's and unfinished.
// resumable when the walk of its blocks may follow.
resume_finding examine_header(const char* folder, std::uint64_t sectors) {
    resume_finding f;
    char path[kPathCapacity + 16];
    if (!data_file_path(folder, 1, path, sizeof path)) {
        return refused(f, unfinished_set::unreadable, folder);
    }
    backup_header header{};
    if (!read_header_silently(folder, &header)) {
        // Cut short while the header was written: nothing to keep.
        const file_data first = data_in(path);
        if (first == file_data::unreadable) return refused(f, unfinished_set::unreadable, path);
        if (first == file_data::some)
            return refused(f, unfinished_set::unreadable, kHeaderFileName);
        return f;
    }
    f.header_written = true;
    if (header.backup_bytes != sectors * kSectorBytes) {
        f.set_bytes = header.backup_bytes;
        return refused(f, unfinished_set::other_disk, kHeaderFileName);
    }
    char side[kPathCapacity + 16];
    if (join_path(folder, kDigestFileName, side, sizeof side) && path_exists(side)) {
        return refused(f, unfinished_set::complete, kDigestFileName);
    }
    return f;
}

// Nothing may follow the file where the kept blocks end: a block that does
// not read there, or a hole, is damage, not the block in flight.
resume_finding examine_what_follows(const char* folder, const kept_blocks& kept, resume_finding f) {
    char next[kPathCapacity + 16];
    if (!data_file_path(folder, kept.last_file + 1, next, sizeof next)) {
        return refused(f, unfinished_set::unreadable, folder);
    }
    const file_data after = data_in(next);
    if (after == file_data::unreadable) return refused(f, unfinished_set::unreadable, next);
    if (after == file_data::none) return f;
    if (kept.cut) return refused(f, unfinished_set::damaged, kept.file.c_str(), kept.block);
    return refused(f, unfinished_set::damaged, next, 1);
}

// The kept blocks compared with the disk: the first (the MBR, with the
// disk's signature, tells disks of the same size apart), eight spread over
// the set, and the last, each once.
std::vector<block_place> blocks_to_compare(const block_place& first, const kept_blocks& kept) {
    std::vector<block_place> chosen{first};
    constexpr std::size_t kSpread = 8;
    const std::size_t n = kept.kept.size();
    for (std::size_t i = 1; i <= kSpread + 1 && n > 0; ++i) {
        const std::size_t at = i * (n - 1) / (kSpread + 1);
        if (kept.kept[at].first > chosen.back().first) chosen.push_back(kept.kept[at]);
    }
    return chosen;
}

// The disk must be the set's: every block chosen, sector by sector, and at
// least one sector compared.
resume_finding compare_kept_with_disk(const char* folder, const kept_blocks& kept,
                                      const disk_to_compare& disk, std::uint64_t sectors,
                                      resume_finding f) {
    if (kept.last.offset < 0) return f;
    block_place first;
    block_comparer comparer(disk);
    if (!first_block_place(folder, sectors, &first) || !comparer.ready()) {
        return refused(f, unfinished_set::unreadable, folder);
    }
    for (const block_place& block : blocks_to_compare(first, kept)) {
        switch (comparer.compare(block)) {
            case comparison::same:
                break;
            case comparison::differs:
                f.sector = comparer.differs;
                f.last_sector = comparer.last_differs;
                return refused(f, unfinished_set::different_data, block.path.c_str());
            case comparison::set_unreadable:
                return refused(f, unfinished_set::unreadable, block.path.c_str());
            case comparison::disk_unreadable:
                return refused(f, unfinished_set::unreadable, folder);
        }
    }
    if (comparer.compared == 0) {
        return refused(f, unfinished_set::unconfirmed, kept.last.path.c_str());
    }
    return f;
}

resume_finding finding_of_walk(const kept_blocks& kept, resume_finding f) {
    switch (kept.verdict) {
        case kept_walk::kept:
            f.file = kept.file;
            f.block = kept.block;
            f.cut = kept.cut;
            f.damaged_block = kept.damaged;
            return f;
        case kept_walk::damaged:
            return refused(f, unfinished_set::damaged, kept.file.c_str(), kept.block);
        case kept_walk::unreadable:
            return refused(f, unfinished_set::unreadable, kept.file.c_str());
        case kept_walk::stopped:
            return refused(f, unfinished_set::stopped, "");
    }
    return f;
}

// The last data file of the set in `folder` that holds anything (0: none).
int last_data_file(const char* folder) {
    char path[kPathCapacity + 16];
    int number = 0;
    while (data_file_path(folder, number + 1, path, sizeof path) &&
           data_in(path) == file_data::some) {
        ++number;
    }
    return number;
}

// Where the blocks of data file `path` start, stepped over, not read.
std::vector<std::int64_t> block_starts(const char* path) {
    std::vector<std::int64_t> starts;
    unique_fd fd(open_for_reading(path));
    std::int64_t at = 0;
    while (fd.valid() && at_end_of_file(fd.get()) == end_of_file::before &&
           starts.size() < kBlocksPerDataFile) {
        if (skip_packed_block(fd.get()) < 0) break;
        starts.push_back(at);
        at = file_position(fd.get());
    }
    return starts;
}

enum class look { same, differs, unknown };

// The quick look at the last whole block of the last two data files, from
// the last block back to the first that reads whole (the one after it was
// in flight).
look last_whole_block_looks(const char* folder, int number, std::uint64_t sectors,
                            block_comparer& comparer) {
    for (int file = number; file >= 1 && file >= number - 1; --file) {
        char path[kPathCapacity + 16];
        if (!data_file_path(folder, file, path, sizeof path)) return look::differs;
        const std::vector<std::int64_t> starts = block_starts(path);
        for (std::size_t i = starts.size(); i-- > 0;) {
            const std::uint64_t first =
                (static_cast<std::uint64_t>(file - 1) * kBlocksPerDataFile + i) * kChunkSectors;
            if (first >= sectors) continue;
            const std::uint64_t left = sectors - first;
            const block_place block{
                path, starts[i], first,
                static_cast<std::uint32_t>(left < kChunkSectors ? left : kChunkSectors)};
            switch (comparer.compare(block)) {
                case comparison::same:
                    return comparer.compared > 0 ? look::same : look::differs;
                case comparison::differs:
                    return look::differs;
                case comparison::disk_unreadable:
                    return look::unknown;
                case comparison::set_unreadable:
                    break;  // the block in flight: the one before it
            }
        }
    }
    return look::differs;
}

}  // namespace

resume_finding examine_unfinished_set(const disk_handle& disk, int disk_number,
                                      backup_writer& writer) {
    const char* folder = writer.folder();
    resume_finding f = examine_header(folder, writer.sectors());
    if (f.verdict != unfinished_set::resumable || !f.header_written) return f;
    bad_sector_map earlier;
    int bad_line = 0;
    const map_read map_state = read_bad_sector_map(folder, &earlier, &bad_line);
    if (map_state == map_read::unreadable) {
        return refused(f, unfinished_set::unreadable, kBadSectorMapName);
    }
    const kept_blocks kept = writer.open_kept();
    f = finding_of_walk(kept, f);
    if (f.verdict != unfinished_set::resumable) return f;
    f = examine_what_follows(folder, kept, f);
    if (f.verdict != unfinished_set::resumable) return f;
    // Every block is there: a set finished without a digest file, unless
    // this program was cut while it wrote one.
    if (writer.next_sector() == writer.sectors() && set_is_finished(folder)) {
        return refused(f, unfinished_set::complete, kDigestFileName);
    }
    // The set went past unreadable sectors: its map goes on (whether new
    // ones are asked about is the caller's --rescue, not the set's).
    writer.take_earlier_map(earlier);
    if (map_state == map_read::read) writer.keep_map();
    return compare_kept_with_disk(folder, kept, {disk, disk_number, true, writer.map()},
                                  writer.sectors(), f);
}

bool set_is_finished(const char* folder) {
    char path[kPathCapacity + 16];
    if (join_path(folder, kDigestFileName, path, sizeof path) && path_exists(path)) return true;
    // A run cut while it wrote its digest file, or before: every block may
    // be there, not yet read back from the medium.
    if (join_path(folder, kDigestTempName, path, sizeof path) && path_exists(path)) return false;
    if (join_path(folder, kUnfinishedMarkName, path, sizeof path) && path_exists(path))
        return false;
    backup_header header{};
    if (!read_header_silently(folder, &header)) return false;
    std::uint64_t total = 0;
    for (int number = 1; total < header.backup_bytes; ++number) {
        if (!data_file_path(folder, number, path, sizeof path)) return false;
        unique_fd fd(open_for_reading(path));
        if (!fd.valid()) return false;
        while (at_end_of_file(fd.get()) == end_of_file::before) {
            // The block in flight at a power cut may be cut short.
            const std::int32_t unpacked = skip_whole_packed_block(fd.get());
            if (unpacked < 0) return false;
            total += static_cast<std::uint64_t>(unpacked);
        }
    }
    return total >= header.backup_bytes;
}

bool unfinished_set_of_disk(const char* folder, int disk_number, std::uint64_t sectors) {
    backup_header header{};
    if (!read_header_silently(folder, &header) || header.backup_bytes != sectors * kSectorBytes ||
        set_is_finished(folder)) {
        return false;
    }
    const int number = last_data_file(folder);
    if (number == 0) return true;  // a header alone: it goes on from sector 0
    const disk_handle disk = open_physical_disk(disk_number, disk_mode::read);
    bad_sector_map map;
    int bad_line = 0;
    block_comparer comparer({disk, disk_number, false, map});
    block_place first;
    if (!disk.valid() || !comparer.ready() ||
        read_bad_sector_map(folder, &map, &bad_line) == map_read::unreadable ||
        !first_block_place(folder, sectors, &first)) {
        return false;
    }
    // The first block first. A disk that does not read at once is left to
    // the examination, which reads past bad sectors under its progress
    // dialog.
    const comparison c = comparer.compare(first);
    if (c == comparison::differs || c == comparison::set_unreadable) return false;
    if (c == comparison::disk_unreadable) return true;
    return last_whole_block_looks(folder, number, sectors, comparer) != look::differs;
}

void report_damaged_block(progress& p, const resume_finding& finding) {
    if (finding.verdict == unfinished_set::resumable && finding.damaged_block)
        tell(p, kDamagedBlock, finding.file.c_str(), finding.block);
}

void report_unfinished_set(progress& p, const resume_finding& finding, int source_disk,
                           const char* folder, std::uint64_t sectors) {
    char have[kGroupedTextSize], want[kGroupedTextSize];
    switch (finding.verdict) {
        case unfinished_set::resumable:
        case unfinished_set::stopped:
            return;
        case unfinished_set::complete:
            tell(p, kComplete, folder);
            return;
        case unfinished_set::other_disk:
            format_uint64_grouped(have, finding.set_bytes);
            format_uint64_grouped(want, sectors * kSectorBytes);
            tell(p, kOtherDisk, have, source_disk, want, folder);
            return;
        case unfinished_set::damaged:
            tell(p, kDamaged, finding.file.c_str(), finding.block);
            return;
        case unfinished_set::unreadable:
            tell(p, kUnreadable, finding.file.c_str());
            return;
        case unfinished_set::different_data:
            format_uint64_grouped(have, finding.sector);
            format_uint64_grouped(want, finding.last_sector);
            tell(p, kDifferentData, source_disk, have, want);
            return;
        case unfinished_set::unconfirmed:
            tell(p, kUnconfirmed, source_disk);
            return;
    }
}

}  // namespace kiroda
