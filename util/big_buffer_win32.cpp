#include <new>

#include "util/big_buffer.h"

namespace kiroda {

// Large pages on Windows need a privilege a backup program should not ask
// for; the buffers are plain aligned memory.
unsigned char* allocate_big(std::size_t bytes) {
    return static_cast<unsigned char*>(
        ::operator new[](bytes, std::align_val_t{4096}, std::nothrow));
}

void free_big(unsigned char* data, std::size_t) {
    if (data != nullptr) ::operator delete[](data, std::align_val_t{4096});
}

}  // namespace kiroda
