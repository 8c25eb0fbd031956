// The digest's inner loop built for AVX2 (digest_avx2.cpp, compiled with
// -mavx2 on x86-64 Linux only): twice the bytes per step of the SSE2 loop
// every x86-64 processor has, and the same digests bit for bit, which the
// digest test proves against the portable loop. Called only where the
// processor (and the system, which must save the wider registers) says it
// can run it.
#pragma once

#include <cstddef>

namespace kiroda {

// True when the AVX2 loop may run here.
bool digest_avx2_usable();
// The portable loop's XXH3_128bits_update on a state of digest.cpp.
void digest_avx2_update(void* xxh3_state, const void* data, std::size_t size);

}  // namespace kiroda
