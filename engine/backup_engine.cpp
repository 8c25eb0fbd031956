#include "engine/backup_engine.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/engine_texts.h"
#include "ui/program.h"
#include "ui/stored_text.h"
#include "engine/backup_blocks.h"
#include "engine/backup_resume.h"
#include "engine/backup_writer.h"
#include "engine/engine_message.h"
#include "engine/data_file.h"
#include "engine/rescue_read.h"
#include "format/bad_sector_map.h"
#include "util/system_error.h"
#include "format/digest.h"
#include "engine/header_file.h"
#include "format/packed_block.h"
#include "format/set_digests.h"
#include "format/source_disk.h"
#include "util/file_io.h"
#include "util/free_space.h"
#include "util/number_format.h"
#include "util/path.h"

namespace kiroda {

namespace {

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

// Fixed text: a read of the source disk failed; the value is the sectors left.
constexpr const char* kDiskReadError =
    "DiskRead(元ディスク読込み中) Error\n残りｾｸﾀ      = %lld(Sect)";

// The data phase: chunks of the disk read ahead, digested and packed on the
// workers (backup_blocks.h), and their blocks handed to the writer in disk
// order. Every question and message is said here, on the caller's thread,
// when the chunk's turn to be written has come: the order of the blocks,
// not of the threads.
class disk_copy {
  public:
    disk_copy(progress& p, const disk_handle& disk, int disk_number, const backup_options& options,
              backup_writer& writer)
        : p_(p),
          options_(options),
          writer_(writer),
          reader_(disk, disk_number),
          lost_earlier_(writer.lost_sectors()) {
        reader_.store_as_zeros(options.zero_runs);
    }

    bool run(const char* folder);
    // Once run() is over (no thread reads any more).
    std::uint64_t lost_sectors() const { return lost_earlier_ + reader_.lost_sectors(); }

  private:
    void show_left(std::uint64_t lost_now) const;
    chunk_in_flight* take_chunk(backup_blocks& blocks);
    bool go_past_lost_sectors(std::uint64_t first, std::uint32_t count);
    void read_error() const {
        say_plain(p_.owner(), kMbOk, kDiskReadError,
                  static_cast<long long>(writer_.sectors_left()));
    }

    progress& p_;
    const backup_options& options_;
    backup_writer& writer_;
    rescue_reader reader_;
    // Sectors an earlier, interrupted run of this backup lost already.
    const std::uint64_t lost_earlier_;
};

bool disk_copy::run(const char* folder) {
    backup_blocks blocks(p_, reader_, writer_.next_sector(), writer_.sectors(),
                         writer_.stream_digest(), engine_threads(options_.threads),
                         options_.rescue);
    if (!blocks.ready() || !writer_.ready()) {
        tell(p_, kCannotComplete, folder);
        return false;
    }
    if (options_.rescue) writer_.keep_map();
    blocks.start();
    while (writer_.sectors_left() > 0) {
        if (!p_.running()) return false;
        chunk_in_flight* c = take_chunk(blocks);
        if (c == nullptr) return false;
        blocks.wait_packed(*c);
        if (!writer_.add(c->block, c->count, c->digest)) return false;
        blocks.release(*c);
    }
    return writer_.finish();
}

void disk_copy::show_left(std::uint64_t lost_now) const {
    const std::uint64_t left = writer_.sectors_left();
    const std::uint64_t lost = lost_earlier_ + lost_now;
    char line[160];
    format_bytes_left(line, sizeof line, left * 512);
    if (lost > 0) {
        char grouped[kGroupedTextSize];
        format_uint64_grouped(grouped, lost);
        std::snprintf(line + std::strlen(line), sizeof line - std::strlen(line),
                      "  読めないセクタ %s", grouped);
    }
    p_.set_detail(line);
    p_.set_bytes_left(left * 512);
}

// The next chunk in disk order, once read (the detail line counts its lost
// sectors). Its runs join the map, which is written before a block that
// lost sectors. nullptr after a message or a stop.
chunk_in_flight* disk_copy::take_chunk(backup_blocks& blocks) {
    chunk_in_flight* c = blocks.next_read();
    if (c == nullptr) return nullptr;
    show_left(c->lost_after);
    if (!c->read) {
        // The chunk did not read and going past was not agreed yet: asked
        // before the slow sector-by-sector re-read, not after it.
        if (!go_past_lost_sectors(c->first, c->count)) return nullptr;
        blocks.go_past();
        c = blocks.next_read();
        if (c == nullptr) return nullptr;
    }
    writer_.note_sectors(c->map);
    const bool lost = c->lost_after > c->lost_before;
    if (!p_.running()) return nullptr;
    return !lost || writer_.save_map() ? c : nullptr;
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
        if (options_.stopped_at_lost_sectors != nullptr) *options_.stopped_at_lost_sectors = true;
        read_error();
        return false;
    }
    writer_.keep_map();
    return true;
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
    disk_handle disk = open_physical_disk(source_disk, disk_mode::source);
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
        report_damaged_block(p, finding);
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
