#include "engine/restore_engine.h"

#include <cstring>
#include <memory>
#include <new>

#include "ui/program.h"
#include "ui/stored_text.h"
#include "disk/physical_disk.h"
#include "engine/background_writer.h"
#include "engine/data_file.h"
#include "engine/restore_target.h"
#include "engine/set_reader.h"
#include "format/header_file.h"

namespace kiroda {

namespace {

constexpr enciphered_text kCannotOpenTarget{"復旧先ディスク(ディスク %d)を開けません。"};
constexpr enciphered_text kSeekDataFailed{"復旧先ディスク(ディスク %d)の書き込み位置に移動できません。"};
constexpr enciphered_text kMissingFile{
    "バックアップファイルが見つかりません。\n%s\nの入ったメディアと交換して下さい。"};
constexpr enciphered_text kBadBlock{
    "バックアップファイルが壊れています。\n%s\n(読み込み結果 %ld)"};
constexpr enciphered_text kEmptyBlock{"バックアップファイルにデータがありません。\n%s"};
constexpr enciphered_text kWriteFailed{"復旧先ディスク(ディスク %d)への書き込みに失敗しました。"};
constexpr enciphered_text kSeekMbrFailed{"復旧先ディスク(ディスク %d)の先頭に移動できません。"};
constexpr enciphered_text kWriteMbrFailed{
    "復旧先ディスク(ディスク %d)の先頭セクタ(MBR)を書き込めませんでした。"};
constexpr enciphered_text kTargetChanged{
    "復旧先ディスク(ディスク %d)を開けません。\n確認した後にディスクが変わりました。\n"
    "(パーテーションがあるか、容量が足りません)"};
constexpr enciphered_text kImplausibleSize{
    "バックアップのヘッダファイルに記録された大きさ(%llu バイト)が正しくありません。"};

const set_reader_texts kRestoreTexts = {
    [] { return get_stored_text(kMissingFile); },
    [] { return get_stored_text(kBadBlock); },
    [] { return get_stored_text(kEmptyBlock); },
};

}  // namespace

int restore_disk(progress& p, int target_disk, const char* folder, std::uint64_t backup_bytes) {
    // Nothing to restore, or a count no set can have: never write a sector 0
    // that did not come from the set.
    if (!backup_bytes_plausible(backup_bytes)) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kImplausibleSize),
                     static_cast<unsigned long long>(backup_bytes));
        return kEngineFailed;
    }
    // The disk was checked before the user confirmed; the number may name
    // another disk by now.
    const target_check check = check_restore_target(target_disk, backup_bytes);
    if (check.verdict != target_verdict::ok) {
        show_message(p.owner(), kMbOk, program_caption(),
                     get_stored_text(check.verdict == target_verdict::cannot_open ? stored_text(kCannotOpenTarget)
                                                                                  : stored_text(kTargetChanged)),
                     target_disk);
        return kEngineFailed;
    }
    // Two block buffers: one is written to the disk while the next block is
    // read and decoded into the other.
    std::unique_ptr<unsigned char[]> buffers(new (std::nothrow) unsigned char[2 * static_cast<std::size_t>(kChunkBytes)]);
    disk_handle disk = open_physical_disk(target_disk, 'w');
    if (!disk.valid() || buffers == nullptr) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kCannotOpenTarget), target_disk);
        return kEngineFailed;
    }
    p.set_button("キャンセル");
    p.set_status("ディスク復旧中");
    if (!seek_sector(disk, 1)) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kSeekDataFailed), target_disk);
        return kEngineFailed;
    }

    unsigned char sector0[512];
    const int result = [&] {
        background_writer writer(disk);
        // Every way out waits for the write in flight; a failure it reports
        // counts as the failure of the restore.
        auto write_failed = [&] {
            show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kWriteFailed), target_disk);
            return kEngineFailed;
        };
        set_reader reader(p, folder, kRestoreTexts);
        std::uint64_t restored = 0;
        int current = 0;
        while (restored < backup_bytes) {
            char line[96];
            format_bytes_left(line, sizeof line, backup_bytes - restored);
            p.set_detail(line);
            p.set_bytes_left(backup_bytes - restored);
            if (!p.running()) return writer.finish() ? kEngineStopped : write_failed();
            unsigned char* buffer = buffers.get() + static_cast<std::size_t>(current) * kChunkBytes;
            std::int64_t count = reader.next_block(buffer);
            if (count < 0) {
                writer.finish();
                return kEngineFailed;
            }
            // The surplus of an over-long last block would run past the set's
            // size, and past the end of a target of exactly that size.
            if (static_cast<std::uint64_t>(count) > backup_bytes - restored) {
                count = static_cast<std::int64_t>(backup_bytes - restored);
            }
            const unsigned char* data = buffer;
            std::uint64_t to_write = static_cast<std::uint64_t>(count);
            if (restored == 0) {
                std::memcpy(sector0, data, sizeof sector0);
                data += sizeof sector0;
                to_write -= sizeof sector0;
            }
            restored += static_cast<std::uint64_t>(count);
            // The block just read is not written.
            if (!p.running()) return writer.finish() ? kEngineStopped : write_failed();
            if (to_write > 0) {
                if (!writer.submit(data, static_cast<std::uint32_t>(to_write / 512))) return write_failed();
                current ^= 1;
            }
        }
        return writer.finish() ? kEngineDone : write_failed();
    }();
    if (result != kEngineDone) return result;

    p.set_detail("MBR 復旧中");
    // Everything else reaches the disk before the partition table that
    // describes it, and the partition table before success is reported.
    if (!flush_disk(disk)) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kWriteFailed), target_disk);
        return kEngineFailed;
    }
    if (!seek_sector(disk, 0)) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kSeekMbrFailed), target_disk);
        return kEngineFailed;
    }
    if (!write_sectors(disk, 1, sector0) || !flush_disk(disk)) {
        show_message(p.owner(), kMbOk, program_caption(), get_stored_text(kWriteMbrFailed), target_disk);
        return kEngineFailed;
    }
    p.set_status("復旧完了");
    return kEngineDone;
}

}  // namespace kiroda
