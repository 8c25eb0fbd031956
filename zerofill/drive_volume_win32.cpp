#include "zerofill/drive_volume_win32.h"

#include <windows.h>

#include <cstring>

namespace kiroda {

namespace {

// Written only by the zero fill's worker, one run at a time.
char g_file_system_name[16] = "Error";

using free_space_ex_proc = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
bool g_looked_up = false;
free_space_ex_proc g_free_space_ex = nullptr;

free_space_ex_proc free_space_ex() {
    if (!g_looked_up) {
        // kernel32 is always loaded; early systems lack the extended query.
        if (HMODULE kernel = GetModuleHandleA("kernel32.dll")) {
            g_free_space_ex = reinterpret_cast<free_space_ex_proc>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
        }
        g_looked_up = true;
    }
    return g_free_space_ex;
}

}  // namespace

int get_file_system_kind(const char* root) {
    char name[sizeof g_file_system_name] = {};
    if (!GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, name, sizeof name)) {
        return kFileSystemQueryFailed;
    }
    name[sizeof name - 1] = '\0';
    std::memcpy(g_file_system_name, name, sizeof name);
    return file_system_kind_of_name(g_file_system_name);
}

const char* last_file_system_name() {
    return g_file_system_name;
}

std::int64_t get_drive_free_bytes(const char* path) {
    char root[4] = {};
    const char* query = path;
    if (path[0] != '\0' && path[1] == ':') {
        root[0] = path[0];
        root[1] = ':';
        root[2] = '\\';
        query = root;
    }
    if (free_space_ex_proc ex = free_space_ex()) {
        ULARGE_INTEGER available{}, total{}, total_free{};
        if (!ex(query, &available, &total, &total_free)) return -1;
        // Above 2^63 - 1 the signed result would turn negative; no volume is that big.
        return available.QuadPart > static_cast<ULONGLONG>(INT64_MAX)
                   ? INT64_MAX
                   : static_cast<std::int64_t>(available.QuadPart);
    }
    DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceA(query, &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                           &clusters)) {
        return -1;
    }
    return static_cast<std::int64_t>(free_clusters) * sectors_per_cluster * bytes_per_sector;
}

}  // namespace kiroda
