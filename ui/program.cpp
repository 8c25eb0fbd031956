#include "ui/program.h"

#include <cstdio>

namespace kiroda {

namespace {

// 72 bytes as the caption buffer has always been; the text itself is kept
// below 64 bytes so that it fits the header file's caption field.
struct caption_text {
    char text[72];
};

caption_text make_caption(const char* alpha) {
    caption_text c{};
    std::snprintf(c.text, sizeof c.text, "KIRODA V%2.2f%s Whole-Disk Backup %s", kProgramVersion,
                  alpha, "Jun 10 2017");
    return c;
}

}  // namespace

int g_shutdown_at_end = 0;

const char* program_caption() {
    static const caption_text caption = make_caption("α");
    return caption.text;
}

const char* program_caption_sjis() {
    static const caption_text caption = make_caption("\x83\xBF");  // "α"
    return caption.text;
}

}  // namespace kiroda
