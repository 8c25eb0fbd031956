// Walks the data files of a backup set block by block, as the restore and
// the data test both do: KRD00001.BIN first, each file read to its end, the
// next number opened only when a block is needed. A missing file is asked
// for again (the set may span several media); a damaged block ends the walk.
#pragma once

#include <cstdint>

#include "engine/progress.h"
#include "format/packed_block.h"
#include "util/file_io.h"
#include "util/path.h"

namespace kiroda {

// The three messages of a walk, as printf formats (fetched when shown).
struct set_reader_texts {
    const char* (*missing_file)();  // %s path; OK/Cancel: OK looks again
    const char* (*bad_block)();     // %s path, %ld the block result
    const char* (*empty_block)();   // %s path
};

class set_reader {
public:
    set_reader(progress& p, const char* folder, const set_reader_texts& texts)
        : progress_(p), folder_(folder), texts_(texts) {}

    // Reads the next block into `buffer` (kChunkBytes). Returns its length, a
    // positive whole number of sectors, or -1 after a message (a file the
    // user gave up on, a damaged block, a block of no data).
    std::int64_t next_block(unsigned char* buffer);

    // The data file the last block came from.
    const char* path() const { return path_; }

private:
    bool open_next_file();

    progress& progress_;
    const char* folder_;
    set_reader_texts texts_;
    unique_fd file_;
    int file_number_ = 0;
    char path_[kPathCapacity + 16] = "";
    block_scratch scratch_;
};

}  // namespace kiroda
