#include "disk/disk_image_test_support.h"

#include <fstream>

#include "util/le.h"

namespace kiroda::test_support {

std::vector<unsigned char> make_mbr(const std::array<mbr_slot, 4>& slots, bool signature) {
    std::vector<unsigned char> sector(512, 0);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        unsigned char* e = sector.data() + 446 + 16 * i;
        e[4] = slots[i].type;
        store_le32(e + 8, slots[i].first_sector);
        store_le32(e + 12, slots[i].sector_count);
    }
    if (signature) {
        sector[510] = 0x55;
        sector[511] = 0xAA;
    }
    return sector;
}

std::vector<unsigned char> make_mbr_one_partition(std::uint32_t first, std::uint32_t count) {
    return make_mbr({mbr_slot{0x07, first, count}, {}, {}, {}});
}

std::vector<unsigned char> pattern_sector(std::uint64_t n) {
    std::vector<unsigned char> sector(512);
    for (std::size_t i = 0; i < sector.size(); ++i) {
        sector[i] = static_cast<unsigned char>((n * 131 + i * 7 + (n >> 8)) & 0xFF);
    }
    return sector;
}

void write_image(const std::string& path, std::uint64_t sectors,
                 const std::vector<unsigned char>& sector0) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::uint64_t n = 0; n < sectors; ++n) {
        const std::vector<unsigned char> s =
            n == 0 && !sector0.empty() ? sector0 : pattern_sector(n);
        out.write(reinterpret_cast<const char*>(s.data()), static_cast<std::streamsize>(s.size()));
    }
}

}  // namespace kiroda::test_support
