// Reading a chunk of a failing disk past its unreadable sectors. The chunk
// is read whole first, at full speed; only when that fails is it re-read in
// 64 KiB pieces, and a failing piece sector by sector, each sector retried
// once. Unreadable sectors become zeros. Every read after a failure seeks
// first (after a failed read the position is not to be trusted) and goes
// through a handle that bypasses the cache where the platform allows, so one
// bad sector does not fail a whole read-ahead window.
//
// Failing reads are slow and wear a dying disk, so they are bounded: after
// kGiveUpStreak failed reads in a row the reader stops reading sector by
// sector, tries each 64 KiB piece once (at its last sector), and marks a
// failing piece "not tried", until one reads again; that piece is then read
// back from its end to find where the region stops.
#pragma once

#include <cstdint>
#include <vector>

#include "disk/physical_disk.h"
#include "format/bad_sector_map.h"

namespace kiroda {

constexpr std::uint32_t kRescuePieceSectors = 128;  // 64 KiB
constexpr int kGiveUpStreak = 32;

class rescue_reader {
  public:
    // `disk`: the source, open for reading; `disk_number`: the same disk, for
    // the careful handle opened when a read first fails.
    rescue_reader(const disk_handle& disk, int disk_number)
        : disk_(disk), disk_number_(disk_number) {}

    // Reads `count` sectors from sector `first` into `buffer` (aligned for
    // direct I/O). The chunk's runs are added to `map`. With `rescue`,
    // sectors that cannot be read are zeros in `buffer` and runs of `map`,
    // not a failure: true always. Without it, a chunk that does not read in
    // one go, twice, is not re-read sector by sector (that takes minutes on a
    // dying disk): false, and the caller asks before trying again with
    // `rescue`.
    bool read_chunk(std::uint64_t first, std::uint32_t count, unsigned char* buffer,
                    bad_sector_map& map, bool rescue = true);

    // Sectors to store as zeros (blocks no file system uses, for a backup
    // of the used blocks only): sorted runs that do not overlap. Runs of at
    // least kUnreadZeroRunSectors are not read at all; shorter ones are
    // read with their neighbours (one large read is cheaper than many
    // small ones) and zeroed. Either way they count as read in the map.
    void store_as_zeros(std::vector<sector_run> runs) { zero_runs_ = std::move(runs); }
    static constexpr std::uint64_t kUnreadZeroRunSectors = 128;

    // Sectors found unreadable or not tried so far.
    std::uint64_t lost_sectors() const { return lost_; }
    // The system's reason the last chunk that lost sectors failed to read
    // (0 when unknown), for the message that asks what to do about it.
    int chunk_error() const { return chunk_error_; }

  private:
    bool read_span(std::uint64_t first, std::uint32_t count, unsigned char* buffer,
                   bad_sector_map& map, bool rescue);
    void zero_short_runs(std::uint64_t first, std::uint32_t count, unsigned char* buffer) const;
    bool read_at(const disk_handle& disk, std::uint64_t first, std::uint32_t count,
                 unsigned char* into);
    void failed_read();
    void skip_piece(std::uint64_t first, std::uint32_t count, unsigned char* into,
                    bad_sector_map& map);
    void rescue_piece(std::uint64_t first, std::uint32_t count, unsigned char* into,
                      bad_sector_map& map);

    const disk_handle& disk_;
    int disk_number_;
    disk_handle careful_handle_;
    // The handle of the careful reads: the uncached one, or the disk's own
    // where a second handle cannot be opened beside it (a raw disk opened
    // without read sharing; such a handle reads past the cache already).
    const disk_handle* careful_ = nullptr;
    int streak_ = 0;
    bool skipping_ = false;
    std::uint64_t lost_ = 0;
    int chunk_error_ = 0;
    std::vector<sector_run> zero_runs_;
};

}  // namespace kiroda
