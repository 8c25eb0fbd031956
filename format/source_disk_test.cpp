#include "format/source_disk.h"

#include <gtest/gtest.h>

#include <string>

namespace kiroda {
namespace {

TEST(SourceDisk, RoundTripLeavesOutWhatIsUnknownAndRefusesDamage) {
    source_disk full;
    full.path = "/dev/sdb";
    full.bytes = 32017047552;
    full.vendor = "SanDisk";
    full.model = "Ultra\nFit";  // a line break in a value must not make a field
    full.serial = "4C530001";
    full.transport = "usb";
    full.removable = 1;
    full.rotational = 0;
    const std::string text = encode_source_disk(full);
    EXPECT_EQ(text,
              "KIRODA source 1\npath /dev/sdb\nbytes 32017047552\nvendor SanDisk\nmodel Ultra Fit\n"
              "serial 4C530001\ntransport usb\nremovable yes\nrotational no\nend\n");
    source_disk back;
    ASSERT_TRUE(parse_source_disk(text, &back));
    EXPECT_EQ(back.model, "Ultra Fit");
    EXPECT_EQ(back.serial, full.serial);
    EXPECT_EQ(back.bytes, full.bytes);
    EXPECT_EQ(back.removable, 1);
    EXPECT_EQ(back.rotational, 0);

    source_disk image;
    image.path = "/srv/disk.img";
    image.bytes = 512;
    ASSERT_TRUE(parse_source_disk(encode_source_disk(image), &back));
    EXPECT_EQ(encode_source_disk(back), "KIRODA source 1\npath /srv/disk.img\nbytes 512\nend\n");
    EXPECT_EQ(back.removable, -1);
    EXPECT_EQ(back.logical_sector_bytes(), 512u);

    // The partition table, names with blanks and 4,096-byte sectors.
    source_disk gpt = image;
    gpt.sector_size = 4096;
    gpt.table = "gpt valid";
    gpt.partitions = {{1, 256, 2303, "0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux data"},
                      {5, 2304, 4095, "0x0c", ""}};
    ASSERT_TRUE(parse_source_disk(encode_source_disk(gpt), &back));
    EXPECT_EQ(encode_source_disk(back), encode_source_disk(gpt));
    EXPECT_EQ(back.partitions.at(0).name, "Linux data");
    EXPECT_EQ(back.logical_sector_bytes(), 4096u);

    const struct {
        const char* text;
        bool ok;
    } cases[] = {
        {"KIRODA source 1\r\nbytes 1\r\nend\r\n", true},
        {"KIRODA source 1\nbytes 1\nfirmware 1.0\nend\n", true},  // a later field, skipped
        {"KIRODA source 2\nbytes 1\nend\n", false},
        {"KIRODA source 1\nbytes 1\n", false},  // cut short
        {"KIRODA source 1\nbytes -1\nend\n", false},
        {"KIRODA source 1\nbytes 12x\nend\n", false},
        {"KIRODA source 1\nbytes 18446744073709551615\nend\n", true},
        // Out of 64 bits, signed, blank-led: once taken as the largest or as a number.
        {"KIRODA source 1\nbytes 18446744073709551616\nend\n", false},
        {"KIRODA source 1\nbytes 99999999999999999999999\nend\n", false},
        {"KIRODA source 1\nbytes +5\nend\n", false},
        {"KIRODA source 1\nbytes  5\nend\n", false},
        {"KIRODA source 1\nbytes \nend\n", false},
        {"KIRODA source 1\nremovable maybe\nend\n", false},
        {"KIRODA source 1\nsector_size 4096\ntable gpt valid\npartition 1 34 99 0x07\nend\n", true},
        {"KIRODA source 1\nsector_size 1000\nend\n", false},
        {"KIRODA source 1\nsector_size 0\nend\n", false},
        {"KIRODA source 1\npartition 1 34\nend\n", false},
        {"KIRODA source 1\npartition 0 34 99 0x07\nend\n", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_source_disk(c.text, &back), c.ok) << c.text;
}

}  // namespace
}  // namespace kiroda
