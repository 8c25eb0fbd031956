#include "engine/restore_engine.h"

#include <cstring>
#include <vector>

#include "disk/physical_disk.h"
#include "engine/background_writer.h"
#include "engine/chunk_buffer.h"
#include "engine/data_file.h"
#include "engine/restore_target.h"
#include "engine/set_reader.h"
#include "format/digest.h"
#include "format/header_file.h"
#include "ui/program.h"
#include "ui/stored_text.h"
#include "ui/translation.h"
#include "util/number_format.h"
#include "util/zeros.h"

namespace kiroda {

namespace {

constexpr enciphered_text kCannotOpenTarget{"復旧先ディスク(ディスク %d)を開けません。"};
constexpr enciphered_text kNoMemory{"メモリが足りないため、復旧を始められません。"};
constexpr enciphered_text kSeekDataFailed{
    "復旧先ディスク(ディスク %d)の書き込み位置に移動できません。"};
constexpr enciphered_text kMissingFile{
    "バックアップファイルが見つかりません。\n%s\nの入ったメディアと交換して下さい。"};
constexpr enciphered_text kBadBlock{"バックアップファイルが壊れています。\n%s\n(読み込み結果 %ld)"};
constexpr enciphered_text kEmptyBlock{"バックアップファイルにデータがありません。\n%s"};
constexpr enciphered_text kWriteFailed{"復旧先ディスク(ディスク %d)への書き込みに失敗しました。"};
constexpr enciphered_text kSeekMbrFailed{"復旧先ディスク(ディスク %d)の先頭に移動できません。"};
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
constexpr enciphered_text kMbrReadBackDiffers{
    "復旧先ディスク(ディスク %d)の先頭セクタ(MBR)が、読み戻すと書き込んだ内容と異なっています。"};

const set_reader_texts kRestoreTexts = {
    [] { return get_stored_text(kMissingFile); },
    [] { return get_stored_text(kBadBlock); },
    [] { return get_stored_text(kEmptyBlock); },
};

// What one block put on the disk: its first sector, its length, and the
// digest of its unpacked bytes (sector 0 included for the first block).
struct written_chunk {
    std::uint64_t first_sector;
    std::uint32_t sectors;
    digest128 digest;
};

bool explain_changed_target(progress& p, const target_check& check, int target_disk) {
    switch (check.verdict) {
        case target_verdict::ok:
            return true;
        case target_verdict::cannot_open:
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotOpenTarget),
                         target_disk);
            break;
        case target_verdict::bad_sector_size:
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kChangedSectorSize),
                         target_disk, static_cast<long long>(check.value));
            break;
        case target_verdict::bad_media:
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kChangedMedia),
                         target_disk,
                         localized(media_type_name(static_cast<std::uint8_t>(check.value))));
            break;
        case target_verdict::too_small:
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kChangedTooSmall),
                         target_disk);
            break;
        case target_verdict::cannot_seek:
        case target_verdict::cannot_read:
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kChangedUnreadable),
                         target_disk);
            break;
        case target_verdict::has_partitions:
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kChangedPartitions),
                         target_disk);
            break;
    }
    return false;
}

// Reads back every chunk written after sector 0 and compares it with the
// set. `sector0` stands in for the sector not yet written. kEngineDone when
// all match; otherwise the first differing range has been named.
int read_back(progress& p, int target_disk, const std::vector<written_chunk>& chunks,
              const unsigned char* sector0, unsigned char* buffer, std::uint64_t backup_bytes) {
    disk_handle disk = open_physical_disk(target_disk, 'v');
    if (!disk.valid()) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kReadBackFailed),
                     target_disk, "1");
        return kEngineFailed;
    }
    p.set_status("書き込み確認中");
    std::uint64_t checked = 0;
    for (const written_chunk& chunk : chunks) {
        char line[96];
        format_bytes_left(line, sizeof line, backup_bytes - checked);
        p.set_detail(line);
        p.set_bytes_left(backup_bytes - checked);
        if (!p.running()) return kEngineStopped;
        std::uint64_t first = chunk.first_sector;
        std::uint32_t count = chunk.sectors;
        unsigned char* into = buffer;
        if (first == 0) {
            std::memcpy(buffer, sector0, kSectorBytes);
            first = 1;
            --count;
            into += kSectorBytes;
        }
        if (count > 0 && (!seek_sector(disk, first) || !read_sectors(disk, count, into))) {
            char where[kGroupedTextSize];
            format_uint64_grouped(where, first);
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kReadBackFailed),
                         target_disk, where);
            return kEngineFailed;
        }
        if (digest_bytes(buffer, std::size_t{chunk.sectors} * kSectorBytes) != chunk.digest) {
            char from[kGroupedTextSize], to[kGroupedTextSize];
            format_uint64_grouped(from, chunk.first_sector);
            format_uint64_grouped(to, chunk.first_sector + chunk.sectors - 1);
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kReadBackDiffers),
                         target_disk, from, to);
            return kEngineFailed;
        }
        checked += std::uint64_t{chunk.sectors} * kSectorBytes;
    }
    return kEngineDone;
}

// Sector 0 as the device holds it now equals `sector0`.
bool sector0_reads_back(int target_disk, const unsigned char* sector0, unsigned char* buffer) {
    disk_handle disk = open_physical_disk(target_disk, 'v');
    return disk.valid() && seek_sector(disk, 0) && read_sectors(disk, 1, buffer) &&
           std::memcmp(buffer, sector0, kSectorBytes) == 0;
}

}  // namespace

int restore_disk(progress& p, int target_disk, const char* folder, std::uint64_t backup_bytes,
                 const restore_options& options) {
    // Nothing to restore, or a count no set can have: never write a sector 0
    // that did not come from the set.
    if (!backup_bytes_plausible(backup_bytes)) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kImplausibleSize),
                     static_cast<unsigned long long>(backup_bytes));
        return kEngineFailed;
    }
    // The disk was checked before the user confirmed; the number may name
    // another disk by now.
    if (!explain_changed_target(p, check_restore_target(target_disk, backup_bytes), target_disk)) {
        return kEngineFailed;
    }
    // Two block buffers: one is written to the disk while the next block is
    // read and decoded into the other. The read-back reuses the first.
    chunk_buffer buffers(2 * static_cast<std::size_t>(kChunkBytes));
    if (buffers.data() == nullptr) {
        show_message(p.owner(), kMbOk, program_caption(), "%s",
                     localized(get_stored_text(kNoMemory)));
        return kEngineFailed;
    }
    set_reader reader(p, folder, backup_bytes, kRestoreTexts);
    if (options.read_back) reader.keep_block_digests();
    if (!reader.open()) return kEngineFailed;
    disk_handle disk = open_physical_disk(target_disk, 'w');
    if (!disk.valid()) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotOpenTarget),
                     target_disk);
        return kEngineFailed;
    }
    p.set_button("キャンセル");
    p.set_status("ディスク復旧中");
    if (!seek_sector(disk, 1)) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kSeekDataFailed),
                     target_disk);
        return kEngineFailed;
    }

    unsigned char sector0[kSectorBytes];
    std::vector<written_chunk> written;
    const int result = [&] {
        background_writer writer(disk);
        // Every way out waits for the write in flight; a failure it reports
        // counts as the failure of the restore.
        auto write_failed = [&] {
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kWriteFailed),
                         target_disk);
            return kEngineFailed;
        };
        std::uint64_t restored = 0;
        int current = 0;
        while (restored < backup_bytes) {
            char line[96];
            format_bytes_left(line, sizeof line, backup_bytes - restored);
            p.set_detail(line);
            p.set_bytes_left(backup_bytes - restored);
            if (!p.running()) return writer.finish() ? kEngineStopped : write_failed();
            // The next block may need another medium: a write that failed
            // is told first, not after a question about a file.
            if (reader.at_file_boundary() && !writer.finish()) return write_failed();
            unsigned char* buffer =
                buffers.data() + static_cast<std::size_t>(current) * kChunkBytes;
            const std::int64_t count = reader.next_block(buffer);
            if (count < 0) return writer.finish() ? kEngineFailed : write_failed();
            const unsigned char* data = buffer;
            std::uint64_t to_write = static_cast<std::uint64_t>(count);
            written.push_back({restored / kSectorBytes,
                               static_cast<std::uint32_t>(to_write / kSectorBytes),
                               reader.last_block_digest()});
            if (restored == 0) {
                std::memcpy(sector0, data, sizeof sector0);
                data += sizeof sector0;
                to_write -= sizeof sector0;
            }
            const std::uint64_t first_sector = restored == 0 ? 1 : restored / kSectorBytes;
            restored += static_cast<std::uint64_t>(count);
            // The block just read is not written.
            if (!p.running()) return writer.finish() ? kEngineStopped : write_failed();
            if (to_write > 0 && !(options.target_is_zeros && all_zero(data, to_write))) {
                if (!writer.submit(first_sector, data,
                                   static_cast<std::uint32_t>(to_write / kSectorBytes))) {
                    return write_failed();
                }
                current ^= 1;
            }
        }
        if (!writer.finish()) return write_failed();
        // Nothing may follow the last block, and the set's digests must hold
        // for the whole stream, before the partition table makes the disk
        // look whole.
        return reader.finish() ? kEngineDone : kEngineFailed;
    }();
    if (result != kEngineDone) return result;

    // Everything else reaches the disk before the partition table that
    // describes it, and the partition table before success is reported.
    if (!flush_disk(disk)) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kWriteFailed),
                     target_disk);
        return kEngineFailed;
    }
    if (options.read_back) {
        const int checked =
            read_back(p, target_disk, written, sector0, buffers.data(), backup_bytes);
        if (checked != kEngineDone) return checked;
        p.set_status("ディスク復旧中");
    }
    p.set_detail("MBR 復旧中");
    if (!seek_sector(disk, 0)) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kSeekMbrFailed),
                     target_disk);
        return kEngineFailed;
    }
    if (!write_sectors(disk, 1, sector0) || !flush_disk(disk)) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kWriteMbrFailed),
                     target_disk);
        return kEngineFailed;
    }
    if (options.read_back && !sector0_reads_back(target_disk, sector0, buffers.data())) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kMbrReadBackDiffers),
                     target_disk);
        return kEngineFailed;
    }
    p.set_status("復旧完了");
    return kEngineDone;
}

}  // namespace kiroda
