// How an engine speaks: a message box owned by its progress window, in the
// program's caption, with OK alone (questions are asked with say()).
#pragma once

#include "engine/progress.h"
#include "ui/say.h"

namespace kiroda {

template <typename... Values>
void tell(progress& p, stored_text text, Values... values) {
    say(p.owner(), kMbOk, text, values...);
}

}  // namespace kiroda
