#include "disk/partition_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "disk/disk_image_test_support.h"

namespace kiroda {
namespace {

using test_support::make_mbr;
using test_support::mbr_slot;

using sectors = std::map<std::uint64_t, std::vector<unsigned char>>;

// A record of the chain: the logical partition (from the record) and the
// next record (from the container's start; 0 for none).
std::vector<unsigned char> ebr(mbr_slot logical, std::uint32_t next_from_container,
                               std::uint32_t next_count = 100) {
    mbr_slot next{};
    if (next_from_container != 0) next = mbr_slot{0x05, next_from_container, next_count};
    return make_mbr({logical, next, {}, {}});
}

// "number:first+count" for each partition, then "past" and "cut" marks.
std::string listed(const sectors& disk, std::uint64_t disk_sectors) {
    const partition_list list =
        list_partitions(disk_sectors, [&](std::uint64_t n, unsigned char* bytes) {
            const auto found = disk.find(n);
            if (found == disk.end()) return n < disk_sectors;  // zeros
            std::memcpy(bytes, found->second.data(), 512);
            return true;
        });
    std::string text;
    auto add = [&](const char* mark, const disk_partition& p) {
        text += std::string(text.empty() ? "" : " ") + mark + std::to_string(p.number) + ":" +
                std::to_string(p.first_sector) + "+" + std::to_string(p.sector_count);
    };
    for (const disk_partition& p : list.partitions) add("", p);
    for (const disk_partition& p : list.past_end) add("past ", p);
    if (list.chain_cut) text += " cut";
    return text;
}

TEST(PartitionList, PrimaryAndLogicalPartitionsWithinTheDisk) {
    const mbr_slot ext{0x0F, 10000, 9000};
    struct row {
        const char* what;
        sectors disk;
        std::uint64_t size;
        const char* expected;
    };
    const row rows[] = {
        {"no boot signature",
         {{0, make_mbr({mbr_slot{0x07, 63, 100}, {}, {}, {}}, false)}},
         20000,
         ""},
        {"primaries by slot; empty slots and GPT's entry are none",
         {{0,
           make_mbr(
               {mbr_slot{0x0C, 2048, 4000}, {}, mbr_slot{0xEE, 1, 50}, mbr_slot{0x83, 7000, 10}})}},
         20000,
         "1:2048+4000 4:7000+10"},
        {"a chain of two logical partitions",
         {{0, make_mbr({mbr_slot{0x0C, 2048, 4000}, ext, {}, {}})},
          {10000, ebr(mbr_slot{0x83, 2048, 3000}, 5100)},
          {15100, ebr(mbr_slot{0x07, 63, 1000}, 0)}},
         20000,
         "1:2048+4000 5:12048+3000 6:15163+1000"},
        {"a record with no partition keeps the numbers going",
         {{0, make_mbr({ext, {}, {}, {}})},
          {10000, ebr(mbr_slot{}, 100)},
          {10100, ebr(mbr_slot{0x83, 10, 20}, 0)}},
         20000,
         "5:10110+20"},
        {"partitions past the end of the disk are left out",
         {{0, make_mbr({mbr_slot{0x0C, 2048, 4000}, ext, mbr_slot{0x07, 6048, 9953}, {}})},
          {10000, ebr(mbr_slot{0x83, 2048, 3000}, 2000)},
          {12000, ebr(mbr_slot{0x83, 8, 7000}, 0)}},
         16000,
         "1:2048+4000 5:12048+3000 past 2:10000+9000 past 3:6048+9953 past 6:12008+7000"},
        {"a chain that turns back is cut",
         {{0, make_mbr({ext, {}, {}, {}})},
          {10000, ebr(mbr_slot{0x83, 10, 20}, 100)},
          {10100, ebr(mbr_slot{0x83, 10, 20}, 100)}},
         20000,
         "5:10010+20 6:10110+20 cut"},
        {"a record outside its container is cut",
         {{0, make_mbr({ext, {}, {}, {}})}, {10000, ebr(mbr_slot{0x83, 10, 20}, 9000)}},
         20000,
         "5:10010+20 cut"},
        {"a record without signature is cut",
         {{0, make_mbr({ext, {}, {}, {}})},
          {10000, ebr(mbr_slot{0x83, 10, 20}, 100)},
          {10100, make_mbr({mbr_slot{0x83, 10, 20}, {}, {}, {}}, false)}},
         20000,
         "5:10010+20 cut"},
        {"a container starting past the disk's end",
         {{0, make_mbr({mbr_slot{0x05, 30000, 100}, {}, {}, {}})}},
         20000,
         "past 1:30000+100 cut"},
    };
    for (const row& r : rows) EXPECT_EQ(listed(r.disk, r.size), r.expected) << r.what;
}

TEST(PartitionList, ALongChainIsCutAtItsBound) {
    sectors disk{{0, make_mbr({mbr_slot{0x05, 1000, 100000}, {}, {}, {}})}};
    for (std::uint32_t i = 0; i < kMaxExtendedRecords + 5; ++i) {
        disk[1000 + 10 * i] = ebr(mbr_slot{0x83, 1, 5}, 10 * (i + 1));
    }
    const std::string text = listed(disk, 200000);
    EXPECT_NE(text.find(std::to_string(4 + kMaxExtendedRecords) + ":"), std::string::npos);
    EXPECT_EQ(text.find(std::to_string(5 + kMaxExtendedRecords) + ":"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 4), " cut");
}

}  // namespace
}  // namespace kiroda
