#include "engine/verify_engine.h"

#include <algorithm>
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
    const verify_options* options = nullptr;
    const std::vector<sector_run>* not_compared = nullptr;
};

bool replaced_at(const disk_to_compare& disk, std::uint64_t byte) {
    for (const auto& [first, end] : disk.options->replaced) {
        if (byte >= first && byte < end) return true;
    }
    return false;
}

// Where the disk holds what a restore writes in place of the set's
// sectors, the set's own stand in for them in the comparison.
void accept_expected(const disk_to_compare& disk, std::uint64_t first_sector,
                     const unsigned char* block, std::uint32_t sectors) {
    const std::uint64_t end = first_sector + sectors;
    for (const sector_write& w : disk.options->expected) {
        const std::uint64_t w_end = w.first_sector + w.bytes.size() / kSectorBytes;
        for (std::uint64_t s = std::max(first_sector, w.first_sector); s < std::min(end, w_end);
             ++s) {
            unsigned char* on_disk = disk.scratch + (s - first_sector) * kSectorBytes;
            if (std::memcmp(on_disk, w.bytes.data() + (s - w.first_sector) * kSectorBytes,
                            kSectorBytes) == 0)
                std::memcpy(on_disk, block + (s - first_sector) * kSectorBytes, kSectorBytes);
        }
    }
}

// Cuts a block at the end of a smaller disk: the sectors past it must be
// zeros in the set. False after a message.
bool cut_at_disk_end(progress& p, const disk_to_compare& disk, std::uint64_t first_sector,
                     const unsigned char* block, std::uint32_t* sectors) {
    if (!disk.fit || first_sector + *sectors <= disk.sectors) return true;
    const std::uint32_t kept =
        first_sector >= disk.sectors ? 0 : static_cast<std::uint32_t>(disk.sectors - first_sector);
    const unsigned char* past = block + std::size_t{kept} * kSectorBytes;
    const unsigned char* end = block + std::size_t{*sectors} * kSectorBytes;
    const unsigned char* data = past;
    while (data != end &&
           (*data == 0 || replaced_at(disk, first_sector * kSectorBytes +
                                                static_cast<std::uint64_t>(data - block))))
        ++data;
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

// The disk's sectors a used-only set never read are taken as the zeros it
// stores there.
void zero_not_compared(const disk_to_compare& disk, std::uint64_t first_sector,
                       std::uint32_t sectors) {
    if (disk.not_compared == nullptr) return;
    const std::uint64_t end = first_sector + sectors;
    const auto& runs = *disk.not_compared;
    const auto from_run = std::lower_bound(
        runs.begin(), runs.end(), first_sector,
        [](const sector_run& r, std::uint64_t s) { return r.first + r.count <= s; });
    for (auto run = from_run; run != runs.end(); ++run) {
        const sector_run& r = *run;
        if (r.first >= end) break;
        const std::uint64_t from = r.first > first_sector ? r.first : first_sector;
        const std::uint64_t to = r.first + r.count < end ? r.first + r.count : end;
        if (from < to)
            std::memset(disk.scratch + (from - first_sector) * kSectorBytes, 0,
                        (to - from) * kSectorBytes);
    }
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
    accept_expected(disk, first_sector, block, sectors);
    zero_not_compared(disk, first_sector, sectors);
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
    disk_to_compare disk{
        options.against_disk, disk_handle(), buffer.data(), options.against_fit, 0, &options};
    disk.not_compared = options.not_compared;
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
