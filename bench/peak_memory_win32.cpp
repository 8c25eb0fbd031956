// Peak memory of a backup, a data test and a restore in a Windows program,
// for the 32-bit build above all: the engine runs on a thread with the
// wizard's 40,000,000-byte stack reservation, over image disks, and the
// process's peak working set and peak committed memory are printed.
//
//   bench_peak_memory.exe WORK_FOLDER [MIB]
#include <windows.h>
#include <process.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "disk/disk_registry.h"
#include "disk/path_disk.h"
#include "engine/backup_engine.h"
#include "engine/restore_engine.h"
#include "engine/verify_engine.h"

namespace {

struct job {
    std::string folder;
    std::uint64_t bytes;
    int results[3];
};

unsigned __stdcall run(void* p) {
    auto* j = static_cast<job*>(p);
    kiroda::silent_progress progress;
    j->results[0] = kiroda::backup_disk(progress, 0, j->folder.c_str(), j->bytes);
    j->results[1] = kiroda::verify_backup_set(progress, j->folder.c_str(), j->bytes);
    j->results[2] = kiroda::restore_disk(progress, 1, j->folder.c_str(), j->bytes);
    return 0;
}

void write_image(const std::string& path, std::uint64_t bytes, bool pattern) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::vector<unsigned char> piece(1 << 20, 0);
    for (std::uint64_t done = 0; done < bytes; done += piece.size()) {
        if (pattern) {
            for (std::size_t i = 0; i < piece.size(); i += 4096)
                piece[i] = static_cast<unsigned char>(done >> 20);
        }
        std::fwrite(piece.data(), 1, piece.size(), f);
    }
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s WORK_FOLDER [MIB]\n", argv[0]);
        return 2;
    }
    const std::string work = argv[1];
    const std::uint64_t mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 256;
    const std::string source = work + "\\source.img", target = work + "\\target.img";
    write_image(source, mib << 20, true);
    write_image(target, mib << 20, false);
    // Image files in place of the raw disks.
    kiroda::install_disk_ops(&kiroda::path_disk::ops());
    kiroda::register_disk_path(0, source);
    kiroda::register_disk_path(1, target);
    job j{work + "\\set", mib << 20, {}};
    CreateDirectoryA(j.folder.c_str(), nullptr);
    const uintptr_t thread = _beginthreadex(nullptr, 40000000, run, &j, 0x00010000, nullptr);
    if (thread == 0) return 1;
    WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    std::printf("%s bits, %llu MiB: backup %d, verify %d, restore %d\n",
                sizeof(void*) == 4 ? "32" : "64", static_cast<unsigned long long>(mib),
                j.results[0], j.results[1], j.results[2]);
    std::printf("peak working set %.1f MiB, peak committed %.1f MiB\n",
                counters.PeakWorkingSetSize / 1048576.0, counters.PeakPagefileUsage / 1048576.0);
    return j.results[0] == 1 && j.results[1] == 1 && j.results[2] == 1 ? 0 : 1;
}
