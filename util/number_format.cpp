#include "util/number_format.h"

#include <cstdio>
#include <cstring>

namespace kiroda {

char* group_thousands(char* destination, const char* source, int sign) {
    const std::size_t n = std::strlen(source);
    std::size_t in = 0;
    std::size_t out = 0;
    if (sign < 0 && n > 0) {
        destination[out++] = source[in++];
    }
    for (; in < n; ++in) {
        destination[out++] = source[in];
        // (n - in - 1) is the number of digits still to come after this one.
        if ((n - in - 1) % 3 == 0) destination[out++] = ',';
    }
    // The loop always ends with a "," after the last digit; drop it.
    destination[out > 0 ? out - 1 : 0] = '\0';
    return destination;
}

char* format_int64_grouped(char* destination, std::int64_t value) {
    char scratch[64];
    std::snprintf(scratch, sizeof scratch, "%lld", static_cast<long long>(value));
    return group_thousands(destination, scratch, value < 0 ? -1 : 1);
}

char* format_uint64_grouped(char* destination, std::uint64_t value) {
    char scratch[64];
    std::snprintf(scratch, sizeof scratch, "%llu", static_cast<unsigned long long>(value));
    return group_thousands(destination, scratch, 1);
}

}  // namespace kiroda
