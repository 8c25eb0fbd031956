#include "ui/translation.h"

namespace kiroda {

namespace {
// Program-wide: set once at start-up, before any thread reads it.
translation g_translation = nullptr;
}  // namespace

void set_translation(translation t) {
    g_translation = t;
}

const char* localized(const char* japanese) {
    if (g_translation == nullptr || japanese == nullptr) return japanese;
    const char* translated = g_translation(japanese);
    return translated != nullptr ? translated : japanese;
}

}  // namespace kiroda
