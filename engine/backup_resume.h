// Going on with a backup that was cut short (Ctrl-C, a pulled cable, a
// power cut, a full medium) instead of starting over: for a dying disk,
// every hour of reading it again is wear it may not survive.
//
// An unfinished set is its header, data files of whole blocks, perhaps a
// partial block at the end of the last one (the block in flight), perhaps
// the map of a rescue, and no digest file (that is written last); its blocks
// stop short of the disk's end. It goes on when the header is this disk's
// size and the kept blocks compared (the first, the last, and eight spread
// between them) are what the disk still holds there: a disk used between
// the cut and the resume would otherwise give a set of two states of the
// disk. The partial block is cut off and the backup continues with the next
// chunk (backup_disk with the resume option). The result is the set one run
// would have written: the same data files byte for byte, the header of the
// first run.
#pragma once

#include <cstdint>
#include <string>

#include "disk/physical_disk.h"
#include "engine/backup_engine.h"
#include "engine/backup_writer.h"
#include "engine/progress.h"

namespace kiroda {

enum class unfinished_set {
    resumable,       // it goes on (from sector 0 when nothing of it is usable yet)
    complete,        // its digest file is there, or its blocks reach the disk's end
    other_disk,      // the header records another size than this disk's
    damaged,         // a block before the tail of the last data file does not read
    unreadable,      // a file of the set cannot be read (`file` names it)
    different_data,  // a kept block compared is not what the disk holds there
    unconfirmed,     // not one sector of those blocks could be compared
    stopped,         // the user stopped the examination
};

struct resume_finding {
    unfinished_set verdict = unfinished_set::resumable;
    std::string file;               // the file at fault, or the one cut
    int block = 0;                  // the block at fault, 1-based in `file`
    std::uint64_t sector = 0;       // different_data: the first sector that differs...
    std::uint64_t last_sector = 0;  // ...and the last that differs in its block
    std::uint64_t set_bytes = 0;    // other_disk: the size the header records
    bool header_written = false;    // false: no usable header yet, write one
    bool cut = false;               // `file` ends in a partial block (block `block`)
    bool damaged_block = false;     // that block is damage, not the block in flight
};

// Examines the set in the folder of `writer` against the first sectors of
// `disk` (`disk_number` names it for careful re-reads). Changes nothing on
// the medium. When the set can go on, `writer` stands after its kept blocks
// (every one read and unpacked for the digests; the source is read only for
// the first and the last of them).
resume_finding examine_unfinished_set(const disk_handle& disk, int disk_number,
                                      backup_writer& writer);

// True when `folder` holds a finished set: it has a digest file, or the
// blocks of its data files (stepped over, not read, but each to its last
// byte: a block cut short is the one in flight, not a block of the set)
// reach its header's byte count and no digest file was being written (its
// temporary name is not there). A set an older program or another writer of the format finished
// has no digest file; going on with it would only relabel it as a fresh one.
bool set_is_finished(const char* folder);

// The quick look the wizard takes before it offers to go on: the set in
// `folder` records the size of `sectors` sectors, is not complete, and its
// last whole block (blocks are stepped over, not read, up to the last data
// file) is what disk `disk_number` holds there. Shows nothing.
bool unfinished_set_of_disk(const char* folder, int disk_number, std::uint64_t sectors);

// Shows why the set of `finding` cannot go on (nothing for resumable, and
// for a stop, which is no failure of the set). `source_disk` names the disk.
// Says which kept block of a resumable set was found damaged, and that it
// is written again (nothing when none was).
void report_damaged_block(progress& p, const resume_finding& finding);

void report_unfinished_set(progress& p, const resume_finding& finding, int source_disk,
                           const char* folder, std::uint64_t sectors);

}  // namespace kiroda
