#include <sys/mman.h>

#include <new>

#include "util/big_buffer.h"

namespace kiroda {

namespace {

// Linux's transparent huge pages: 2 MiB, taken only for memory aligned to
// them and, on most systems, only where asked for.
constexpr std::size_t kLargePage = std::size_t{2} << 20;

std::size_t alignment_of(std::size_t bytes) {
    return bytes >= kLargePage ? kLargePage : 4096;
}

}  // namespace

unsigned char* allocate_big(std::size_t bytes) {
    const std::size_t alignment = alignment_of(bytes);
    auto* data = static_cast<unsigned char*>(
        ::operator new[](bytes, std::align_val_t{alignment}, std::nothrow));
#ifdef MADV_HUGEPAGE
    // Advice only: where the system has no large pages the buffer is the same.
    if (data != nullptr && alignment == kLargePage) madvise(data, bytes, MADV_HUGEPAGE);
#endif
    return data;
}

void free_big(unsigned char* data, std::size_t bytes) {
    if (data != nullptr) ::operator delete[](data, std::align_val_t{alignment_of(bytes)});
}

}  // namespace kiroda
