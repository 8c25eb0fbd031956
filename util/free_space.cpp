#include "util/free_space.h"

#include "util/io_census_test_support.h"

#include <utility>

namespace kiroda {

// The test programs' build of this file (with the I/O census) may answer
// for the volume; the product's asks the platform and nothing else.
#if defined(KIRODA_IO_CENSUS)
namespace {
std::function<double(const char*)> g_override;
}  // namespace

void set_free_space_for_tests(std::function<double(const char*)> query) {
    g_override = std::move(query);
}

double get_folder_free_bytes(const char* folder) {
    if (io_census_fails()) return -1.0;
    return g_override ? g_override(folder) : platform_folder_free_bytes(folder);
}
#else
double get_folder_free_bytes(const char* folder) {
    return platform_folder_free_bytes(folder);
}
#endif

}  // namespace kiroda
