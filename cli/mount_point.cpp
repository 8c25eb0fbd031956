#include "cli/mount_point.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/output.h"
#include "cli/terminal_messages.h"

namespace kiroda::cli {

namespace {

namespace fs = std::filesystem;

// A mountinfo field with its "\ooo" escapes undone.
std::string unescaped(const std::string& field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                text += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        text += field[i];
    }
    return text;
}

std::string read_mountinfo() {
    std::ifstream in("/proc/self/mountinfo");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string listed_mount_device(const std::string& mountinfo, const std::string& path) {
    std::istringstream lines(mountinfo);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string field, device;
        for (int i = 0; i < 5 && fields >> field; ++i) {
            if (i == 2) device = field;
            if (i == 4 && unescaped(field) == path) return device;
        }
    }
    return "";
}

bool listed_as_mount(const std::string& mountinfo, const std::string& path) {
    return !listed_mount_device(mountinfo, path).empty();
}

bool widen_read_ahead(const std::string& path, unsigned kib) {
    const std::string device = listed_mount_device(read_mountinfo(), path);
    if (device.empty() || device.find('/') != std::string::npos) return false;
    std::ofstream knob("/sys/class/bdi/" + device + "/read_ahead_kb");
    knob << kib << '\n';
    knob.flush();
    return static_cast<bool>(knob);
}

mount_point_check check_mount_point(const std::string& path, const std::string& mountinfo) {
    std::error_code error;
    // Through its links, as the kernel lists it; a mount whose server is
    // gone does not resolve, and is looked up as given.
    std::string real = fs::canonical(path, error).string();
    if (error) real = path;
    if (listed_as_mount(mountinfo, real)) return {mount_point_state::mounted, 0};
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) return {mount_point_state::missing, 0};
    if (error) return {mount_point_state::unreadable, error.value()};
    if (status.type() != fs::file_type::directory) return {mount_point_state::not_folder, 0};
    fs::directory_iterator entries(path, error);
    if (error) return {mount_point_state::unreadable, error.value()};
    if (entries != fs::directory_iterator()) return {mount_point_state::not_empty, 0};
    return {};
}

bool mount_point_usable(std::FILE* err, const std::string& path, const std::string& shown) {
    const mount_point_check check = check_mount_point(path, read_mountinfo());
    const char* at = shown.c_str();
    switch (check.state) {
        case mount_point_state::usable:
            return true;
        case mount_point_state::missing:
            print_message(err, "マウント先のフォルダがありません: %s", at);
            break;
        case mount_point_state::not_folder:
            print_message(
                err, "マウント先がフォルダではありません: %s (空のフォルダを指定して下さい)", at);
            break;
        case mount_point_state::not_empty:
            print_message(err,
                          "マウント先のフォルダが空ではありません: %s (中のファイルが見えなくなる"
                          "ため、空のフォルダを指定して下さい)",
                          at);
            break;
        case mount_point_state::mounted:
            print_message(err,
                          "マウント先はすでにマウントされています: %s (先に外すか、別の空の"
                          "フォルダを指定して下さい)",
                          at);
            break;
        case mount_point_state::unreadable:
            print_message(err, "マウント先のフォルダを調べられません: %s%s", at,
                          system_reason(check.error).c_str());
            break;
    }
    return false;
}

}  // namespace kiroda::cli
