#include "engine/set_reader.h"

#include "ui/program.h"
#include "engine/data_file.h"

namespace kiroda {

bool set_reader::open_next_file() {
    ++file_number_;
    if (!data_file_path(folder_, file_number_, path_, sizeof path_)) {
        // A folder too long for a file name: no medium swap can mend it.
        show_message(progress_.owner(), kMbOk, program_caption(), texts_.bad_block(), folder_, -1L);
        return false;
    }
    for (;;) {
        file_.reset(open_for_reading(path_));
        if (file_.valid()) return true;
        if (show_message(progress_.owner(), kMbOkCancel, program_caption(), texts_.missing_file(),
                         path_) != kIdOk) {
            return false;
        }
    }
}

std::int64_t set_reader::next_block(unsigned char* buffer) {
    // The payload buffer at its largest from the start: growing it block by
    // block would hand fresh, unfaulted pages to every larger payload.
    scratch_.get(kChunkBytes);
    if (!file_.valid() && !open_next_file()) return -1;
    const std::int32_t count = read_packed_block(file_.get(), buffer, kChunkBytes, scratch_);
    // A file read to its end is closed now; the next block opens the next number.
    if (at_end_of_file(file_.get()) != 0) file_.reset();
    if (count < 0 || count % 512 != 0) {
        file_.reset();
        show_message(progress_.owner(), kMbOk, program_caption(), texts_.bad_block(), path_,
                     static_cast<long>(count));
        return -1;
    }
    if (count == 0) {
        file_.reset();
        show_message(progress_.owner(), kMbOk, program_caption(), texts_.empty_block(), path_);
        return -1;
    }
    return count;
}

}  // namespace kiroda
