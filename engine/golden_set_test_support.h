// The golden set: a small backup set committed in testdata/golden-set, made
// once by krdtool from the image write_golden_source_image writes. Every
// build must read it back to that image, and must write the same data file
// for that image, so a set made by one build is restored by the other.
#pragma once

#include <cstdint>
#include <string>

namespace kiroda::test_support {

// 2,048 sectors: an MBR with one partition (sectors 63 to 2,047), patterned
// sectors 1 to 3 and 2,047, zeros elsewhere.
constexpr std::uint64_t kGoldenSectors = 2048;
void write_golden_source_image(const std::string& path);

// FNV-1a 64 of the data file KRD00001.BIN of a backup of that image.
constexpr std::uint64_t kGoldenDataFileDigest = 5658181998104808915ULL;

// The folder of the committed set (read only: copy it before use). The
// Windows test programs find it beside themselves, where the build copies it.
std::string golden_set_folder();

}  // namespace kiroda::test_support
