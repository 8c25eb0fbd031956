// For kiroda_screens: the message gallery, the wizard's message texts that
// no road of it reaches, each shown on its own. The rows are written from
// the sources by tools/message-pages when kiroda_screens is built.
#pragma once

#include "app/screen_pages_test_support.h"

namespace kiroda {

// The caption a message is shown under: the program's, the zero fill's, or
// the online help's.
enum class message_caption { program, nullpass, help };

struct message_page {
    screen_page row;
    const char* text;  // a printf format of the wizard's, shown with sample values
    message_caption caption;
};

inline constexpr message_page kMessagePages[] = {
#include "message_pages.inc"
};

}  // namespace kiroda
