#include "util/free_space.h"

#include "util/io_census.h"

#include <utility>

namespace kiroda {

namespace {
std::function<double(const char*)> g_override;  // set only by test programs
}  // namespace

void set_free_space_for_tests(std::function<double(const char*)> query) {
    g_override = std::move(query);
}

double get_folder_free_bytes(const char* folder) {
    if (io_census_fails()) return -1.0;
    return g_override ? g_override(folder) : platform_folder_free_bytes(folder);
}

}  // namespace kiroda
