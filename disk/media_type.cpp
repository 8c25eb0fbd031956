#include "disk/physical_disk.h"

namespace kiroda {

namespace {

// Indexed by the media type code. The names are display texts in the
// program's encoding (UTF-8 source literals, Shift-JIS in the Windows build);
// the katakana are half-width on purpose, and the inch mark is the ASCII
// double quote.
constexpr const char* kMediaNames[] = {
    "不明なﾒﾃﾞｨｱ",  // 0  Unknown
    "5\"1.2MB",     // 1  F5_1Pt2_512
    "3.5\"1.44MB",  // 2  F3_1Pt44_512
    "3.5\"2.88MB",  // 3  F3_2Pt88_512
    "3.5\"20MB",    // 4  F3_20Pt8_512
    "3.5\"720KB",   // 5  F3_720_512
    "5\"360KB",     // 6  F5_360_512
    "5\"320KB",     // 7  F5_320_512
    "5\"320/1k",    // 8  F5_320_1024
    "5\"180KB",     // 9  F5_180_512
    "5\"160KB",     // 10 F5_160_512
    "ﾘﾑｰﾊﾞﾌﾞﾙ",     // 11 RemovableMedia
    "固定ﾃﾞｨｽｸ",    // 12 FixedMedia
};

constexpr unsigned kMediaNameCount = sizeof kMediaNames / sizeof kMediaNames[0];

}  // namespace

const char* media_type_name(std::uint8_t code) {
    return code < kMediaNameCount ? kMediaNames[code] : kMediaNames[kMediaUnknown];
}

}  // namespace kiroda
