#include "app/sample_message_test_support.h"

#include <cstring>
#include <initializer_list>

namespace kiroda {

namespace {

// The messages whose fields the kinds would fill with values that do not
// fit what the words say: each with values of its own, in field order.
struct sample_values {
    const char* page;
    std::initializer_list<const char*> values;
};

const sample_values kSampleValues[] = {
    {"message-restore_engine.kChangedMedia", {"1", "3.5\"1.44MB"}},
    {"message-backup_flow.kCopyFailed", {"E:\\BACKUP", "C:\\Tools\\KIRODA"}},
    {"message-backup_flow.kFolderTooLong", {"2034", "E:\\BACKUP\\2017\\...\\DISK0"}},
    {"message-backup_flow.kBadMedia", {"3.5\"1.44MB"}},
    {"message-backup_writer.kCannotWriteSide", {"KRDDISK.TXT", "E:\\BACKUP"}},
    {"message-command_steps.kTargetTooSmall", {"160,041,885,696", "250,059,350,016"}},
    {"message-command_steps.kBadTargetSectorSize", {"4096"}},
    {"message-command_steps.kBadTargetMedia", {"不明なﾒﾃﾞｨｱ"}},
    {"message-verify_engine.kDiskTooSmall", {"1", "160,041,885,696", "250,059,350,016"}},
    {"message-set_reader.kIncompleteFile", {"E:\\BACKUP\\KRD00003.BIN", "17", "60"}},
    {"message-backup_engine.kDiskReadError", {"390,721,968"}},
    {"message-dialog_look_win32.kBrowserFailed", {"1155"}},
};

const sample_values* values_of(const char* page) {
    for (const sample_values& v : kSampleValues) {
        if (std::strcmp(v.page, page) == 0) return &v;
    }
    return nullptr;
}

}  // namespace

std::string sample_message(const char* page, const char* format) {
    const sample_values* own = values_of(page);
    std::size_t field = 0;
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
        if (own != nullptr && field < own->values.size()) {
            out += own->values.begin()[field++];
        } else if (*conv == 'c') {
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
