// The language of the program's texts.
//
// Every text is written in Japanese, and the wizard shows it as written.
// krdtool installs a translation outside a Japanese locale; from then on
// message formats, captions and the fragments marked with localized() come
// out in English. A text the translation does not know stays Japanese, so a
// missing entry never leaves a message empty.
#pragma once

namespace kiroda {

// Returns the translated form of `japanese`, or null when it has none.
using translation = const char* (*)(const char* japanese);

// Installs `t` (null: none) for the whole program. Install before any
// worker thread starts; the translation must stay valid until replaced.
void set_translation(translation t);

// `japanese` in the user's language. The result lives as long as the
// translation (or `japanese` itself).
const char* localized(const char* japanese);

}  // namespace kiroda
