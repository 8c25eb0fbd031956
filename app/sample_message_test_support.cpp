#include "app/sample_message_test_support.h"

#include <cstring>
#include <initializer_list>

namespace kiroda {

namespace {

// Each message with fields has values of its own, in field order, that fit
// what its words say (and one another: a disk too small is smaller).
struct sample_values {
    const char* page;
    std::initializer_list<const char*> values;
};

const sample_values kSampleValues[] = {
    {"message-backup_flow.kFolderOnSource", {"0", "0", "C:\\BACKUP"}},
    {"message-backup_flow.kNotAFolder", {"E:\\BACKUP"}},
    {"message-backup_flow.kProgramCopyThere", {"E:\\BACKUP"}},
    {"message-backup_flow.kSetThere", {"E:\\BACKUP"}},
    {"message-backup_flow.kBadSectorSize", {"4096"}},
    {"message-backup_flow.kSizeUnknown", {"0"}},
    {"message-backup_flow.kCopyFailed", {"E:\\BACKUP", "C:\\Tools\\KIRODA"}},
    {"message-backup_flow.kFolderTooLong", {"2034", "E:\\BACKUP\\2017\\...\\DISK0"}},
    {"message-backup_flow.kBadMedia", {"3.5\"1.44MB"}},
    {"message-command_steps.kFolderOnSource", {"0", "0", "C:\\BACKUP"}},
    {"message-command_steps.kNoFullPath", {"E:BACKUP"}},
    {"message-command_steps.kSetOnTarget", {"1", "1", "E:\\BACKUP"}},
    {"message-command_steps.kTargetTooSmall", {"160,041,885,696", "250,059,350,016"}},
    {"message-command_steps.kTargetHasPartitions",
     {"1", "104,857,600", "159,936,978,944", "0", "0"}},
    {"message-command_steps.kBadTargetSectorSize", {"4096"}},
    {"message-command_steps.kBadTargetMedia", {"不明なﾒﾃﾞｨｱ"}},
    {"message-backup_engine.kSeekFailed", {"0"}},
    {"message-backup_engine.kNothingToBackUp", {"0"}},
    {"message-backup_engine.kDiskReadError", {"390721968"}},
    {"message-backup_resume.kComplete", {"E:\\BACKUP"}},
    {"message-backup_resume.kOtherDisk", {"250,059,350,016", "0", "160,041,885,696", "E:\\BACKUP"}},
    {"message-backup_resume.kDamaged", {"E:\\BACKUP\\KRD00002.BIN", "41"}},
    {"message-backup_resume.kUnreadable", {"E:\\BACKUP"}},
    {"message-backup_resume.kDifferentData", {"0", "65,536", "65,543"}},
    {"message-backup_resume.kUnconfirmed", {"0"}},
    {"message-backup_writer.kNotEnoughSpace", {"3,407,872"}},
    {"message-backup_writer.kCannotCreate", {"E:\\BACKUP\\KRD00002.BIN"}},
    {"message-backup_writer.kWriteFailed", {"E:\\BACKUP\\KRD00002.BIN", "290,162,688", "112"}},
    {"message-backup_writer.kCannotWriteMap", {"E:\\BACKUP"}},
    {"message-backup_writer.kCannotWriteSide", {"KRDDISK.TXT", "E:\\BACKUP"}},
    {"message-backup_writer.kCannotWriteDigests", {"E:\\BACKUP"}},
    {"message-backup_writer.kCannotCommit", {"E:\\BACKUP\\KRD00002.BIN"}},
    {"message-header_file.kCreateFailed", {"E:\\BACKUP\\KRD00000.BIN"}},
    {"message-header_file.kWriteFailed", {"E:\\BACKUP\\KRD00000.BIN"}},
    {"message-header_file.kOpenFailed", {"E:\\BACKUP\\KRD00000.BIN"}},
    {"message-header_file.kReadFailed", {"E:\\BACKUP\\KRD00000.BIN"}},
    {"message-header_file.kDamaged", {"E:\\BACKUP\\KRD00000.BIN"}},
    {"message-restore_engine.kImplausibleSize", {"0"}},
    {"message-restore_engine.kChangedSectorSize", {"1", "4096"}},
    {"message-restore_engine.kChangedMedia", {"1", "3.5\"1.44MB"}},
    {"message-restore_engine.kReadBackDiffers", {"1", "1,048,576", "1,048,583"}},
    {"message-set_reader.kIncompleteFile", {"E:\\BACKUP\\KRD00003.BIN", "17", "60"}},
    {"message-set_reader.kTooManyBlocks", {"E:\\BACKUP\\KRD00001.BIN", "60"}},
    {"message-set_reader.kShortBlock",
     {"E:\\BACKUP\\KRD00001.BIN", "12", "8,388,608", "16,777,216"}},
    {"message-set_reader.kTooMuchData", {"E:\\BACKUP\\KRD00004.BIN", "2,013,265,920"}},
    {"message-set_reader.kBlockDigest", {"E:\\BACKUP\\KRD00001.BIN", "12"}},
    {"message-set_reader.kExtraFile", {"E:\\BACKUP\\KRD00005.BIN"}},
    {"message-set_reader.kSideDigest", {"KRDDISK.TXT"}},
    {"message-set_reader.kDigestsDamagedAt", {"7"}},
    {"message-verify_engine.kDiskTooSmall", {"1", "160,041,885,696", "250,059,350,016"}},
    {"message-verify_engine.kDiskDiffers", {"1", "1,048,576", "1,048,583"}},
    {"message-engine_texts.kNoFreeSpace", {"E:\\BACKUP"}},
    {"message-engine_texts.kCannotComplete", {"E:\\BACKUP\\KRD00002.BIN"}},
    {"message-zero_fill_texts.kFileNotDeleted", {"E:\\ZEROTEMP\\Z_000003.TMP"}},
    {"message-zero_fill_texts.kFilesNotDeleted", {"E", "3"}},
    {"message-dialog_look_win32.kBrowserFailed", {"1155"}},
    {"message-verify_engine.kVerifyTexts.bad_block", {"E:\\BACKUP\\KRD00001.BIN", "-1"}},
    {"message-verify_engine.kVerifyTexts.empty_block", {"E:\\BACKUP\\KRD00001.BIN"}},
};

const sample_values* values_of(const char* page) {
    for (const sample_values& v : kSampleValues) {
        if (std::strcmp(v.page, page) == 0) return &v;
    }
    return nullptr;
}

}  // namespace

void for_each_sample_page(void (*each)(const char* page, void* context), void* context) {
    for (const sample_values& v : kSampleValues) each(v.page, context);
}

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
