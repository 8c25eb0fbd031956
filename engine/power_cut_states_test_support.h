// Test support: what a volume and the disks may hold after a power cut at
// any point of a recorded run (the power-cut record of util/io_census_test_support.h).
//
// The model. Each file is an inode with its bytes, reached through the
// names of one folder; a disk is its image's bytes. A change is durable
// once a sync point after it covers it:
//   - committing a file (fsync) covers the writes and cuts of that file and
//     its creation, name included (as ext4, XFS and btrfs do for a new
//     file; strictly, only a synced folder makes a name durable);
//   - syncing the folder (the second half of replace_file) covers every
//     creation, rename and removal before it;
//   - flushing a disk covers the writes to that disk before it.
// The sync points are the commits, folder syncs and disk flushes of the
// record. A cut at point k (0 = before the first, up to after the last)
// comes after sync point k returned and before sync point k + 1 did: every
// change before sync point k + 1 that sync points 1..k do not cover is
// pending, and a file system may have kept any of it. The states tried at
// each cut, each from the durable changes plus:
//   lost        none of the pending changes
//   kept        all of them (what the program saw)
//   names       the pending creations, cuts, renames and removals, no write
//   no-rename   all of them but the renames and removals
//   unsynced-names  all of them, and every change made durable, but the
//               names created since the folder was last synced (a file
//               system that keeps a new name only with its folder)
// and for each pending write W, the pending changes before W kept and
// those after it lost, with W:
//   torn-half   its first half, down to a 512-byte sector
//   torn-end    all of it but its last byte (a disk write: its last sector)
//   length      the file's length it made, its bytes zeros (the data never
//               reached the medium; files only)
// and hole: every pending change kept but W (writes reordered); and, for a
// run whose folder was just made, while no sync of its parent has returned:
//   no-folder   the folder itself gone, with all it held
// States that come out the same as one tried before at any cut are tried
// once. Replayed in the order of the record, a lost creation leaves its
// writes on a nameless inode, and a rename of a name that is not there does
// nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "util/io_census_test_support.h"

namespace kiroda::test_support {

// The files of the one folder a run writes (by name) and the images of the
// disks it writes (by number).
struct medium_state {
    std::map<std::string, std::vector<unsigned char>> files;
    std::map<int, std::vector<unsigned char>> disks;
    // Before a run: the path of the folder it writes, when known. A folder
    // sync then covers the names of that folder only, and with `folder_new`
    // (the folder was just made) the folder's own name in its parent is
    // durable only once a sync of the parent returned: before it, a cut may
    // take the folder and everything in it (the state "no-folder").
    std::string folder;
    bool folder_new = false;
    // In a state: false when the cut took the folder itself.
    bool folder_there = true;
};

struct cut_state {
    int cut = 0;                  // after this many sync points
    const char* variant = "";     // the model's name for it, as above
    std::int64_t write = -1;      // the record's index of W, or -1
    const medium_state* state{};  // valid during the call only
};

struct census_count {
    int cut_points = 0;
    int states = 0;  // distinct ones, each handed to the caller once
};

// Hands each state a cut may leave, from `before` and the changes of
// `record`, to `visit`.
census_count for_each_power_cut_state(const medium_state& before,
                                      const std::vector<io_change>& record,
                                      const std::function<void(const cut_state&)>& visit);

// What the run left when every change was kept.
medium_state state_after(const medium_state& before, const std::vector<io_change>& record);

// The files of `folder` (not its subfolders).
std::map<std::string, std::vector<unsigned char>> files_of(const std::string& folder);
// Puts `files` in place of every file of `folder`.
void put_files(const std::string& folder,
               const std::map<std::string, std::vector<unsigned char>>& files);

}  // namespace kiroda::test_support
