#include "disk/fs_signature.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kiroda {
namespace {

std::vector<unsigned char> with(std::size_t offset, const std::string& bytes,
                                bool boot_signature = false) {
    std::vector<unsigned char> d(kSignatureProbeBytes, 0);
    std::memcpy(d.data() + offset, bytes.data(), bytes.size());
    if (boot_signature) {
        d[510] = 0x55;
        d[511] = 0xAA;
    }
    return d;
}

TEST(DiskSignature, NamesWhatStartsAtSectorZero) {
    const struct {
        const char* what;
        std::vector<unsigned char> data;
        const char* expected;
    } cases[] = {
        {"blank", std::vector<unsigned char>(kSignatureProbeBytes, 0), nullptr},
        {"an MBR with boot code only", with(0, "\xEB\x63\x90", true), nullptr},
        {"NTFS", with(3, "NTFS    ", true), "NTFS"},
        {"exFAT", with(3, "EXFAT   ", true), "exFAT"},
        {"FAT32", with(82, "FAT32   ", true), "FAT"},
        {"FAT16", with(54, "FAT16   ", true), "FAT"},
        {"FAT text without the boot signature", with(54, "FAT16   "), nullptr},
        {"ext4", with(1080, "\x53\xEF"), "ext2/ext3/ext4"},
        {"LUKS", with(0, "LUKS\xBA\xBE"), "LUKS"},
        {"XFS", with(0, "XFSB"), "XFS"},
        {"swap", with(4086, "SWAPSPACE2"), "swap"},
        {"a GPT header", with(512, "EFI PART"), "GPT"},
        {"ISO 9660", with(32769, "CD001"), "ISO 9660"},
    };
    for (const auto& c : cases) {
        const char* found = find_disk_signature(c.data.data(), c.data.size());
        if (c.expected == nullptr) {
            EXPECT_EQ(found, nullptr) << c.what << ": " << found;
        } else {
            ASSERT_NE(found, nullptr) << c.what;
            EXPECT_STREQ(found, c.expected) << c.what;
        }
    }
}

// A disk shorter than the probe is looked at as far as it goes, never past.
TEST(DiskSignature, ShortDisksAreReadOnlyAsFarAsTheyGo) {
    const std::vector<unsigned char> iso = with(32769, "CD001");
    for (std::size_t size :
         {std::size_t{0}, std::size_t{512}, std::size_t{1081}, std::size_t{32773}}) {
        std::vector<unsigned char> cut(iso.begin(),
                                       iso.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(find_disk_signature(cut.data(), cut.size()), nullptr) << size;
    }
    EXPECT_STREQ(find_disk_signature(iso.data(), 32774), "ISO 9660");
}

}  // namespace
}  // namespace kiroda
