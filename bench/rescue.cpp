// What a rescue costs a dying disk: failed reads counted through the disk
// seam, and the time they would take at 20 ms each (a slow failing read;
// real drives often take far longer). Good areas cost no failed read.
//
//   bench_rescue [WORK_FOLDER]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "disk/faulty_disk_test_support.h"
#include "disk/path_disk.h"
#include "engine/backup_engine.h"
#include "format/bad_sector_map.h"

namespace {

constexpr std::int64_t kGiB = 1LL << 30;

void run(const char* what, const std::string& image, std::int64_t bytes,
         const kiroda::disk_faults& faults, std::int64_t bad_sectors,
         const std::filesystem::path& work) {
    kiroda::register_disk_path(0, image);
    kiroda::set_disk_faults(0, faults);
    const std::filesystem::path folder = work / "set";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    kiroda::silent_progress p;
    const auto start = std::chrono::steady_clock::now();
    const int result =
        kiroda::backup_disk(p, 0, folder.string().c_str(), static_cast<std::uint64_t>(bytes),
                            kiroda::backup_options{true});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::int64_t failed = kiroda::failed_reads(0);
    kiroda::bad_sector_map map;
    int bad_line = 0;
    if (kiroda::read_bad_sector_map(folder.string().c_str(), &map, &bad_line) ==
        kiroda::map_read::unreadable)
        std::printf("(map unreadable at line %d) ", bad_line);
    std::printf("%-34s result %d  failed reads %6lld", what, result,
                static_cast<long long>(failed));
    if (bad_sectors > 0)
        std::printf(" (%.2f per bad sector)", static_cast<double>(failed) / bad_sectors);
    std::printf("  lost %llu sectors  %.2f s here, %.0f s at 20 ms a failed read\n",
                static_cast<unsigned long long>(map.sectors(kiroda::sector_state::unreadable) +
                                                map.sectors(kiroda::sector_state::not_tried)),
                seconds, seconds + failed * 0.020);
}

}  // namespace

int main(int argc, char** argv) {
    kiroda::install_disk_faults(kiroda::path_disk::ops());
    const std::filesystem::path work =
        argc > 1 ? argv[1] : std::filesystem::temp_directory_path() / "kiroda-rescue";
    std::filesystem::create_directories(work);
    const std::string image = (work / "disk.img").string();
    {
        // 1 GiB, sparse: zeros but for a byte every MiB.
        std::ofstream out(image, std::ios::binary | std::ios::trunc);
        for (std::int64_t at = 0; at < kGiB; at += 1 << 20) {
            out.seekp(at);
            out.put(static_cast<char>(1 + at / (1 << 20) % 200));
        }
        out.seekp(kGiB - 1);
        out.put('\0');
    }
    {
        kiroda::disk_faults none;
        run("no bad sector", image, kGiB, none, 0, work);
    }
    {
        kiroda::disk_faults scattered;
        std::mt19937_64 random(7);
        for (int i = 0; i < 1000; ++i)
            scattered.bad_sectors.push_back(static_cast<std::int64_t>(random() % (kGiB / 512)));
        run("1,000 scattered bad sectors", image, kGiB, scattered, 1000, work);
    }
    {
        kiroda::disk_faults dead;
        dead.dead_from = (300LL << 20) / 512 + 77;
        dead.dead_to = dead.dead_from + (64LL << 20) / 512;
        run("a dead region of 64 MiB", image, kGiB, dead, 0, work);
    }
    std::filesystem::remove_all(work);
    return 0;
}
