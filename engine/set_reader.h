// Walks the data files of a backup set block by block, as the restore and
// the data test both do: KRD00001.BIN first, each file read to its end, the
// next number opened only when a block is needed. A missing file is asked
// for again (the set may span several media); a damaged block ends the walk.
//
// The walk also checks the set's structure, which the blocks' own checksums
// cannot see: every data file but the last holds exactly 60 blocks, every
// block but the last is a whole 16 MiB chunk, the blocks add up to exactly
// the header's byte count, and nothing follows the last block in its file.
// open() decides as much of it as the block headers tell, before the first
// block is read (a restore then fails before its first write). Files the
// walk never reads (a data file after the last, a changed or missing side
// file) are named as warnings and fail nothing. Where the set
// has a digest file, the header, every block, every data file
// and the whole stream are checked against it as well.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/medium_stream.h"
#include "engine/progress.h"
#include "format/digest.h"
#include "format/packed_block.h"
#include "format/set_digests.h"
#include "util/file_io.h"
#include "util/path.h"

namespace kiroda {

// Where one block of a set lies, as the look ahead of open() found it.
struct block_location {
    int file_number = 0;      // KRD<file_number>.BIN
    std::int64_t offset = 0;  // of its header in that file
    std::int32_t bytes = 0;   // unpacked length
};

// The messages of a walk that differ between the engines, as printf formats
// (fetched when shown).
struct set_reader_texts {
    const char* (*missing_file)();  // %s path; OK/Cancel: OK looks again
    const char* (*bad_block)();     // %s path, %ld the block result
    const char* (*empty_block)();   // %s path
};

// What a walk does with a digest file that is there but does not read (cut,
// garbage, unreadable): the set can then not be proven to be the one that
// was written, and two flips that cancel in one block's checksums would go
// unseen.
enum class damaged_digests {
    refuse,  // fail with the reason (the data test: its verdict would be a lie)
    ask,     // OK/Cancel, saying what is lost (the wizard's restore)
    go_on,   // say so and walk on the structure checks alone (krdtool's --force)
};

// A block read from its data file by begin_block() and not yet taken by
// end_block(): in between, check_block_bytes() and its digest may run on
// another thread (see block_checks.h). Its buffers are its own.
struct pending_block {
    explicit pending_block(unsigned char* chunk) : buffer(chunk) {}
    unsigned char* buffer;  // kChunkBytes: the unpacked chunk
    block_scratch scratch;  // a packed block's code
    block_read read;
    std::int32_t read_result = 0;              // of read_block_bytes
    bool too_many = false;                     // its file held 60 blocks before it
    end_of_file at_end = end_of_file::before;  // at_end_of_file after it, when it was asked
    std::uint64_t index = 0;                   // blocks begun before it
    // Set by the check: check_block_bytes' result, and the digest of the
    // unpacked bytes when wants_digest().
    std::int32_t checked = 0;
    digest128 digest;
};

class set_reader {
  public:
    set_reader(progress& p, const char* folder, std::uint64_t backup_bytes,
               const set_reader_texts& texts);

    // Before the first block: reads the digest file when there is one and
    // checks the header file against it. False after a message (the data
    // files belong to another set, or a damaged digest file the policy does
    // not let the walk go past).
    // Without `look_ahead` (the data test, which writes nothing a short set
    // could spoil) nothing is decided before the walk: each message comes
    // when the walk reaches its cause, in set order.
    bool open(damaged_digests policy = damaged_digests::refuse, bool look_ahead = true);
    // Read the data files from their medium, past the system's cache (the
    // data test's question is whether the medium holds the set). Before
    // the first block.
    void read_from_medium() { from_medium_ = true; }
    // A side file the digest file records that is changed or gone fails the
    // walk (the data test: "every check passed" must hold for it too); the
    // restore, whose bytes it does not change, only names it.
    void require_sides() { sides_must_match_ = true; }

    // Reads the next block into `buffer` (kChunkBytes). Returns its length, a
    // positive whole number of sectors, or -1 after a message (a file the
    // user gave up on, a damaged block, a block of no data, a set whose
    // structure or digests are wrong).
    std::int64_t next_block(unsigned char* buffer);

    // next_block() in three steps, so that blocks are unpacked and checked
    // on other threads while the file is read on: begin_block() reads the
    // next block's bytes (opening the next data file first, with its
    // question, when none is open; false after a message); check() unpacks
    // them and takes their digest, on any thread, the stream's digest in
    // the order of `index`, one block at a time (the caller makes them take
    // turns); end_block() takes the checked block and says what is wrong
    // with it, as next_block() would have: its length, or -1 after a
    // message. Failures of begin_block() on a block read ahead wait for
    // its end_block().
    bool begin_block(pending_block& b);
    // Whether the block after those begun may be begun now: not after one
    // that ended its file, failed, or completes the set (the next file, with
    // its question, is opened only once every block before it is taken).
    bool may_read_ahead() const;
    void check(pending_block& b, const std::function<void(std::uint64_t)>& wait_turn,
               const std::function<void()>& end_turn);
    std::int64_t end_block(pending_block& b);

    // After the block that completes the header's byte count: nothing may
    // follow it, and the last file's and the stream's digests must match.
    // False after a message.
    bool finish();

    // True when the next block comes from a file not yet opened (and may
    // mean a question for another medium).
    bool at_file_boundary() const { return !file_.valid(); }
    // The data file the last block came from.
    const char* path() const { return path_; }
    bool has_digests() const { return digests_state_ == digests_read::read; }
    // Take the digest of every block's unpacked bytes even without a digest
    // file (the restore's read-back compares with them).
    void keep_block_digests() { keep_block_digests_ = true; }
    // The digest of the last block's unpacked bytes, when the set has a
    // digest file or keep_block_digests() was called.
    const digest128& last_block_digest() const { return last_digest_; }
    // After open(): the blocks of the data files at hand, in disk order,
    // found by stepping over their headers (a set that spans media has
    // fewer than it needs: the walk would ask for the next file).
    const std::vector<block_location>& blocks_at_hand() const { return blocks_at_hand_; }
    // The digest file's records, when has_digests().
    const set_digests& digests() const { return digests_; }

  private:
    bool open_next_file();
    int blocks_needed_in(int number) const;
    bool file_ended();
    bool check_block(std::int32_t count, const digest128& digest);
    bool wants_digest() const { return has_digests() || keep_block_digests_; }
    bool check_sides();
    bool go_past_damaged_digests(damaged_digests policy, int bad_line);
    bool check_ahead();
    bool step_over_file(int fd, int number, std::uint64_t* total);
    bool warn_of_unread_files();
    void fail(const char* format, ...);

    progress& progress_;
    const char* folder_;
    std::uint64_t backup_bytes_;
    set_reader_texts texts_;
    medium_stream file_;
    bool from_medium_ = false;
    bool look_ahead_ = true;
    bool sides_must_match_ = false;
    int file_number_ = 0;
    int blocks_in_file_ = 0;
    int blocks_read_ = 0;
    std::uint64_t bytes_read_ = 0;
    // Blocks and bytes begun (read from the file, maybe not checked yet).
    std::uint64_t blocks_begun_ = 0;
    std::uint64_t bytes_begun_ = 0;
    int begun_in_file_ = 0;
    bool ahead_blocked_ = false;  // the last block begun ended its file, failed, or ended the set
    char path_[kPathCapacity + 16] = "";
    pending_block next_{nullptr};  // the block of next_block()

    set_digests digests_;
    digests_read digests_state_ = digests_read::absent;
    digest_stream file_digest_;
    std::uint64_t file_bytes_ = 0;
    digest_stream stream_digest_;
    digest128 last_digest_;
    bool keep_block_digests_ = false;
    bool extra_file_checked_ = false;
    std::vector<block_location> blocks_at_hand_;
};

}  // namespace kiroda
