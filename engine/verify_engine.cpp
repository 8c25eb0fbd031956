#include "engine/verify_engine.h"

#include <algorithm>
#include <cstring>

#include "disk/physical_disk.h"
#include "engine/block_checks.h"
#include "engine/chunk_buffer.h"
#include "engine/data_file.h"
#include "engine/engine_message.h"
#include "engine/set_reader.h"
#include "engine/worker_pool.h"
#include "format/set_files.h"
#include "ui/program.h"
#include "ui/stored_text.h"
#include "ui/translation.h"
#include "util/number_format.h"

namespace kiroda {

namespace {

const set_reader_texts kVerifyTexts = {
    [] { return "バックアップファィルが見つかりません。\n[%s]の入ったメディアと交換して下さい。"; },
    [] { return "バックアップファィル読込エラー。\n　　\"%s\"\nMeltReadSize = %ld"; },
    [] { return "バックアップファィルを読めません。\n　　\"%s\""; },
};

constexpr enciphered_text kUnfinished{
    "バックアップデータは完成していません。\nバックアップが終わる前に中断されました(" KIRODA_UNFINISHED_MARK_NAME
    ")。\n同じディスクのバックアップを続けて、完成させて下さい。"};
constexpr enciphered_text kNoMemory{"メモリが足りないため、データテストを始められません。"};
constexpr enciphered_text kCannotOpenDisk{"比較するディスク(ディスク %d)を開けません。"};
constexpr enciphered_text kDiskTooSmall{
    "比較するディスク(ディスク %d)はバックアップデータより小さいため、一致しません。\n"
    "ディスク %s バイト、バックアップデータ %s バイト"};
constexpr enciphered_text kDiskUnreadable{
    "比較するディスク(ディスク %d)を読めません。(セクタ %s から)"};
constexpr enciphered_text kDataPastDisk{
    "バックアップデータには、比較するディスク(ディスク %d)の終わりより後ろにもデータがあります。\n"
    "(セクタ %s から)"};
constexpr enciphered_text kDiskDiffers{
    "バックアップデータと比較するディスク(ディスク %d)の内容が異なります。\n"
    "最初に異なるのはセクタ %s から %s までです。"};

// The first run of differing sectors between two chunks of `sectors`
// sectors, as offsets from their start; false when they are equal.
bool first_difference(const unsigned char* a, const unsigned char* b, std::uint32_t sectors,
                      std::uint32_t* first, std::uint32_t* last) {
    auto differs = [&](std::uint32_t s) {
        return std::memcmp(a + std::size_t{s} * kSectorBytes, b + std::size_t{s} * kSectorBytes,
                           kSectorBytes) != 0;
    };
    std::uint32_t s = 0;
    while (s < sectors && !differs(s)) ++s;
    if (s == sectors) return false;
    *first = s;
    while (s + 1 < sectors && differs(s + 1)) ++s;
    *last = s;
    return true;
}

// The disk a set is compared with, and memory for a chunk of it.
struct disk_to_compare {
    int number = kNoDisk;
    disk_handle handle;
    unsigned char* scratch = nullptr;  // kChunkBytes
    bool fit = false;
    std::uint64_t sectors = 0;  // of the disk, when `fit`
};

// Cuts a block at the end of a smaller disk: the sectors past it must be
// zeros in the set. False after a message.
bool cut_at_disk_end(progress& p, const disk_to_compare& disk, std::uint64_t first_sector,
                     const unsigned char* block, std::uint32_t* sectors) {
    if (!disk.fit || first_sector + *sectors <= disk.sectors) return true;
    const std::uint32_t kept =
        first_sector >= disk.sectors ? 0 : static_cast<std::uint32_t>(disk.sectors - first_sector);
    const unsigned char* past = block + std::size_t{kept} * kSectorBytes;
    const unsigned char* end = block + std::size_t{*sectors} * kSectorBytes;
    const unsigned char* data = std::find_if(past, end, [](unsigned char c) { return c != 0; });
    if (data != end) {
        char where[kGroupedTextSize];
        format_uint64_grouped(
            where, first_sector + static_cast<std::uint64_t>(data - block) / kSectorBytes);
        tell(p, kDataPastDisk, disk.number, where);
        return false;
    }
    *sectors = kept;
    return true;
}

// Compares one block with the same sectors of the disk. False after a message.
bool compare_with_disk(progress& p, const disk_to_compare& disk, std::uint64_t first_sector,
                       const unsigned char* block, std::uint32_t sectors) {
    if (!cut_at_disk_end(p, disk, first_sector, block, &sectors)) return false;
    if (sectors == 0) return true;
    if (!seek_sector(disk.handle, first_sector) ||
        !read_sectors(disk.handle, sectors, disk.scratch)) {
        char where[kGroupedTextSize];
        format_uint64_grouped(where, first_sector);
        tell(p, kDiskUnreadable, disk.number, where);
        return false;
    }
    std::uint32_t first = 0, last = 0;
    if (!first_difference(block, disk.scratch, sectors, &first, &last)) return true;
    char from[kGroupedTextSize], to[kGroupedTextSize];
    format_uint64_grouped(from, first_sector + first);
    format_uint64_grouped(to, first_sector + last);
    tell(p, kDiskDiffers, disk.number, from, to);
    return false;
}

// Opens the disk to compare with and checks it can hold the set. False
// after a message.
bool open_disk_to_compare(progress& p, std::uint64_t backup_bytes, disk_to_compare* disk) {
    disk->handle = open_physical_disk(disk->number, disk_mode::read);
    if (!disk->handle.valid()) {
        tell(p, kCannotOpenDisk, disk->number);
        return false;
    }
    const std::int64_t size = get_disk_size_bytes(disk->handle);
    if (size < 0 || static_cast<std::uint64_t>(size) >= backup_bytes) {
        disk->fit = false;
        return true;
    }
    if (disk->fit) {
        disk->sectors = static_cast<std::uint64_t>(size) / kSectorBytes;
        return true;
    }
    char have[kGroupedTextSize], need[kGroupedTextSize];
    format_int64_grouped(have, size);
    format_uint64_grouped(need, backup_bytes);
    tell(p, kDiskTooSmall, disk->number, have, need);
    return false;
}

}  // namespace

outcome verify_backup_set(progress& p, const char* folder, std::uint64_t backup_bytes,
                          const verify_options& options) {
    const bool against = options.against_disk != kNoDisk;
    // Before the checks: they use it until they are destroyed.
    set_reader reader(p, folder, backup_bytes, kVerifyTexts);
    chunk_buffer buffer(against ? static_cast<std::size_t>(kChunkBytes) : 1);
    block_checks checks(engine_threads(options.threads));
    if (buffer.data() == nullptr || !checks.ready()) {
        tell(p, kNoMemory);
        return kEngineFailed;
    }
    disk_to_compare disk{options.against_disk, disk_handle(), buffer.data(), options.against_fit};
    if (against && !open_disk_to_compare(p, backup_bytes, &disk)) return kEngineFailed;
    p.set_button("キャンセル");
    p.set_status("データテスト中");
    reader.read_from_medium();
    reader.require_sides();
    if (!reader.open(damaged_digests::refuse, false)) return kEngineFailed;
    // Its blocks may all be there, but the backup never read them back nor
    // recorded their digests: no test can call it the set that was meant.
    if (set_marked_unfinished(folder)) {
        tell(p, kUnfinished);
        return kEngineFailed;
    }
    std::uint64_t tested = 0;
    while (tested < backup_bytes) {
        char line[96];
        format_bytes_left(line, sizeof line, backup_bytes - tested);
        p.set_detail(line);
        p.set_bytes_left(backup_bytes - tested);
        if (!p.running()) return kEngineStopped;
        pending_block* block = checks.next(reader);
        if (block == nullptr) return kEngineFailed;
        const std::int64_t count = reader.end_block(*block);
        if (count < 0) return kEngineFailed;
        const auto sectors = static_cast<std::uint32_t>(count / kSectorBytes);
        if (against && !compare_with_disk(p, disk, tested / kSectorBytes, block->buffer, sectors)) {
            return kEngineFailed;
        }
        checks.release(block);
        tested += static_cast<std::uint64_t>(count);
        if (!p.running()) return kEngineStopped;
    }
    if (!reader.finish()) return kEngineFailed;
    p.set_status("テスト完了");
    p.set_detail("");
    return kEngineDone;
}

}  // namespace kiroda
