#include "cli/set_file_systems.h"

#include "cli/disk_layout.h"
#include "cli/output.h"
#include "cli/terminal_messages.h"
#include "engine/header_file.h"
#include "format/set_files.h"
#include "ui/translation.h"

namespace kiroda::cli {

bool set_file_systems::open(const std::string& folder, std::FILE* err) {
    folder_ =
        folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    terminal_messages messages(err, answers_for(err, false));
    backup_header header{};
    if (read_header_file(nullptr, folder_.c_str(), &header) != header_read::read) return false;
    if (confirm_header_version(nullptr, header) != kIdOk) return false;
    image_ = std::make_unique<set_image>(folder_, header.backup_bytes);
    silent_progress p;
    if (!image_->open(p)) return false;
    image_->on_block_failure([this](const block_failure& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = f;
    });
    disk_ = std::make_unique<disk_file_systems>(image_->size(), streaming_reader(*image_),
                                                set_sector_bytes(folder_));
    if (!disk_->valid()) {
        print_message(err, "ファイルシステムを読むライブラリ (libtsk) を使えません: %s",
                      partition_file_system::last_error().c_str());
        return false;
    }
    return true;
}

std::optional<block_failure> set_file_systems::take_failure() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::optional<block_failure> f = failure_;
    failure_.reset();
    return f;
}

std::string set_file_systems::describe(const block_failure& f) {
    const char* reason = block_failure_reason(f.code);
    char text[512];
    std::snprintf(text, sizeof text,
                  localized("%zu 番目のブロック (" KIRODA_DATA_FILE_NAME_FORMAT "): %s"), f.block,
                  f.file_number, reason != nullptr ? localized(reason) : "");
    return text;
}

bool parse_partition_path(const std::string& text, int* part, std::string* path) {
    const std::size_t colon = text.find(':');
    const std::string number = text.substr(0, colon);
    if (number.empty() || number.size() > 4 ||
        number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *part = std::stoi(number);
    // "/a//b/" is "a/b"; the root is "".
    path->clear();
    for (const char c : colon == std::string::npos ? "" : text.substr(colon + 1)) {
        if (c == '/' && (path->empty() || path->back() == '/')) continue;
        *path += c;
    }
    if (!path->empty() && path->back() == '/') path->pop_back();
    return *part > 0;
}

partition_file_system* open_partition(set_file_systems& set, int number, std::FILE* err) {
    std::string why;
    partition_file_system* fs = set.disk().open(number, &why);
    if (fs != nullptr) return fs;
    bool exists = false;
    for (const disk_partition& p : set.disk().partitions().partitions) exists |= p.number == number;
    if (!exists) {
        print_message(err, "パーテーション %d はありません (krdtool ls SETDIR で一覧を表示します)",
                      number);
    } else {
        print_message(err, "パーテーション %d のファイルシステムを読めません: %s", number,
                      why.c_str());
    }
    if (const auto f = set.take_failure())
        print_message(err, "読めないブロックがあります: %s",
                      set_file_systems::describe(*f).c_str());
    return nullptr;
}

}  // namespace kiroda::cli
