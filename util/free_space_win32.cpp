#include <windows.h>

#include "util/free_space.h"
#include "util/path.h"

namespace kiroda {

namespace {

using free_space_ex_proc = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

// GetDiskFreeSpaceExA is looked up at run time: early systems lack it, and
// the cluster-based query then serves (it cannot report more than 2 GiB there).
// Written once on first use, on the thread of the backup flow, before the
// backup worker that also reads it exists.
HMODULE g_kernel32 = nullptr;
free_space_ex_proc g_free_space_ex = nullptr;
bool g_load_failed = false;

}  // namespace

void unload_free_space_api() {
    if (g_kernel32 != nullptr) FreeLibrary(g_kernel32);
    g_kernel32 = nullptr;
    g_free_space_ex = nullptr;
}

// True when GetDiskFreeSpaceExA is at hand.
bool load_free_space_api() {
    if (g_load_failed) return false;
    if (g_kernel32 == nullptr) {
        g_kernel32 = LoadLibraryA("KERNEL32.DLL");
        if (g_kernel32 == nullptr) {
            g_load_failed = true;
            return false;
        }
        g_free_space_ex = reinterpret_cast<free_space_ex_proc>(
            reinterpret_cast<void*>(GetProcAddress(g_kernel32, "GetDiskFreeSpaceExA")));
        if (g_free_space_ex == nullptr) {
            g_load_failed = true;
            unload_free_space_api();
            return false;
        }
    }
    return true;
}

double platform_folder_free_bytes(const char* folder) {
    const bool extended = load_free_space_api();
    char root[kPathCapacity];
    if (!free_space_root(folder, extended, root, sizeof root)) return -1.0;
    if (extended) {
        ULARGE_INTEGER available{}, total{}, total_free{};
        if (g_free_space_ex(root, &available, &total, &total_free)) {
            return static_cast<double>(available.HighPart) * 4294967296.0 +
                   static_cast<double>(available.LowPart);
        }
    }
    DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceA(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                           &clusters)) {
        return -1.0;
    }
    return static_cast<double>(free_clusters) * static_cast<double>(sectors_per_cluster) *
           static_cast<double>(bytes_per_sector);
}

}  // namespace kiroda
