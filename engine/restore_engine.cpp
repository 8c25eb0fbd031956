#include "engine/restore_engine.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/engine_texts.h"
#include "disk/physical_disk.h"
#include "engine/background_writer.h"
#include "engine/block_checks.h"
#include "engine/chunk_buffer.h"
#include "engine/data_file.h"
#include "engine/engine_message.h"
#include "engine/read_back_behind.h"
#include "engine/restore_target.h"
#include "engine/set_reader.h"
#include "engine/worker_pool.h"
#include "format/digest.h"
#include "format/header_file.h"
#include "ui/program.h"
#include "ui/stored_text.h"
#include "ui/translation.h"
#include "util/number_format.h"
#include "util/zeros.h"

namespace kiroda {

namespace {

constexpr enciphered_text kSeekDataFailed{
    "復旧先ディスク(ディスク %d)の書き込み位置に移動できません。"};
constexpr enciphered_text kMissingFile{
    "バックアップファイルが見つかりません。\n%s\nの入ったメディアと交換して下さい。"};
constexpr enciphered_text kBadBlock{"バックアップファイルが壊れています。\n%s\n(読み込み結果 %ld)"};
constexpr enciphered_text kEmptyBlock{"バックアップファイルにデータがありません。\n%s"};
constexpr enciphered_text kWriteFailed{"復旧先ディスク(ディスク %d)への書き込みに失敗しました。"};
constexpr enciphered_text kWriteMbrFailed{
    "復旧先ディスク(ディスク %d)の先頭セクタ(MBR)を書き込めませんでした。"};
constexpr enciphered_text kImplausibleSize{
    "バックアップのヘッダファイルに記録された大きさ(%llu バイト)が正しくありません。"};
// The re-check just before writing: the disk under the number changed since
// it was confirmed. Each names what is wrong now.
constexpr enciphered_text kChangedSectorSize{
    "復旧先ディスク(ディスク %d)に書き込めません。\n確認した後にディスクが変わりました。\n"
    "(セクタサイズ %lld バイトには対応していません)"};
constexpr enciphered_text kChangedMedia{
    "復旧先ディスク(ディスク %d)に書き込めません。\n確認した後にディスクが変わりました。\n"
    "(メディアタイプ %s には対応していません)"};
constexpr enciphered_text kChangedTooSmall{
    "復旧先ディスク(ディスク %d)に書き込めません。\n確認した後にディスクが変わりました。\n"
    "(容量が足りません)"};
constexpr enciphered_text kChangedUnreadable{
    "復旧先ディスク(ディスク %d)に書き込めません。\n確認した後にディスクが変わりました。\n"
    "(先頭セクタを読めません)"};
constexpr enciphered_text kChangedPartitions{
    "復旧先ディスク(ディスク %d)に書き込めません。\n確認した後にディスクが変わりました。\n"
    "(パーテーションがあります)"};
constexpr enciphered_text kReadBackFailed{
    "復旧先ディスク(ディスク %d)に書き込んだデータを読み戻せません。\n(セクタ %s から)\n"
    "先頭セクタ(MBR)は書き込んでいません。"};
constexpr enciphered_text kReadBackDiffers{
    "復旧先ディスク(ディスク %d)に書き込んだデータが、読み戻すと異なっています。\n"
    "セクタ %s から %s まで\n先頭セクタ(MBR)は書き込んでいません。ディスクの故障が考えられます。"};
constexpr enciphered_text kDataPastTheEnd{
    "バックアップデータには、復旧先ディスク(ディスク %d)の終わりより後ろにもデータがあります。\n"
    "(セクタ %s から)\n先頭セクタ(MBR)は書き込んでいません。"};
constexpr enciphered_text kMbrReadBackDiffers{
    "復旧先ディスク(ディスク %d)の先頭セクタ(MBR)が、読み戻すと書き込んだ内容と異なっています。"};

const set_reader_texts kRestoreTexts = {
    [] { return get_stored_text(kMissingFile); },
    [] { return get_stored_text(kBadBlock); },
    [] { return get_stored_text(kEmptyBlock); },
};

bool explain_changed_target(progress& p, const target_check& check, int target_disk) {
    switch (check.verdict) {
        case target_verdict::ok:
            return true;
        case target_verdict::cannot_open:
            tell(p, kCannotOpenTarget, target_disk);
            break;
        case target_verdict::bad_sector_size:
            tell(p, kChangedSectorSize, target_disk, static_cast<long long>(check.value));
            break;
        case target_verdict::bad_media:
            tell(p, kChangedMedia, target_disk,
                 localized(media_type_name(static_cast<std::uint8_t>(check.value))));
            break;
        case target_verdict::too_small:
            tell(p, kChangedTooSmall, target_disk);
            break;
        case target_verdict::cannot_seek:
        case target_verdict::cannot_read:
            tell(p, kChangedUnreadable, target_disk);
            break;
        case target_verdict::has_partitions:
            tell(p, kChangedPartitions, target_disk);
            break;
    }
    return false;
}

// Names the first chunk the read-back found wrong; kEngineFailed.
outcome tell_read_back(progress& p, int target_disk, const read_back_verdict& verdict) {
    char from[kGroupedTextSize], to[kGroupedTextSize];
    format_uint64_grouped(from, verdict.first_sector);
    if (verdict.found == read_back_verdict::unreadable) {
        tell(p, kReadBackFailed, target_disk, from);
    } else {
        format_uint64_grouped(to, verdict.last_sector);
        tell(p, kReadBackDiffers, target_disk, from, to);
    }
    return kEngineFailed;
}

// Reads back the chunks from `first` on (those before were read back behind
// the writes) and compares them with the set. `sector0` stands in for the
// sector not yet written. kEngineDone when all match; otherwise the first
// differing range has been named.
outcome read_back(progress& p, int target_disk, const std::vector<written_chunk>& chunks,
                  std::size_t first, const unsigned char* sector0, std::uint32_t held,
                  unsigned char* buffer, std::uint64_t backup_bytes) {
    disk_handle disk = open_physical_disk(target_disk, disk_mode::read_back);
    if (!disk.valid()) {
        tell(p, kReadBackFailed, target_disk, "1");
        return kEngineFailed;
    }
    p.set_status("書き込み確認中");
    std::uint64_t checked = 0;
    for (std::size_t i = 0; i < first; ++i)
        checked += std::uint64_t{chunks[i].sectors} * kSectorBytes;
    for (std::size_t i = first; i < chunks.size(); ++i) {
        char line[96];
        format_bytes_left(line, sizeof line, backup_bytes - checked);
        p.set_detail(line);
        p.set_bytes_left(backup_bytes - checked);
        if (!p.running()) return kEngineStopped;
        const read_back_verdict verdict = read_back_chunk(disk, chunks[i], sector0, buffer, held);
        if (verdict.found != read_back_verdict::same)
            return tell_read_back(p, target_disk, verdict);
        checked += std::uint64_t{chunks[i].sectors} * kSectorBytes;
    }
    return kEngineDone;
}

// The `count` sectors from `first` as the device holds them now equal
// `bytes` (`buffer` holds at least as many).
bool reads_back(int target_disk, std::uint64_t first, std::uint32_t count,
                const unsigned char* bytes, unsigned char* buffer) {
    disk_handle disk = open_physical_disk(target_disk, disk_mode::read_back);
    return disk.valid() && seek_sector(disk, first) && read_sectors(disk, count, buffer) &&
           std::memcmp(buffer, bytes, std::size_t{count} * kSectorBytes) == 0;
}

// True when byte `at` of the set lies in one of `ranges`.
bool in_ranges(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& ranges,
               std::uint64_t at) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [at](const auto& r) { return at >= r.first && at < r.second; });
}

// One restore: the set's blocks onto the target after sector 0, then,
// once they are on the device (and read back), sector 0.
class disk_restore {
  public:
    disk_restore(progress& p, int target_disk, const char* folder, std::uint64_t backup_bytes,
                 const restore_options& options)
        : p_(p),
          target_disk_(target_disk),
          backup_bytes_(backup_bytes),
          write_bytes_(options.fit_bytes != 0 && options.fit_bytes < backup_bytes
                           ? options.fit_bytes
                           : backup_bytes),
          held_(std::clamp<std::uint32_t>(options.held_sectors, 1, kMaxHeldSectors)),
          options_(options),
          reader_(p, folder, backup_bytes, kRestoreTexts),
          // One block is written to the disk while the next ones are read,
          // unpacked and checked in the other slots.
          checks_(engine_threads(options.threads)) {}

    bool open();
    outcome write_blocks();
    outcome write_sector0();

  private:
    outcome write_last_tail();
    outcome write_failed() const {
        tell(p_, kWriteFailed, target_disk_);
        return kEngineFailed;
    }
    bool write_block(background_writer& writer, const unsigned char* data, std::uint64_t restored,
                     bool* submitted);
    bool keep_in_fit(const unsigned char* block, std::uint64_t restored, std::int64_t count);
    bool read_behind(background_writer& writer);
    void show_left(std::uint64_t restored) const;
    void keep_or_release(pending_block* block, bool submitted, pending_block** writing);

    progress& p_;
    const int target_disk_;
    const std::uint64_t backup_bytes_;
    const std::uint64_t write_bytes_;  // backup_bytes_, or the part of it that fits the target
    const std::uint32_t held_;         // sectors held back with sector 0
    const restore_options& options_;
    set_reader reader_;
    // After the reader: no check runs on a reader that is gone.
    block_checks checks_;
    // The read-back behind the writes, where the options ask for it: its
    // buffer, the reader, and how many of written_ it has been given.
    chunk_buffer behind_buffer_;
    std::unique_ptr<read_back_behind> behind_;
    std::size_t handed_ = 0;
    disk_handle disk_;
    // The set's first held_ sectors, written last.
    unsigned char sector0_[kMaxHeldSectors * kSectorBytes] = {};
    std::vector<written_chunk> written_;
};

bool disk_restore::open() {
    // Nothing to restore, or a count no set can have: never write a sector 0
    // that did not come from the set.
    if (!backup_bytes_plausible(backup_bytes_)) {
        tell(p_, kImplausibleSize, static_cast<unsigned long long>(backup_bytes_));
        return false;
    }
    // The disk was checked before the user confirmed; the number may name
    // another disk by now.
    target_check check = check_restore_target(target_disk_, write_bytes_, file_system_probe::skip,
                                              options_.sector_bytes);
    if (check.verdict == target_verdict::has_partitions && options_.over_partitions)
        check.verdict = target_verdict::ok;
    if (!explain_changed_target(p_, check, target_disk_)) return false;
    if (!checks_.ready()) {
        tell(p_, kNoMemoryToRestore);
        return false;
    }
    // What stands in for the held sectors must be as long as they are.
    if (!options_.last_head.empty() && options_.last_head.size() != held_ * kSectorBytes) {
        tell(p_, kWriteMbrFailed, target_disk_);
        return false;
    }
    // The reader may ask about the set (its digest file): the question
    // finds the dialog's lines set, as every later one does.
    p_.set_button("キャンセル");
    p_.set_status("ディスク復旧中");
    show_left(0);
    if (options_.read_back) reader_.keep_block_digests();
    if (!reader_.open(options_.digests)) return false;
    disk_ = open_physical_disk(target_disk_, disk_mode::write);
    if (disk_.valid() && options_.read_back && options_.read_back_behind != 0) {
        // Without its memory or its thread the check is made at the end.
        behind_buffer_ = chunk_buffer(static_cast<std::size_t>(kChunkBytes));
        behind_ = std::make_unique<read_back_behind>(target_disk_, sector0_, behind_buffer_.data(),
                                                     held_);
        if (!behind_->ready()) behind_.reset();
    }
    if (!disk_.valid()) {
        tell(p_, kCannotOpenTarget, target_disk_);
        return false;
    }
    if (seek_sector(disk_, 1)) return true;
    tell(p_, kSeekDataFailed, target_disk_);
    return false;
}

void disk_restore::show_left(std::uint64_t restored) const {
    char line[96];
    format_bytes_left(line, sizeof line, backup_bytes_ - restored);
    p_.set_detail(line);
    p_.set_bytes_left(backup_bytes_ - restored);
}

// A block handed to the writer stays held until the next write is handed
// over (which waits for it); one that was not written is given back at once.
void disk_restore::keep_or_release(pending_block* block, bool submitted, pending_block** writing) {
    if (!submitted) {
        checks_.release(block);
        return;
    }
    if (*writing != nullptr) checks_.release(*writing);
    *writing = block;
}

outcome disk_restore::write_blocks() {
    background_writer writer(disk_);
    std::uint64_t restored = 0;
    // The block the writer may still be writing: its slot is given back once
    // the next write has been handed over (which waits for it) or the
    // writer has finished. Every way out of the loop waits for the write in
    // flight; a failure it reports counts as the failure of the restore.
    pending_block* writing = nullptr;
    auto end_blocks = [&](outcome result) {
        const bool written = writer.finish();
        if (writing != nullptr) checks_.release(writing);
        return written ? result : write_failed();
    };
    std::uint64_t since_hand_over = 0;  // bytes, to the read-back behind the writes
    while (restored < backup_bytes_) {
        show_left(restored);
        if (!p_.running()) return end_blocks(kEngineStopped);
        if (behind_ != nullptr) {
            const read_back_verdict verdict = behind_->seen();
            if (verdict.found != read_back_verdict::same) {
                // A write that failed is told instead.
                const outcome ended = end_blocks(kEngineDone);
                return ended == kEngineDone ? tell_read_back(p_, target_disk_, verdict) : ended;
            }
        }
        // The next block may need another medium: a write that failed is
        // told first, not after a question about a file.
        if (reader_.at_file_boundary() && !writer.finish()) return end_blocks(kEngineFailed);
        pending_block* block = checks_.next(reader_);
        if (block == nullptr) return end_blocks(kEngineFailed);
        const std::int64_t count = reader_.end_block(*block);
        bool submitted = false;
        if (count < 0 || !keep_in_fit(block->buffer, restored, count)) {
            return end_blocks(kEngineFailed);
        }
        if (restored == 0)
            std::memcpy(
                sector0_, block->buffer,
                std::min<std::size_t>(held_ * kSectorBytes, static_cast<std::size_t>(count)));
        // The block just read is not written.
        if (!p_.running()) return end_blocks(kEngineStopped);
        if (restored < write_bytes_ && !write_block(writer, block->buffer, restored, &submitted)) {
            return end_blocks(kEngineFailed);
        }
        keep_or_release(block, submitted, &writing);
        restored += static_cast<std::uint64_t>(count);
        since_hand_over += static_cast<std::uint64_t>(count);
        if (behind_ != nullptr && since_hand_over >= options_.read_back_behind &&
            restored < backup_bytes_) {
            // A flush that failed is told as a write that failed.
            if (!read_behind(writer))
                return end_blocks(kEngineDone) == kEngineDone ? write_failed() : kEngineFailed;
            since_hand_over = 0;
        }
    }
    if (!writer.finish()) return end_blocks(kEngineFailed);
    // Nothing may follow the last block, and the set's digests must hold for
    // the whole stream, before the partition table makes the disk look whole.
    return end_blocks(reader_.finish() ? kEngineDone : kEngineFailed);
}

// Notes what of the block just read (at byte `restored` of the disk) goes
// onto the target, for the read-back. The part past the end of a smaller
// target is not written and must be zeros; false after a message when it
// is not.
bool disk_restore::keep_in_fit(const unsigned char* block, std::uint64_t restored,
                               std::int64_t count) {
    const auto bytes = static_cast<std::uint64_t>(count);
    const std::uint64_t kept =
        restored >= write_bytes_ ? 0 : std::min(bytes, write_bytes_ - restored);
    if (kept < bytes) {
        const unsigned char* past = block + kept;
        const std::size_t left = static_cast<std::size_t>(bytes - kept);
        // Bytes the restore replaces (a GPT's backup) need not be zeros.
        const std::uint64_t past_at = restored + kept;
        const unsigned char* data = past;
        for (; data != past + left; ++data) {
            if (*data != 0 &&
                !in_ranges(options_.replaced, past_at + static_cast<std::uint64_t>(data - past)))
                break;
        }
        if (data != past + left) {
            const auto at = static_cast<std::uint64_t>(data - past);
            char where[kGroupedTextSize];
            format_uint64_grouped(where, (restored + kept + at) / kSectorBytes);
            tell(p_, kDataPastTheEnd, target_disk_, where);
            return false;
        }
    }
    if (kept == 0) return true;
    // A block cut at the target's end has no digest of its own.
    written_.push_back({restored / kSectorBytes, static_cast<std::uint32_t>(kept / kSectorBytes),
                        kept == bytes || !options_.read_back
                            ? reader_.last_block_digest()
                            : digest_bytes(block, static_cast<std::size_t>(kept))});
    return true;
}

// Waits for the write in flight, flushes the target and hands every chunk
// written so far to the read-back behind the writes. False when a write or
// the flush failed.
bool disk_restore::read_behind(background_writer& writer) {
    if (!writer.finish() || !flush_disk(disk_)) return false;
    behind_->add(std::vector<written_chunk>(written_.begin() + static_cast<std::ptrdiff_t>(handed_),
                                            written_.end()));
    handed_ = written_.size();
    return true;
}

// Hands the block just read (at byte `restored` of the disk) to the writer,
// without sector 0, and without the chunks a zero target holds already;
// `submitted` says whether the writer now has it. False when an earlier
// write failed.
bool disk_restore::write_block(background_writer& writer, const unsigned char* data,
                               std::uint64_t restored, bool* submitted) {
    const written_chunk& chunk = written_.back();
    std::uint64_t first = chunk.first_sector;
    std::uint32_t sectors = chunk.sectors;
    if (restored == 0) {
        const std::uint32_t held = std::min(held_, sectors);
        data += std::size_t{held} * kSectorBytes;
        first = held;
        sectors -= held;
    }
    const std::uint64_t bytes = std::uint64_t{sectors} * kSectorBytes;
    if (sectors == 0 || (options_.target_is_zeros && all_zero(data, bytes))) return true;
    if (!writer.submit(first, data, sectors)) return false;
    *submitted = true;
    return true;
}

outcome disk_restore::write_sector0() {
    // Everything else reaches the disk before the partition table that
    // describes it, and the partition table before success is reported.
    if (!flush_disk(disk_)) return write_failed();
    if (options_.read_back) {
        // What was handed over behind the writes first, then the rest.
        if (behind_ != nullptr) {
            read_back_verdict verdict;
            if (!behind_->wait(p_, &verdict)) return kEngineStopped;
            behind_.reset();
            if (verdict.found != read_back_verdict::same)
                return tell_read_back(p_, target_disk_, verdict);
        }
        const outcome checked = read_back(p_, target_disk_, written_, handed_, sector0_, held_,
                                          checks_.idle_buffer(), write_bytes_);
        if (checked != kEngineDone) return checked;
        p_.set_status("ディスク復旧中");
    }
    if (const outcome tail = write_last_tail(); tail != kEngineDone) return tail;
    p_.set_detail("MBR 復旧中");
    if (!seek_sector(disk_, 0)) {
        tell(p_, kCannotSeekTarget, target_disk_);
        return kEngineFailed;
    }
    const unsigned char* head = options_.last_head.empty() ? sector0_ : options_.last_head.data();
    if (!write_sectors(disk_, held_, head) || !flush_disk(disk_)) {
        tell(p_, kWriteMbrFailed, target_disk_);
        return kEngineFailed;
    }
    // Sector 0 is read back in every case, the quick restore's too: one
    // sector, and the one that makes the disk look whole.
    if (!reads_back(target_disk_, 0, held_, head, checks_.idle_buffer())) {
        tell(p_, kMbrReadBackDiffers, target_disk_);
        return kEngineFailed;
    }
    p_.set_status("復旧完了");
    return kEngineDone;
}

// The writes that go just before the held sectors (a GPT's backup at the
// disk's end): written, flushed and read back, so that the partition table
// that points at them is written only once they are there.
outcome disk_restore::write_last_tail() {
    for (const sector_write& w : options_.last_tail) {
        const auto count = static_cast<std::uint32_t>(w.bytes.size() / kSectorBytes);
        if (!seek_sector(disk_, w.first_sector) || !write_sectors(disk_, count, w.bytes.data()))
            return write_failed();
    }
    if (options_.last_tail.empty()) return kEngineDone;
    if (!flush_disk(disk_)) return write_failed();
    for (const sector_write& w : options_.last_tail) {
        const auto count = static_cast<std::uint32_t>(w.bytes.size() / kSectorBytes);
        if (!reads_back(target_disk_, w.first_sector, count, w.bytes.data(),
                        checks_.idle_buffer())) {
            read_back_verdict differs{read_back_verdict::differs, w.first_sector,
                                      w.first_sector + count - 1};
            return tell_read_back(p_, target_disk_, differs);
        }
    }
    return kEngineDone;
}

}  // namespace

outcome restore_disk(progress& p, int target_disk, const char* folder, std::uint64_t backup_bytes,
                     const restore_options& options) {
    disk_restore restore(p, target_disk, folder, backup_bytes, options);
    if (!restore.open()) return kEngineFailed;
    const outcome result = restore.write_blocks();
    return result == kEngineDone ? restore.write_sector0() : result;
}

}  // namespace kiroda
