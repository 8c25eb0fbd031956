#include "engine/backup_rules.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "disk/disk_registry.h"
#include "disk/faulty_disk_test_support.h"
#include "disk/disk_image_test_support.h"
#include "disk/physical_disk.h"
#include "engine/engine_test_support.h"
#include "util/test_support.h"

namespace kiroda {
namespace {

using test_support::make_disk_image;
using test_support::make_mbr;
using test_support::make_mbr_one_partition;
using test_support::mbr_slot;
using test_support::temp_folder;
using test_support::write_file;

constexpr std::uint64_t kSectors = 4096;

// Each source check stops at its first failing rule and names its values.
TEST(BackupRules, TheSourceCheckNamesTheFirstRuleThatFails) {
    temp_folder images;
    const std::string disk = images.file("disk.img");
    const std::string tiny = images.file("tiny.img");
    const std::string bare = images.file("bare.img");
    const std::string empty_table = images.file("empty-table.img");
    make_disk_image(disk, kSectors, make_mbr_one_partition(63, 1000));
    write_file(tiny, std::vector<unsigned char>(511, 7));
    make_disk_image(bare, kSectors, make_mbr({mbr_slot{7, 1, 8}, {}, {}, {}}, false));
    make_disk_image(empty_table, kSectors, make_mbr({mbr_slot{}, {}, {}, {}}));
    const auto whole = backup_extent::whole_disk;
    const auto partitions = backup_extent::valid_partitions;

    const struct {
        const char* what;
        std::string image;  // empty: no disk 0
        std::function<void(disk_faults&)> fault;
        backup_extent extent;
        source_outcome outcome;
        int sector_size;
        std::uint64_t backup_bytes;
    } cases[] = {
        {"a whole disk", disk, {}, whole, source_outcome::ok, 512, kSectors * 512},
        {"its partitions", disk, {}, partitions, source_outcome::ok, 512, 1063 * 512},
        {"no disk", "", {}, whole, source_outcome::cannot_open, 0, 0},
        {"4096-byte sectors", disk, [](disk_faults& f) { f.bytes_per_sector = 4096; }, whole,
         source_outcome::bad_sector_size, 4096, 0},
        {"unknown media", disk, [](disk_faults& f) { f.media_type = kMediaUnknown; }, whole,
         source_outcome::bad_media, 512, 0},
        {"a failed size query", disk, [](disk_faults& f) { f.size_query_fails = true; }, whole,
         source_outcome::size_unknown, 512, 0},
        {"less than a sector", tiny, {}, whole, source_outcome::size_unknown, 512, 0},
        {"sector 0 unreadable", disk, [](disk_faults& f) { f.fail_read_at = 0; }, partitions,
         source_outcome::cannot_read, 512, 0},
        {"no signature", bare, {}, partitions, source_outcome::no_signature, 512, 0},
        {"no partition", empty_table, {}, partitions, source_outcome::no_partition, 512, 0},
    };
    for (const auto& c : cases) {
        clear_disk_paths();
        if (!c.image.empty()) register_disk_path(0, c.image);
        if (c.fault) {
            disk_faults f;
            c.fault(f);
            set_disk_faults(0, f);
        }
        const source_check r = check_source(0, c.extent);
        EXPECT_EQ(r.outcome, c.outcome) << c.what;
        EXPECT_EQ(r.sector_size, c.sector_size) << c.what;
        EXPECT_EQ(r.backup_bytes, c.backup_bytes) << c.what;
        if (c.outcome == source_outcome::bad_media) {
            EXPECT_EQ(r.media, kMediaUnknown) << c.what;
        }
    }
    clear_disk_paths();
}

TEST(FreeSpaceShort, NeverWraps) {
    EXPECT_TRUE(free_space_short(0, -1));
    EXPECT_TRUE(free_space_short(0, 0.99));
    EXPECT_TRUE(free_space_short(UINT64_MAX, 1e30));
    EXPECT_TRUE(free_space_short(UINT64_MAX - kDataFileRoom + 1, 1.9e19));
    EXPECT_FALSE(free_space_short(1000, 1e30));
    EXPECT_FALSE(free_space_short(0, static_cast<double>(kDataFileRoom)));
    EXPECT_TRUE(free_space_short(0, static_cast<double>(kDataFileRoom) - 1));
}

}  // namespace
}  // namespace kiroda
