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
#include "engine/backup_writer.h"
#include "engine/engine_message.h"
#include "engine/data_file.h"
#include "engine/rescue_read.h"
#include "format/bad_sector_map.h"
#include "engine/side_task.h"
#include "util/system_error.h"
#include "format/digest.h"
#include "format/header_file.h"
#include "format/packed_block.h"
#include "format/set_digests.h"
#include "format/source_disk.h"
#include "util/file_io.h"
#include "util/free_space.h"
#include "util/number_format.h"
#include "util/path.h"

namespace kiroda {

namespace {

constexpr enciphered_text kCannotOpenSource{"元ディスク(ディスク %d)を開けません。"};
constexpr enciphered_text kSeekFailed{"元ディスク(ディスク %d)の先頭に移動できません。"};
constexpr enciphered_text kNothingToBackUp{
    "元ディスク(ディスク %d)の大きさが 512 バイトに足りないため、バックアップできません。"};
constexpr enciphered_text kRescueQuestion{
    "元ディスクのセクタ %s から %s までの間に、読めないセクタがあります。\n\n"
    "読めないセクタを 0 で埋めてバックアップを続けますか?\n"
    "(この範囲をセクタごとに読み直すため、時間がかかることがあります。"
    "読めなかったセクタはバックアップデータの KRDMAP.TXT に記録されます)\n\n"
    "続ける: OK　　中止: キャンセル"};
constexpr enciphered_text kRescueDone{
    "バックアップが終わりました。\n\n元ディスクの読めなかったセクタ %s 個は 0 で埋めてあります。\n"
    "どのセクタかはバックアップデータの %s に記録しました。"};
constexpr enciphered_text kCannotComplete{
    "バックアップファイルを書き終えられませんでした。\n(ディスクへの書き出しに失敗しました)\n\n%s"};

// Fixed text: a read of the source disk failed; the value is the sectors left.
constexpr const char* kDiskReadError =
    "DiskRead(元ディスク読込み中) Error\n残りｾｸﾀ      = %lld(Sect)";

std::uint32_t chunk_sectors(std::uint64_t left) {
    return static_cast<std::uint32_t>(left < kChunkSectors ? left : kChunkSectors);
}

// The data phase: chunks of the disk read (the next one while the last is
// written), packed and handed to the writer, in disk order.
class disk_copy {
  public:
    disk_copy(progress& p, const disk_handle& disk, int disk_number, const backup_options& options,
              backup_writer& writer)
        : p_(p),
          options_(options),
          writer_(writer),
          reader_(disk, disk_number),
          lost_earlier_(writer.lost_sectors()),
          // Aligned: a rescue re-reads into it through a handle that
          // bypasses the cache.
          chunk_(kChunkBytes) {}

    bool run(const char* folder);
    std::uint64_t lost_sectors() const { return lost_earlier_ + reader_.lost_sectors(); }

  private:
    void show_left() const;
    bool take_chunk(std::uint32_t count);
    bool go_past_lost_sectors(std::uint64_t first, std::uint32_t count);
    bool write_chunk(std::uint32_t count);
    void read_error() const {
        say_plain(p_.owner(), kMbOk, kDiskReadError,
                  static_cast<long long>(writer_.sectors_left()));
    }

    // The chunk read ahead: its runs join the map when it is taken.
    struct read_ahead {
        bool done = false;  // the chunk buffer holds the next chunk already
        bool ok = true;
        std::uint64_t lost_before = 0;
        bad_sector_map map;
    };

    progress& p_;
    const backup_options& options_;
    backup_writer& writer_;
    rescue_reader reader_;
    // Sectors an earlier, interrupted run of this backup lost already.
    const std::uint64_t lost_earlier_;
    // Going past unreadable sectors without asking (a rescue, or the
    // question answered).
    bool rescuing_ = false;
    chunk_buffer chunk_;
    block_scratch scratch_;
    read_ahead ahead_;
};

bool disk_copy::run(const char* folder) {
    if (chunk_.data() == nullptr || scratch_.get(kBlockHeaderSize + kChunkBytes) == nullptr ||
        !writer_.ready()) {
        tell(p_, kCannotComplete, folder);
        return false;
    }
    rescuing_ = options_.rescue;
    if (rescuing_) writer_.keep_map();
    while (writer_.sectors_left() > 0) {
        if (!p_.running()) return false;
        show_left();
        const std::uint32_t count = chunk_sectors(writer_.sectors_left());
        if (!take_chunk(count) || !write_chunk(count)) return false;
    }
    return writer_.finish();
}

void disk_copy::show_left() const {
    const std::uint64_t left = writer_.sectors_left();
    char line[160];
    format_bytes_left(line, sizeof line, left * 512);
    if (lost_sectors() > 0) {
        char lost[kGroupedTextSize];
        format_uint64_grouped(lost, lost_sectors());
        std::snprintf(line + std::strlen(line), sizeof line - std::strlen(line),
                      "  読めないセクタ %s", lost);
    }
    p_.set_detail(line);
    p_.set_bytes_left(left * 512);
}

// The next chunk into the chunk buffer: read ahead while the one before was
// written, or read now (the first). Its runs join the map, which is written
// before a block that lost sectors. False after a message or a stop.
bool disk_copy::take_chunk(std::uint32_t count) {
    const std::uint64_t first = writer_.next_sector();
    if (!ahead_.done) {
        ahead_.map = bad_sector_map();
        ahead_.lost_before = reader_.lost_sectors();
        ahead_.ok = reader_.read_chunk(first, count, chunk_.data(), ahead_.map, rescuing_);
    }
    ahead_.done = false;
    if (!ahead_.ok) {
        // The chunk did not read and going past was not agreed yet: asked
        // before the slow sector-by-sector re-read, not after it.
        if (!go_past_lost_sectors(first, count)) return false;
        ahead_.map = bad_sector_map();
        ahead_.lost_before = reader_.lost_sectors();
        reader_.read_chunk(first, count, chunk_.data(), ahead_.map, true);
    }
    writer_.note_sectors(ahead_.map);
    const bool lost = reader_.lost_sectors() > ahead_.lost_before;
    if (!p_.running()) return false;
    return !lost || writer_.save_map();
}

// A chunk of `count` sectors from `first` that did not read: go on past
// its unreadable sectors, or stop as a read error always has.
bool disk_copy::go_past_lost_sectors(std::uint64_t first, std::uint32_t count) {
    char from[kGroupedTextSize], to[kGroupedTextSize];
    format_uint64_grouped(from, first);
    format_uint64_grouped(to, first + count - 1);
    note_system_error(reader_.chunk_error());  // the reason, said with the question
    if (!options_.ask_to_go_past ||
        say(p_.owner(), kMbOkCancel, kRescueQuestion, from, to) != kIdOk) {
        read_error();
        return false;
    }
    rescuing_ = true;
    writer_.keep_map();
    return true;
}

// Packs the chunk and writes its block. The chunk's two digests are taken
// beside the packing. Once both are done a packed block lies in the scratch
// and the chunk buffer is free: the next chunk is read into it while the
// block is written. A stored block is written from the chunk itself: then
// the next chunk waits for the write instead of overwriting it.
bool disk_copy::write_chunk(std::uint32_t count) {
    const unsigned char* chunk = chunk_.data();
    const std::size_t bytes = std::size_t{count} * 512;
    digest128 digest;
    encoded_block block;
    {
        side_task digests_of_chunk([&] {
            digest = digest_bytes(chunk, bytes);
            writer_.add_to_stream(chunk, bytes);
        });
        block = encode_packed_block(chunk, static_cast<std::int32_t>(bytes), scratch_);
    }
    std::optional<side_task> read_next;
    const std::uint64_t left = writer_.sectors_left();
    if (left > count && p_.running() && !block.uses_chunk()) {
        const std::uint64_t next = writer_.next_sector() + count;
        const std::uint32_t next_count = chunk_sectors(left - count);
        ahead_.map = bad_sector_map();
        ahead_.lost_before = reader_.lost_sectors();
        read_next.emplace([this, next, next_count, rescue = rescuing_] {
            ahead_.ok = reader_.read_chunk(next, next_count, chunk_.data(), ahead_.map, rescue);
        });
        ahead_.done = true;
    }
    const bool written = writer_.add(block, count, digest);
    if (read_next) read_next->wait();
    return written;
}

}  // namespace

bool copy_disk_to_data_files(progress& p, const disk_handle& disk, int disk_number,
                             const backup_options& options, backup_writer& writer) {
    disk_copy copy(p, disk, disk_number, options, writer);
    if (!copy.run(writer.folder())) return false;
    // "The backup is done" only once it is: after the digest file.
    if (copy.lost_sectors() > 0) {
        char lost[kGroupedTextSize];
        format_uint64_grouped(lost, copy.lost_sectors());
        tell(p, kRescueDone, lost, kBadSectorMapName);
    }
    return true;
}

outcome backup_disk(progress& p, int source_disk, const char* folder, std::uint64_t backup_size,
                    const backup_options& options) {
    if (options.medium_failed != nullptr) *options.medium_failed = false;
    disk_handle disk = open_physical_disk(source_disk, 'r');
    if (!disk.valid()) {
        tell(p, kCannotOpenSource, source_disk);
        return kEngineFailed;
    }
    const std::uint64_t sectors = backup_size / 512;
    // A set of no sectors could never be restored (its header reads as
    // damaged), so it is refused rather than reported as a backup.
    if (sectors == 0) {
        tell(p, kNothingToBackUp, source_disk);
        return kEngineFailed;
    }
    p.set_button("キャンセル");
    backup_writer writer(p, folder, sectors, options.resume, options.read_back);
    if (!options.source_disk_record.empty())
        writer.add_side_file(kSourceDiskFileName, kSourceDiskTempName, options.source_disk_record);
    // Said on every way out; the writer is the one that knows.
    struct medium_report {
        const backup_writer& writer;
        bool* failed;
        ~medium_report() {
            if (failed != nullptr) *failed = writer.medium_failed();
        }
    } report{writer, options.medium_failed};
    bool header_written = false;
    if (options.resume) {
        p.set_status("バックアップデータ確認中");
        const resume_finding finding = examine_unfinished_set(disk, source_disk, writer);
        if (finding.verdict != unfinished_set::resumable) {
            report_unfinished_set(p, finding, source_disk, folder, sectors);
            return kEngineFailed;
        }
        header_written = finding.header_written;
    }
    if (!writer.start()) return kEngineFailed;
    if (!header_written) {
        p.set_status("ヘッダファイル作成中");
        digest128 header;
        if (!write_header_file(p.owner(), source_disk, folder, sectors * 512, &header) ||
            !writer.header_written(header)) {
            return kEngineFailed;
        }
    } else if (!writer.keep_header()) {
        return kEngineFailed;
    }
    p.set_status("ディスクバックアップ中");
    if (!seek_sector(disk, 0)) {
        tell(p, kSeekFailed, source_disk);
        return kEngineFailed;
    }
    if (!copy_disk_to_data_files(p, disk, source_disk, options, writer)) return kEngineFailed;
    p.set_status("バックアップ完了");
    return kEngineDone;
}

}  // namespace kiroda
