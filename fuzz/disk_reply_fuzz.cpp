// Replies of the disk queries, which a driver fills as it likes.
// The whole input is a volume extents reply. Its first 24 bytes (padded with
// zeros) are also a geometry reply, and the bits of the rest answer the size
// probe one by one: the first its seek, the others its sector reads, the
// probe's device ending where the bits do.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "disk/disk_geometry.h"
#include "disk/volume_extents.h"
#include "fuzz/fuzz_check.h"

using namespace kiroda;
using namespace kiroda::fuzz;

namespace {

constexpr std::uint64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

void check_extents(const std::uint8_t* reply, std::size_t size) {
    const std::vector<int> numbers = parse_volume_extents(reply, size);
    // Every extent the count names must lie inside the reply, or none is taken.
    const std::uint64_t count = size >= 8 ? le32_at(reply) : 0;
    const bool whole = count > 0 && 8 + 24 * count <= size;
    if (!whole) {
        FUZZ_CHECK(numbers.empty());
        return;
    }
    FUZZ_CHECK(numbers.size() == count);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        FUZZ_CHECK(static_cast<std::uint32_t>(numbers[i]) == le32_at(reply + 8 + 24 * i));
    }
}

struct probe_answers {
    const std::uint8_t* bits;
    std::size_t bit_count;
    std::size_t next = 0;

    // The next answer; false once the bits are used up.
    bool take() {
        if (next >= bit_count) return false;
        const bool answer = (bits[next / 8] >> (next % 8)) & 1;
        ++next;
        return answer;
    }
};

void check_geometry(const std::uint8_t* data, std::size_t size) {
    auto reply = padded_copy(data, size, kGeometryReplyBytes);
    const unsigned char* r = reply.get();
    const disk_geometry g = parse_disk_geometry(r);
    FUZZ_CHECK(static_cast<std::uint64_t>(g.cylinders) == le64_at(r));
    FUZZ_CHECK(g.media_type == le32_at(r + 8));
    FUZZ_CHECK(g.tracks_per_cylinder == le32_at(r + 12));
    FUZZ_CHECK(g.sectors_per_track == le32_at(r + 16));
    FUZZ_CHECK(g.bytes_per_sector == le32_at(r + 20));

    // The product left to right: refused once a partial product leaves the
    // signed 64-bit range, exact otherwise.
    bool fits = g.cylinders >= 0;
    unsigned __int128 product = fits ? static_cast<std::uint64_t>(g.cylinders) : 0;
    for (const std::uint32_t factor :
         {g.tracks_per_cylinder, g.sectors_per_track, g.bytes_per_sector}) {
        if (!fits) break;
        product *= factor;
        if (product > kInt64Max) fits = false;
    }
    std::int64_t bytes = -12345;
    FUZZ_CHECK(geometry_product_bytes(g, &bytes) == fits);
    if (fits) {
        FUZZ_CHECK(static_cast<unsigned __int128>(bytes) == product);
    } else {
        FUZZ_CHECK(bytes == -12345);
    }

    const std::uint64_t limit = probe_limit_sectors(g);
    FUZZ_CHECK(limit == static_cast<std::uint64_t>(g.tracks_per_cylinder) * g.sectors_per_track);

    const std::size_t rest = size > kGeometryReplyBytes ? size - kGeometryReplyBytes : 0;
    probe_answers answers{data + kGeometryReplyBytes, 8 * rest};
    int seeks = 0;
    bool positioned = false;
    std::uint64_t reads = 0;
    std::uint64_t sectors_read = 0;
    bool refused = false;
    size_probe probe;
    probe.seek = [&](std::uint64_t offset) {
        ++seeks;
        FUZZ_CHECK(fits && offset == static_cast<std::uint64_t>(bytes));
        positioned = answers.take();
        return positioned;
    };
    probe.read_sector = [&](std::uint32_t sector_bytes) {
        FUZZ_CHECK(sector_bytes == g.bytes_per_sector);
        FUZZ_CHECK(!refused);  // no read after the device has ended
        ++reads;
        const bool read = answers.take();
        if (read) {
            ++sectors_read;
        } else {
            refused = true;
        }
        return read;
    };
    const std::int64_t probed = probed_disk_size(g, probe);
    if (!fits) {
        FUZZ_CHECK(probed == kDiskSizeQueryFailed && seeks == 0 && reads == 0);
        return;
    }
    const std::uint32_t sector = g.bytes_per_sector;
    if (sector == 0 || sector > kProbeMaxSectorBytes) {
        FUZZ_CHECK(probed == bytes && seeks == 0 && reads == 0);
        return;
    }
    FUZZ_CHECK(seeks == 1);
    FUZZ_CHECK(sectors_read <= limit);
    FUZZ_CHECK(static_cast<unsigned __int128>(probed) ==
               static_cast<unsigned __int128>(bytes) +
                   static_cast<unsigned __int128>(sectors_read) * sector);
    // The probe stops at the first refused read, after a cylinder, or where
    // one more sector would leave the signed range; nowhere else.
    if (!positioned) FUZZ_CHECK(reads == 0);
    if (positioned && !refused && sectors_read < limit) {
        FUZZ_CHECK(static_cast<std::uint64_t>(probed) > kInt64Max - sector);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check_extents(data, size);
    check_geometry(data, size);
    return 0;
}
