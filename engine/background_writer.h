// Writes runs of sectors to a disk on a second thread, one run in flight,
// so that reading and decoding the next block of a set overlaps the write
// of this one. Writes reach the disk in the order they were handed over.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "disk/physical_disk.h"

namespace kiroda {

class background_writer {
  public:
    explicit background_writer(const disk_handle& disk);
    // Waits for the write in flight; nothing is left writing after it.
    ~background_writer();
    background_writer(const background_writer&) = delete;
    background_writer& operator=(const background_writer&) = delete;

    // Waits for the write before, then starts writing `sectors` sectors from
    // `data` at sector `first_sector` (the writer moves there first, so runs
    // may leave gaps unwritten). The caller leaves `data` alone until the
    // next call of submit or finish. False when an earlier write failed (and
    // then nothing more is written).
    bool submit(std::uint64_t first_sector, const unsigned char* data, std::uint32_t sectors);

    // Waits for the write in flight. False when any write failed.
    bool finish();

  private:
    void run();

    const disk_handle& disk_;
    std::mutex mutex_;
    std::condition_variable changed_;
    const unsigned char* data_ = nullptr;
    std::uint32_t sectors_ = 0;
    std::uint64_t first_ = 0;
    bool busy_ = false;
    bool failed_ = false;
    bool quit_ = false;
    bool threaded_ = false;  // false when no thread could be started: writes happen in submit
    std::thread thread_;
};

}  // namespace kiroda
