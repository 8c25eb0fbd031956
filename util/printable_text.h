// Texts read from a backup set (the source record, the header's caption)
// are anybody's bytes: shown as they are, an escape sequence clears the
// screen or forges a line, and invalid UTF-8 garbles a UTF-8 terminal or a
// JSON document. They are shown through printable_text.
#pragma once

#include <string>
#include <string_view>

namespace kiroda {

// `text` with every control character (C0, DEL, and the C1 controls U+0080
// to U+009F) and every byte that is no part of a well-formed UTF-8 sequence
// (overlong, a surrogate, past U+10FFFF, cut short) replaced by U+FFFD.
std::string printable_text(std::string_view text);

}  // namespace kiroda
