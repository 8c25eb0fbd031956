// Test helpers: master boot records and disk image files built in the test.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kiroda::test_support {

struct mbr_slot {
    std::uint8_t type = 0;
    std::uint32_t first_sector = 0;
    std::uint32_t sector_count = 0;
};

// A 512-byte sector 0 with the four entries as given, and the boot signature
// 0xAA55 unless `signature` is false.
std::vector<unsigned char> make_mbr(const std::array<mbr_slot, 4>& slots, bool signature = true);

// One partition of type 0x07 in the first slot.
std::vector<unsigned char> make_mbr_one_partition(std::uint32_t first, std::uint32_t count);

// The bytes of sector `n` in a patterned image: every byte depends on the
// sector number and its offset, so a sector read from the wrong place shows.
std::vector<unsigned char> pattern_sector(std::uint64_t n);

// Writes an image of `sectors` patterned sectors, with `sector0` (when not
// empty) in place of sector 0.
void write_image(const std::string& path, std::uint64_t sectors,
                 const std::vector<unsigned char>& sector0 = {});

}  // namespace kiroda::test_support
