// What an engine sees of the window (or terminal) that shows its progress.
//
// The wizard implements it with the KR2 progress dialog and its worker
// thread, krdtool with a progress bar, the tests with a recorder. Engines
// call show_message with owner() for every message, so message boxes are
// owned by the progress dialog.
#pragma once

#include <atomic>
#include <cstdint>

#include "ui/message.h"
#include "ui/outcome.h"

namespace kiroda {

// A block of the set that failed its checks, where it lies: told just
// before the message that names its file, for front ends that can say
// more than that message does.
struct damaged_block {
    int file_number = 0;             // of the data file KRD%05d.BIN
    int block_in_file = 0;           // 1 for its first block
    std::uint64_t first_sector = 0;  // of the disk, in 512-byte units
    std::int32_t result = 0;         // the block check's result: a negative code, or a length
};

class progress {
  public:
    virtual ~progress() = default;

    virtual void set_status(const char* text) = 0;  // what is being done
    virtual void set_detail(const char* text) = 0;  // how much is left
    virtual void set_button(const char* text) = 0;  // the stop button's caption
    virtual window_handle owner() const = 0;
    // The figure behind the detail line, for a progress bar; set with it.
    virtual void set_bytes_left(std::uint64_t bytes) { (void)bytes; }
    // What the set's data files hold so far, in bytes (a backup tells it
    // after each block), for a bar that counts the read-back of each file.
    virtual void set_bytes_stored(std::uint64_t bytes) { (void)bytes; }
    // A damaged block, before the message about it (the wizard's dialog
    // leaves it to the message).
    virtual void block_damaged(const damaged_block& where) { (void)where; }

    // The run flag: 1 until a stop is requested. It is set to 1 by whoever
    // creates the progress, before the worker starts, so a stop pressed
    // before the worker runs is not lost; the worker only reads it.
    bool running() const { return run_flag.load() != 0; }
    void request_stop() { run_flag.store(0); }

    std::atomic<int> run_flag{1};
};

// A progress that shows nothing (benchmarks; messages still go to the sink).
class silent_progress : public progress {
  public:
    void set_status(const char*) override {}
    void set_detail(const char*) override {}
    void set_button(const char*) override {}
    window_handle owner() const override { return nullptr; }
};

}  // namespace kiroda
