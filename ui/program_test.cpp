#include "ui/program.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kiroda {
namespace {

TEST(ProgramCaption, NamesVersionAndBuildDate) {
    EXPECT_STREQ(program_caption(), "KIRODA V1.14α Whole-Disk Backup Jun 10 2017");
}

TEST(ProgramCaption, ShiftJisFormFitsTheHeaderField) {
    const std::string sjis = program_caption_sjis();
    EXPECT_EQ(sjis, "KIRODA V1.14\x83\xBF Whole-Disk Backup Jun 10 2017");
    EXPECT_LT(sjis.size() + 1, 64u);
    EXPECT_LT(std::strlen(program_caption()) + 1, 64u);
}

TEST(ProgramVersion, BitPatternIsTheOneStoredInSets) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &kProgramVersion, sizeof bits);
    EXPECT_EQ(bits, 0x3FF23D70A3D70A3DULL);
}

}  // namespace
}  // namespace kiroda
