#include "app/sample_message_test_support.h"

#include <cstring>

namespace kiroda {

std::string sample_message(const char* format) {
    static const char* const kNumberAfter[] = {" バイト", "バイト", " から", " まで", " 個"};
    static const char* const kNumberBefore[] = {"セクタ ", "から "};
    std::string out;
    for (const char* c = format; *c != '\0'; ++c) {
        if (*c != '%') {
            out += *c;
            continue;
        }
        const char* conv = c + 1;
        while (*conv != '\0' && std::strchr("-+ #0123456789.lI", *conv) != nullptr) ++conv;
        if (*conv == '%' || *conv == '\0') {
            out += '%';
            c = *conv == '\0' ? conv - 1 : conv;
            continue;
        }
        bool number = *conv != 's';
        for (const char* a : kNumberAfter)
            number = number || std::strncmp(conv + 1, a, std::strlen(a)) == 0;
        for (const char* b : kNumberBefore) {
            const std::size_t n = std::strlen(b);
            number = number || (out.size() >= n && out.compare(out.size() - n, n, b) == 0);
        }
        const bool long_only = conv[-1] == 'l' && conv[-2] != 'l';  // %ld: a read result
        if (*conv == 'c') {
            out += 'E';  // a drive letter
        } else if (*conv == 's') {
            out += number ? "75,776" : "D:\\BACKUP\\KRD00001.BIN";
        } else if (*conv == 'd' && !long_only && conv[-1] != 'l') {
            out += "1";  // a disk number, mostly
        } else {
            out += long_only ? "-1" : "4096";
        }
        c = conv;
    }
    return out;
}

}  // namespace kiroda
