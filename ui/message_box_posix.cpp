#include <cstdio>

#include "ui/message.h"

namespace kiroda {

int platform_message_box(const message& m) {
    std::fprintf(stderr, "%s: %s\n", m.caption != nullptr ? m.caption : "", m.text);
    return kNoAnswer;
}

}  // namespace kiroda
