#include "engine/restore_fit.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "engine/engine_texts.h"
#include "disk/mbr.h"
#include "disk/partition_list.h"
#include "engine/gpt_layout.h"
#include "engine/data_file.h"
#include "engine/set_image.h"
#include "engine/engine_message.h"
#include "format/packed_block.h"
#include "format/set_files.h"
#include "ui/stored_text.h"
#include "ui/translation.h"

namespace kiroda {

namespace {

constexpr std::uint64_t kSector = 512;

constexpr enciphered_text kUnreadableBlock{
    "読めないブロックがあります: %zu 番目のブロック (" KIRODA_DATA_FILE_NAME_FORMAT "): %s"};

// The furthest byte the set's partition table claims: any entry of sector
// 0 (the extended container too, which a partitioning tool would find
// running off the disk) and every logical partition of the chain. The
// entries count the disk's own sectors; each record is the first 512 bytes
// of one.
std::uint64_t partitions_end_bytes(set_image& image, std::uint32_t sector_bytes, bool* chain_cut) {
    unsigned char sector0[kSector];
    if (image.read(0, kSector, sector0) != static_cast<std::int64_t>(kSector) ||
        !has_boot_signature(sector0)) {
        return 0;
    }
    const std::uint64_t units = sector_bytes / kSector;
    std::uint64_t end = mbr_partitions_end(sector0);
    const partition_list list =
        list_partitions(image.size() / sector_bytes, [&](std::uint64_t lba, unsigned char* bytes) {
            return image.read(lba * units * kSector, kSector, bytes) ==
                   static_cast<std::int64_t>(kSector);
        });
    for (const auto* partitions : {&list.partitions, &list.past_end}) {
        for (const disk_partition& partition : *partitions)
            end = std::max(end, partition.end_sector());
    }
    *chain_cut = list.chain_cut;
    return end * sector_bytes;
}

// A GPT's reach and the room its backup takes; false for a disk without a
// sound GPT (one whose headers fail or disagree, or a hybrid MBR, is judged
// by its MBR, whose protective entry claims the whole disk: it is restored
// only as it is, never cut without its backup).
bool gpt_reach(set_image& image, std::uint32_t sector_bytes, fit_check* check) {
    const gpt_layout gpt = read_gpt_layout(
        image.size(), sector_bytes, [&](std::uint64_t sector, unsigned char* bytes) {
            return image.read(sector * kSector, kSector, bytes) ==
                   static_cast<std::int64_t>(kSector);
        });
    if (gpt.state != gpt_state::valid) return false;
    const std::uint64_t array_lbas =
        (std::uint64_t{gpt.header.entry_count} * gpt.header.entry_bytes + sector_bytes - 1) /
        sector_bytes;
    check->gpt = true;
    check->partitions_end = gpt.partitions_end_bytes();
    check->gpt_room_bytes = (array_lbas + 1) * sector_bytes;
    // The backup of the set's disk: its array up to its header, at the end.
    const std::uint64_t disk_lbas = image.size() / sector_bytes;
    check->replaced.emplace_back((disk_lbas - array_lbas - 1) * sector_bytes,
                                 disk_lbas * sector_bytes);
    return true;
}

// The non-zero bytes of `chunk` (at byte `at` of the set) outside `replaced`.
std::uint64_t count_kept_nonzero(
    const unsigned char* chunk, std::uint64_t at, std::size_t size,
    const std::vector<std::pair<std::uint64_t, std::uint64_t>>& replaced) {
    std::uint64_t count = count_nonzero(chunk, size);
    for (const auto& [first, end] : replaced) {
        const std::uint64_t from = std::max(first, at), to = std::min(end, at + size);
        if (from < to)
            count -= count_nonzero(chunk + (from - at), static_cast<std::size_t>(to - from));
    }
    return count;
}

}  // namespace

std::uint64_t count_nonzero(const unsigned char* data, std::size_t size) {
    std::uint64_t count = 0;
    std::size_t i = 0;
    // Whole words first: the tail of a disk is mostly zeros, and a zero word
    // is one test.
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, sizeof word);
        if (word == 0) continue;
        for (std::size_t b = 0; b < 8; ++b) count += data[i + b] != 0;
    }
    for (; i < size; ++i) count += data[i] != 0;
    return count;
}

outcome check_fit(progress& p, const char* folder, std::uint64_t backup_bytes,
                  std::uint64_t target_bytes, fit_check* check, std::uint32_t sector_bytes) {
    *check = {};
    set_image image(folder, backup_bytes, 1);
    if (!image.open(p)) return kEngineFailed;
    image.on_block_failure([&p](const block_failure& f) {
        const char* reason = block_failure_reason(f.code);
        tell(p, kUnreadableBlock, f.block, f.file_number,
             reason != nullptr ? localized(reason) : "");
    });
    if (!gpt_reach(image, sector_bytes, check)) {
        check->partitions_end = partitions_end_bytes(image, sector_bytes, &check->chain_cut);
    }
    const std::unique_ptr<unsigned char[]> chunk(new (std::nothrow) unsigned char[kChunkBytes]);
    if (!chunk) {
        tell(p, kNoMemoryToRestore);
        return kEngineFailed;
    }
    p.set_status("復旧先に収まるか確認中");
    for (std::uint64_t at = target_bytes; at < backup_bytes;) {
        char line[96];
        format_bytes_left(line, sizeof line, backup_bytes - at);
        p.set_detail(line);
        p.set_bytes_left(backup_bytes - at);
        if (!p.running()) return kEngineStopped;
        // To the end of the block `at` lies in: each block is unpacked once.
        const std::uint64_t next = std::min(backup_bytes, (at / kChunkBytes + 1) * kChunkBytes);
        const std::int64_t got = image.read(at, static_cast<std::size_t>(next - at), chunk.get());
        if (got != static_cast<std::int64_t>(next - at)) return kEngineFailed;
        check->nonzero_past_end +=
            count_kept_nonzero(chunk.get(), at, static_cast<std::size_t>(got), check->replaced);
        at = next;
    }
    return kEngineDone;
}

}  // namespace kiroda
