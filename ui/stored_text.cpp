#include "ui/stored_text.h"

#include <cstdlib>

namespace kiroda {

namespace {
// Program-wide, resized for every text; see the header for why no lock.
char* g_buffer = nullptr;
}  // namespace

const char* get_stored_text(stored_text text) {
    void* grown = std::realloc(g_buffer, text.size + 1);
    if (grown == nullptr) {
        std::free(g_buffer);
        g_buffer = nullptr;
        return "not enough memory a2c";
    }
    g_buffer = static_cast<char*>(grown);
    detail::stored_key key;
    for (std::size_t i = 0; i < text.size; ++i) {
        g_buffer[i] = static_cast<char>(text.bytes[i] ^ key.next());
    }
    g_buffer[text.size] = '\0';
    return g_buffer;
}

void release_stored_text_buffer() {
    std::free(g_buffer);
    g_buffer = nullptr;
}

}  // namespace kiroda
