// Writes the data files of a backup set, the twin of the set reader: one
// object owns the data file being written, the digests of every block and
// file and of the whole stream, the count of blocks, the map of a rescue and
// the free-space check before each file. The backup engine hands it packed
// blocks in disk order; the writer decides where they go.
//
// A new set starts at sector 0. An unfinished one (see backup_resume.h) is
// a writer opened at the end of its kept blocks: open_kept() walks the data
// files and takes their digests as they are read; start() cuts off what
// follows the kept blocks. From there on both are written the same way, so
// a resumed set ends as the set one run would have written.
//
// With the read-back on (the default), every file of the set is read back
// from the medium, past the system's cache, once it is written: each data
// file after it is closed, the header after it is written and once more at
// the end, the map and the digest file before they take their names
// (set_read_back.h). A file the medium does not keep fails the backup
// before any digest file calls the set whole. The kept files of a resumed
// set are read from the medium by open_kept() itself: its walk is their
// check, and the digests it takes are of what the medium holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/physical_disk.h"
#include "engine/progress.h"
#include "format/bad_sector_map.h"
#include "format/digest.h"
#include "format/packed_block.h"
#include "format/set_digests.h"
#include "ui/stored_text.h"
#include "util/file_io.h"
#include "util/path.h"

namespace kiroda {

// Where one kept block of a set lies, to compare it with the disk.
struct block_place {
    std::string path;
    std::int64_t offset = -1;  // none while negative
    std::uint64_t first = 0;   // its first sector on the disk
    std::uint32_t count = 0;   // and its sectors
};

// What the walk of an unfinished set's data files found.
enum class kept_walk { kept, damaged, unreadable, stopped };

struct kept_blocks {
    kept_walk verdict = kept_walk::kept;
    std::string file;  // the file at fault, or the one cut
    int block = 0;     // the block at fault or cut off, 1-based in `file`
    bool cut = false;  // `file` ends in a partial block (block `block`)
    // The block cut off is no block in flight: a whole block follows it
    // (damage; it is written again with what follows it).
    bool damaged = false;
    int last_file = 0;              // the last data file walked: the next must hold nothing
    block_place last;               // the last whole block kept (offset < 0: none)
    std::vector<block_place> kept;  // every whole block kept, in disk order
};

class backup_writer {
  public:
    // The set of the first `sectors` sectors of a disk in `folder`; `resumed`
    // when an unfinished set there goes on (open_kept() then says where);
    // `read_back` when the files are read back from the medium.
    backup_writer(progress& p, const char* folder, std::uint64_t sectors, bool resumed,
                  bool read_back = true);

    // False when the digests' state could not be allocated.
    bool ready() const { return file_digest_.ready() && stream_digest_.ready(); }

    // Walks the data files of an unfinished set and stands after its last
    // whole block: every kept block is read and unpacked for the digests.
    // Changes nothing on the medium. A partial block at the end of the last
    // file is the block that was in flight; anything after it is damage.
    kept_blocks open_kept();
    // The map an earlier run of the set recorded, as one run would have it
    // at the kept blocks (blocks past the map's end lost no sector). Whether
    // it is written on is keep_map()'s.
    void take_earlier_map(const bad_sector_map& earlier);

    // Readies the folder for the next block: for a resumed set the last two
    // data files are cut to the kept blocks and committed, leftovers under
    // temporary names go, and a kept map is written as it stands. False
    // after a message.
    bool start();

    // The header file was written, the bytes of digest `digest`: read back.
    // False after a message.
    bool header_written(const digest128& digest);
    // The header an earlier run wrote stays (a resumed set): read back, it
    // must be what the examination read through the cache. False after a
    // message.
    bool keep_header();

    // The backup failed because the medium did not keep a file (its
    // message said so): going on with the set on the same medium is no use.
    bool medium_failed() const { return medium_failed_; }

    const char* folder() const { return folder_; }
    std::uint64_t sectors() const { return sectors_; }
    std::uint64_t next_sector() const { return next_sector_; }
    std::uint64_t sectors_left() const { return sectors_ - next_sector_; }

    // The map: kept from the first lost sector on (a rescue), or from the
    // start when the set already has one.
    void keep_map() { keeps_map_ = true; }
    bool keeps_map() const { return keeps_map_; }
    const bad_sector_map& map() const { return map_; }
    // Sectors the map records as lost (unreadable or not tried) so far.
    std::uint64_t lost_sectors() const {
        return map_.sectors(sector_state::unreadable) + map_.sectors(sector_state::not_tried);
    }
    // Runs of the next chunk, read or not, in disk order.
    void note_sectors(const bad_sector_map& chunk_map);
    // Writes the map as it stands (before any block that lost sectors, so a
    // block the map does not reach was read whole). False after a message.
    bool save_map(bool finished = false);

    // The digest of the sectors so far: each chunk's bytes join it in disk
    // order, before its block is added. The engine may feed it from another
    // thread as long as one thread at a time does, handed over under a lock,
    // and none while finish() reads it.
    digest_stream& stream_digest() { return stream_digest_; }
    // Writes the packed block of the next chunk (`count` sectors, digest
    // `digest`): a data file is opened when none is (after the free-space
    // check), the block committed, and a full file closed. False after a
    // message.
    bool add(const encoded_block& block, std::uint32_t count, const digest128& digest);

    // After the last block: the last file closed, the map finished, and the
    // digest file written, last of all, so a set that has one was written
    // whole. False after a message.
    bool finish();

    // A side file written by finish(), before the digest file that records
    // it, and read back from the medium like the set's other files.
    void add_side_file(const char* name, const char* temp_name, std::string text) {
        extra_sides_.push_back({name, temp_name, std::move(text)});
    }

  private:
    bool sync_parent_of_folder() const;
    bool mark_unfinished();
    bool open_data_file();
    bool close_data_file();
    bool walk_kept_file(int fd, kept_blocks& found);
    bool block_follows(std::int64_t offset) const;
    kept_blocks walk_failed(kept_walk verdict, const char* file);
    bool cut_to_kept(int number);
    bool check_file(const char* path, std::uint64_t bytes, const digest128& digest, bool shown);
    side_file_check side_file_read_back(bool* not_kept);
    bool check_header();
    void medium_failed(const char* path);
    void fail(stored_text text, const char* value);

    progress& p_;
    const char* folder_;
    std::uint64_t sectors_;
    std::uint64_t next_sector_ = 0;  // the first sector not in the set yet
    int file_number_ = 1;            // the data file the next block goes into
    int blocks_in_file_ = 0;         // whole blocks that file holds...
    std::uint64_t file_bytes_ = 0;   // ...in its first bytes (the rest is cut off)
    bool resumed_;
    bool read_back_;
    bool header_known_ = false;  // digests_.header is of the bytes written
    bool medium_failed_ = false;
    bool keeps_map_ = false;
    unique_fd file_;
    char path_[kPathCapacity + 16] = "";
    set_digests digests_;          // every block so far and every closed file
    digest_stream file_digest_;    // the bytes of the open data file so far
    digest_stream stream_digest_;  // the sectors so far
    bad_sector_map map_;           // the sectors so far, read or not
    struct side_text {
        const char* name;
        const char* temp_name;
        std::string text;
    };
    std::vector<side_text> extra_sides_;
};

}  // namespace kiroda
