#include "format/digest_avx2.h"

// The same header-only library as digest.cpp, with the AVX2 loop chosen by
// this file's compiler flags: its functions are static, so the two builds
// of them never meet, and the state they share has one layout.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace kiroda {

bool digest_avx2_usable() {
    // GCC's check includes the system's part: the wider registers are saved
    // across thread switches only where the system enabled them.
    static const bool usable = __builtin_cpu_supports("avx2") != 0;
    return usable;
}

void digest_avx2_update(void* xxh3_state, const void* data, std::size_t size) {
    XXH3_128bits_update(static_cast<XXH3_state_t*>(xxh3_state), data, size);
}

}  // namespace kiroda
