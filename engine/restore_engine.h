// The restore engine: a backup set back onto an empty disk. Sector 0 (the
// partition table) is held back and written last, after the rest is on the
// disk and has been read back and found equal to the set, so a restore that
// stops or fails, or a disk that lost or altered a write, leaves the target's
// sector 0 as it was and the disk never looks partitioned with wrong data.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/progress.h"
#include "engine/set_reader.h"

namespace kiroda {

// The read-back behind the writes of a device that allows it: a flush a
// quarter of a gigabyte costs a disk nothing, and what is left for the end
// is a few seconds' reading.
constexpr std::uint64_t kReadBehindBytes = std::uint64_t{256} << 20;

// The most sectors held back with sector 0 (a GPT's protective MBR and
// primary header on a disk of 4,096-byte sectors take 16).
constexpr std::uint32_t kMaxHeldSectors = 64;

// Bytes written at a sector (512-byte units), whole sectors.
struct sector_write {
    std::uint64_t first_sector = 0;
    std::vector<unsigned char> bytes;
};

struct restore_options {
    // Read the written sectors back (bypassing the cache where the platform
    // allows) and compare them with the set before sector 0 is written.
    // Sector 0 itself is read back after it is written either way.
    bool read_back = true;
    // With read_back, not 0: every so many bytes the target is flushed and
    // what is on it is read back while the rest is written, instead of in a
    // second pass after the last write (for devices that read beside their
    // writes without seeking: not spinning disks). The last region and
    // sector 0 keep their order either way.
    std::uint64_t read_back_behind = 0;
    // The target is known to hold only zeros (an image file just created,
    // sparse): all-zero chunks are left unwritten, so the image keeps them
    // as holes and takes the space of its data only.
    bool target_is_zeros = false;
    // The user agreed to write over a target that holds partitions
    // (krdtool's --force after its question); the check before the first
    // write then lets them through. The wizard never does.
    bool over_partitions = false;
    // A digest file that is there but does not read: the wizard asks,
    // krdtool refuses unless --force.
    damaged_digests digests = damaged_digests::ask;
    // A target smaller than the set (krdtool's --fit): only its first
    // `fit_bytes` bytes are written, and every byte of the set past them
    // must be zero (check_fit in restore_fit.h says so before); 0 writes the
    // whole set.
    std::uint64_t fit_bytes = 0;
    // The logical sector size of the disk the set was made from (its
    // KRDDISK.TXT; 512 for a set without one): the target must have it.
    int sector_bytes = 512;
    // What is written last, after the read-back (a GPT restored onto a disk
    // of another size, its backup moved to the new end): the first
    // `held_sectors` sectors are held back from the writes with sector 0
    // (1: sector 0 alone, at most kMaxHeldSectors); each of `last_tail` is
    // written, flushed and read back, then `last_head` (held_sectors x 512
    // bytes; empty: the set's own) in place of the held sectors, last.
    std::uint32_t held_sectors = 1;
    std::vector<sector_write> last_tail;
    std::vector<unsigned char> last_head;
    // With fit_bytes: byte ranges [first, second) of the set past the
    // target's end that are replaced rather than restored (the source's
    // backup GPT, rewritten at the target's end): they need not be zeros.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> replaced;
    // Workers that unpack and check the set's blocks while the file is read
    // on and the block before is written (0: one per core).
    unsigned threads = 0;
};

// Writes `backup_bytes` bytes of the set in `folder` onto disk `target_disk`.
// kEngineDone after sector 0 was written; kEngineStopped on a stop;
// kEngineFailed after a message.
outcome restore_disk(progress& p, int target_disk, const char* folder, std::uint64_t backup_bytes,
                     const restore_options& options = {});

}  // namespace kiroda
