#include "disk/disk_geometry.h"

#include <limits>

#include "util/le.h"

namespace kiroda {

disk_geometry parse_disk_geometry(const unsigned char* reply) {
    disk_geometry g;
    g.cylinders = static_cast<std::int64_t>(load_le64(reply));
    g.media_type = load_le32(reply + 8);
    g.tracks_per_cylinder = load_le32(reply + 12);
    g.sectors_per_track = load_le32(reply + 16);
    g.bytes_per_sector = load_le32(reply + 20);
    return g;
}

bool geometry_product_bytes(const disk_geometry& geometry, std::int64_t* bytes) {
    if (geometry.cylinders < 0) return false;
    constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::uint64_t product = static_cast<std::uint64_t>(geometry.cylinders);
    for (const std::uint32_t factor :
         {geometry.tracks_per_cylinder, geometry.sectors_per_track, geometry.bytes_per_sector}) {
        if (factor != 0 && product > kMax / factor) return false;
        product *= factor;
    }
    *bytes = static_cast<std::int64_t>(product);
    return true;
}

std::uint64_t probe_limit_sectors(const disk_geometry& geometry) {
    return static_cast<std::uint64_t>(geometry.tracks_per_cylinder) * geometry.sectors_per_track;
}

std::int64_t probed_disk_size(const disk_geometry& geometry, const size_probe& probe) {
    std::int64_t size = 0;
    if (!geometry_product_bytes(geometry, &size)) return kDiskSizeQueryFailed;
    const std::uint32_t sector = geometry.bytes_per_sector;
    if (sector == 0 || sector > kProbeMaxSectorBytes) return size;
    if (!probe.seek(static_cast<std::uint64_t>(size))) return size;
    const std::uint64_t limit = probe_limit_sectors(geometry);
    for (std::uint64_t n = 0; n < limit; ++n) {
        if (size > std::numeric_limits<std::int64_t>::max() - sector) break;
        if (!probe.read_sector(sector)) break;
        size += sector;
    }
    return size;
}

}  // namespace kiroda
