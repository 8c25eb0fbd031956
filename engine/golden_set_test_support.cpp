#include "engine/golden_set_test_support.h"

#include <fstream>
#include <vector>

#include "disk/disk_image_test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kiroda::test_support {

void write_golden_source_image(const std::string& path) {
    std::vector<unsigned char> image(kGoldenSectors * 512, 0);
    auto put = [&image](std::uint64_t n, const std::vector<unsigned char>& sector) {
        std::copy(sector.begin(), sector.end(),
                  image.begin() + static_cast<std::ptrdiff_t>(n * 512));
    };
    put(0, make_mbr_one_partition(63, static_cast<std::uint32_t>(kGoldenSectors - 63)));
    for (std::uint64_t n : {1, 2, 3}) put(n, pattern_sector(n));
    put(kGoldenSectors - 1, pattern_sector(kGoldenSectors - 1));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
}

std::string golden_set_folder() {
#ifdef _WIN32
    char path[MAX_PATH] = "";
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string program(path, n < sizeof path ? n : 0);
    return program.substr(0, program.rfind('\\') + 1) + "golden-set";
#else
    return KIRODA_GOLDEN_SET_DIR;
#endif
}

}  // namespace kiroda::test_support
