#include "cli/target_consent.h"

#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "cli/output.h"
#include "cli/stop_signals.h"
#include "cli/terminal_messages.h"
#include "ui/translation.h"
#include "util/number_format.h"
#include "util/zeros.h"

namespace kiroda::cli {

std::string describe_holdings(const target_check& check, bool nonzero_data) {
    std::string said;
    const auto add = [&](const std::string& part) {
        said += (said.empty() ? "" : localized("、")) + part;
    };
    // The probe finds a GPT by its header; its protective MBR entry spans
    // the disk and is no partition of its own.
    const bool gpt = check.file_system != nullptr && std::strcmp(check.file_system, "GPT") == 0;
    if (gpt) add(localized("GPT のパーテーション表"));
    int count = 0;
    std::string sizes;
    for (const std::uint64_t bytes : check.partition_bytes) {
        if (gpt) break;
        if (bytes == 0) continue;
        // Decimal megabytes, as the wizard counts them.
        char size[32];
        std::snprintf(size, sizeof size, "%.1f MB", static_cast<double>(bytes) / 1e6);
        sizes += std::string(count++ == 0 ? "" : ", ") + size;
    }
    char text[256];
    if (count > 0) {
        if (count == 1) {
            std::snprintf(text, sizeof text, localized("パーテーション 1 個 (%s)"), sizes.c_str());
        } else {
            std::snprintf(text, sizeof text, localized("パーテーション %d 個 (%s)"), count,
                          sizes.c_str());
        }
        add(text);
    }
    if (check.file_system != nullptr && !gpt) {
        std::snprintf(text, sizeof text, localized("%s のファイルシステム"), check.file_system);
        add(text);
    }
    if (nonzero_data && said.empty()) add(localized("0 でないデータ"));
    return said;
}

bool starts_with_data(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return true;
    std::vector<unsigned char> first(1 << 20);
    const ssize_t n = ::pread(fd, first.data(), first.size(), 0);
    ::close(fd);
    return n < 0 || !all_zero(first.data(), static_cast<std::size_t>(n));
}

bool names_the_device(const std::string& typed, const std::string& target) {
    if (typed.empty()) return false;
    if (typed == target) return true;
    const std::size_t slash = target.rfind('/');
    return slash != std::string::npos && typed == target.substr(slash + 1);
}

namespace {

// On a terminal: who the target is and what it holds, then its name typed.
bool typed_device_name(const overwrite_request& r, std::FILE* err) {
    char size[kGroupedTextSize];
    format_uint64_grouped(size, r.bytes);
    print(err, "上書きする復旧先: %s\n", r.target.c_str());
    if (!r.identity.empty()) print(err, "  %s\n", r.identity.c_str());
    print(err, "  大きさ: %s バイト\n  中身: %s\n", size, r.holds.c_str());
    print(err,
          "この中身はすべて失われます。続けるには装置名 (%s) を入力して下さい: ", r.target.c_str());
    std::fflush(err);
    char typed[512];
    if (std::fgets(typed, sizeof typed, stdin) == nullptr || stop_signalled()) {
        std::fputc('\n', err);
        return false;
    }
    std::string name(typed);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    if (names_the_device(name, r.target)) return true;
    print_message(err, "入力が装置名と違うため、何も書き込まずにやめました。");
    return false;
}

}  // namespace

bool agree_to_overwrite(const overwrite_request& r, std::FILE* err) {
    if (!r.force) {
        print_message(err,
                      "復旧先 %s には %s があります。何も書き込んでいません。\n"
                      "上書きしてよければ --force を付けて下さい (端末では装置名を入力して"
                      "確かめます。端末がなければ --yes も付けます)。残すものであれば、"
                      "別のディスクかイメージファイルに復旧して下さい。",
                      r.target.c_str(), r.holds.c_str());
        return false;
    }
    if (r.yes) {
        print_message(err, "(--force --yes: %s の %s を上書きします)", r.target.c_str(),
                      r.holds.c_str());
        return true;
    }
    if (!terminal_can_ask()) {
        print_message(err,
                      "復旧先 %s には %s があります。端末がないため確かめられません: "
                      "上書きするには --force に --yes も付けて下さい。",
                      r.target.c_str(), r.holds.c_str());
        return false;
    }
    // A dry run ends where the real run would ask: the plan says it.
    if (r.dry_run) return true;
    return typed_device_name(r, err);
}

}  // namespace kiroda::cli
