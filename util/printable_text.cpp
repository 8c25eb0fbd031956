#include "util/printable_text.h"

#include <cstdint>

namespace kiroda {

namespace {

// U+FFFD in UTF-8, as bytes: no text of the program's to translate.
constexpr char kReplacement[] = {'\xEF', '\xBF', '\xBD', '\0'};

// The length of the well-formed UTF-8 sequence at `at` and its code point,
// or 0 when the byte there starts none.
std::size_t sequence_at(std::string_view text, std::size_t at, std::uint32_t* code) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t least = 0;
    if (lead < 0x80) {
        *code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, least = 0x80, *code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, least = 0x800, *code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, least = 0x10000, *code = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        *code = (*code << 6) | (byte(i) & 0x3Fu);
    }
    const bool surrogate = *code >= 0xD800 && *code <= 0xDFFF;
    return *code < least || surrogate || *code > 0x10FFFF ? 0 : length;
}

bool is_control(std::uint32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

}  // namespace

std::string printable_text(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::uint32_t code = 0;
        const std::size_t length = sequence_at(text, at, &code);
        if (length == 0 || is_control(code)) {
            shown += kReplacement;
            at += length == 0 ? 1 : length;
            continue;
        }
        shown.append(text.substr(at, length));
        at += length;
    }
    return shown;
}

}  // namespace kiroda
