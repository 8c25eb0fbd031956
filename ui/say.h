// One way for the wizard's code to speak: a text (stored or plain) and its
// values become one message box in the program's caption.
#pragma once

#include "ui/message.h"
#include "ui/program.h"
#include "ui/stored_text.h"

namespace kiroda {

// Deciphers `text` and shows it with `values`; returns the answer. A stored
// text with no values is shown as a value of its own ("%s"), so a "%" in it
// can never be read as a conversion. The values are not checked against the
// text's conversions: a stored text is enciphered, so the compiler cannot
// see its format; keep each call beside the text it names.
template <typename... Values>
int say(window_handle owner, unsigned type, stored_text text, Values... values) {
    if constexpr (sizeof...(Values) == 0) {
        return show_message(owner, type, program_caption(), "%s", get_stored_text(text));
    } else {
        return show_message(owner, type, program_caption(), get_stored_text(text), values...);
    }
}

// The same for a plain printf format, checked by the compiler.
#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
int say_plain(window_handle owner, unsigned type, const char* format, ...);

}  // namespace kiroda
