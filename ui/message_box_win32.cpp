#include <windows.h>

#include "ui/message.h"

namespace kiroda {

int platform_message_box(const message& m) {
    return MessageBoxA(static_cast<HWND>(m.owner), m.text, m.caption, m.type);
}

}  // namespace kiroda
