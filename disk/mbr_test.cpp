#include "disk/mbr.h"

#include <gtest/gtest.h>

#include "disk/disk_image_test_support.h"

namespace kiroda {
namespace {

using test_support::make_mbr;
using test_support::mbr_slot;

TEST(Mbr, ReadsEachEntryFromItsOwnSlot) {
    const auto s = make_mbr({mbr_slot{0x07, 63, 1000},
                             {},
                             mbr_slot{0x83, 5000, 77},
                             mbr_slot{0x05, 0xFFFFFFFFu, 0xFFFFFFFFu}});
    EXPECT_EQ(read_mbr_entry(s.data(), 0).type, 0x07);
    EXPECT_EQ(read_mbr_entry(s.data(), 0).first_sector, 63u);
    EXPECT_EQ(read_mbr_entry(s.data(), 0).sector_count, 1000u);
    EXPECT_EQ(read_mbr_entry(s.data(), 1).sector_count, 0u);
    EXPECT_EQ(read_mbr_entry(s.data(), 2).first_sector, 5000u);
    EXPECT_EQ(read_mbr_entry(s.data(), 3).end_sector(), 0x1FFFFFFFEULL);
}

TEST(Mbr, PartitionEndsAre64Bit) {
    // A partition from 2,048 to the end of a disk just over 2 TiB.
    const auto s = make_mbr({mbr_slot{0x07, 2048, 4294965248u}, {}, {}, {}});
    EXPECT_EQ(read_mbr_entry(s.data(), 0).end_sector(), 1ULL << 32);
    EXPECT_EQ(mbr_partitions_end(s.data()), 1ULL << 32);
}

TEST(Mbr, PartitionsEndAtTheLastSectorAnyEntryUses) {
    struct row {
        std::array<mbr_slot, 4> slots;
        std::uint64_t end;
    };
    const row rows[] = {
        {{}, 0},
        {{mbr_slot{0x07, 2048, 100}, {}, {}, {}}, 2148},
        {{mbr_slot{0x07, 2048, 100}, {}, {}, mbr_slot{0x83, 10, 20}}, 2148},
        {{mbr_slot{0x07, 10, 20}, {}, {}, mbr_slot{0x83, 2048, 100}}, 2148},
        // An entry without sectors occupies nothing wherever it starts.
        {{mbr_slot{0x07, 900000, 0}, mbr_slot{0x07, 1, 1}, {}, {}}, 2},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(mbr_partitions_end(make_mbr(r.slots).data()), r.end);
    }
}

TEST(Mbr, SignatureAndGptMark) {
    EXPECT_TRUE(has_boot_signature(make_mbr({}).data()));
    EXPECT_FALSE(has_boot_signature(make_mbr({}, false).data()));
    auto swapped = make_mbr({});
    swapped[510] = 0xAA;
    swapped[511] = 0x55;
    EXPECT_FALSE(has_boot_signature(swapped.data()));

    EXPECT_TRUE(is_gpt_protective(make_mbr({mbr_slot{0xEE, 1, 0xFFFFFFFFu}, {}, {}, {}}).data()));
    // Only the first entry's type counts.
    EXPECT_FALSE(is_gpt_protective(make_mbr({mbr_slot{}, mbr_slot{0xEE, 1, 100}, {}, {}}).data()));
}

}  // namespace
}  // namespace kiroda
