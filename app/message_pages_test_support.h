// For kiroda_screens: the message gallery, the wizard's message texts that
// no road of it reaches, each shown on its own. The rows are written from
// the sources by tools/message-pages when kiroda_screens is built.
#pragma once

#include "app/screen_pages_test_support.h"

namespace kiroda {

struct message_page {
    screen_page row;
    const char* text;  // a printf format of the wizard's, shown with sample values
    bool nullpass;     // shown under the zero fill's caption
};

inline constexpr message_page kMessagePages[] = {
#include "message_pages.inc"
};

}  // namespace kiroda
