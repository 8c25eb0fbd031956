// Test helpers for the engines: a progress that records its lines and can
// request a stop, disk images, and hand-made data files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/progress.h"

namespace kiroda::test_support {

class recording_progress : public progress {
  public:
    void set_status(const char* text) override { statuses.emplace_back(text); }
    void set_detail(const char* text) override {
        details.emplace_back(text);
        if (static_cast<int>(details.size()) == stop_at_detail) request_stop();
    }
    void set_button(const char* text) override { buttons.emplace_back(text); }
    window_handle owner() const override { return nullptr; }

    // The user presses stop when the detail line is set for the n-th time.
    int stop_at_detail = -1;
    std::vector<std::string> statuses, details, buttons;
};

// A disk image of `sectors` sectors: zeros, with patterned data in the first
// 100 sectors, around every chunk boundary and in the last sector, and
// `sector0` (when given) as sector 0. Sparse where it is zero, so images of
// a gigabyte cost little.
void make_disk_image(const std::string& path, std::uint64_t sectors,
                     const std::vector<unsigned char>& sector0 = {});

// An image of `sectors` sectors of random bytes (nothing packs).
void make_random_image(const std::string& path, std::uint64_t sectors, std::uint64_t seed);

// An empty target: `sectors` sectors of 0xEE filler with no boot signature.
void make_blank_target(const std::string& path, std::uint64_t sectors);

// A data file holding `chunks` as packed blocks, one each.
void write_data_file(const std::string& path,
                     const std::vector<std::vector<unsigned char>>& chunks);

// A set of two data files in `folder`, without header or digest file:
// KRD00001.BIN of 60 whole chunks (the first patterned, the rest zeros) and
// KRD00002.BIN of one block of `last_sectors`. Returns its byte count.
std::uint64_t write_two_file_set(const std::string& folder, std::uint32_t last_sectors);

bool same_file(const std::string& a, const std::string& b);

// The first 512 bytes of a file.
std::vector<unsigned char> first_sector(const std::string& path);

}  // namespace kiroda::test_support
