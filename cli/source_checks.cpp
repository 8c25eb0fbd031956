#include "cli/source_checks.h"

#include "cli/own_words.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/device_of_folder.h"
#include "cli/disk_layout.h"
#include "cli/engine_run.h"
#include "cli/terminal_messages.h"
#include "cli/output.h"
#include "disk/disk_rules.h"
#include "disk/physical_disk.h"
#include "format/bad_sector_map.h"
#include "format/header_file.h"
#include "format/packed_block.h"
#include "format/set_digests.h"
#include "format/set_files.h"
#include "format/source_disk.h"
#include "engine/backup_resume.h"
#include "engine/data_file.h"
#include "ui/translation.h"
#include "util/file_io.h"
#include "util/path.h"
#include "util/system_error.h"

namespace kiroda::cli {

namespace {

namespace fs = std::filesystem;

// The files of a set: its header and data files, the program copy and the
// side files, each under its own or its temporary name.
bool is_set_file(const std::string& name) {
    return set_file_kind_of(name.c_str()) != set_file_kind::none;
}

// The layout needs --force: a GPT krdtool's checks refuse, or what the
// wizard's rules refuse. False after a message.
bool forced_layout(const std::string& reason, const std::string& source, bool force,
                   std::FILE* err) {
    if (!force) {
        print_message(
            err,
            "%s: %s\n"
            "ディスク全体をそのまま (セクタ単位で) バックアップしてよい場合は --force を付けて下さい。",
            reason.c_str(), source.c_str());
        return false;
    }
    print_message(err, "注意: %s (--force によりディスク全体をバックアップします): %s",
                  reason.c_str(), source.c_str());
    return true;
}

// Sector 0 does not read. A failing disk may have lost it first: a rescue
// keeps it as zeros in the map, the rest of the disk as it reads.
bool unreadable_sector0(const std::string& source, bool force, bool rescue, std::FILE* err) {
    const std::string reason = system_reason(take_system_error());
    if (rescue && force) {
        print_message(err,
                      "注意: 元ディスクの先頭セクタ (MBR) を読めません: %s%s\n"
                      "--rescue --force により、ゼロとして KRDMAP.TXT に記録して続けます。"
                      "復旧したディスクには、直すまでパーテーションテーブルがありません。",
                      source.c_str(), reason.c_str());
        return true;
    }
    print_message(err, "元ディスクの先頭セクタ (MBR) を読めません: %s%s", source.c_str(),
                  reason.c_str());
    return false;
}

}  // namespace

bool source_acceptable(const disk_record& record, const gpt_layout& gpt, const std::string& source,
                       bool force, bool rescue, std::FILE* err) {
    if (record.sector0_unreadable) return unreadable_sector0(source, force, rescue, err);
    // A GPT is krdtool's to judge: the wizard refuses every one.
    if (gpt.state == gpt_state::valid) return true;
    if (gpt.state != gpt_state::none)
        return forced_layout(localized(gpt_state_sentence(gpt.state)), source, force, err);
    // The wizard's rules for an MBR disk; 4,096-byte sectors are krdtool's.
    disk_record as_512 = record;
    if (record.bytes_per_sector == 4096) as_512.bytes_per_sector = static_cast<int>(kSectorBytes);
    const disk_verdict verdict = source_disk_verdict(as_512);
    const std::string reason = own_verdict_words(verdict.message);
    if (verdict.verdict == disk_usability::with_reservation) {
        // Usable with a warning: the wizard shows the warning, so does krdtool.
        print_message(err, "注意: %s: %s", reason.c_str(), source.c_str());
        return true;
    }
    if (verdict.usable()) return true;
    const bool media_ok = record.media_type == kMediaFixed || record.media_type == kMediaRemovable;
    if (as_512.bytes_per_sector != static_cast<int>(kSectorBytes) || !media_ok) {
        print_message(err, "%s: %s", reason.c_str(), source.c_str());
        return false;
    }
    // What is left is the partition layout: no MBR signature, none defined.
    return forced_layout(reason, source, force, err);
}

std::string mounted_at(const std::string& path, bool writable_only, const std::string& mountinfo,
                       const std::string& sys_root) {
    struct stat src {};
    if (::stat(path.c_str(), &src) != 0) return "";
    std::ifstream in(mountinfo);
    std::string line;
    while (std::getline(in, line)) {
        // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue"
        std::istringstream fields(line);
        std::string id, parent, numbers, root, point, options;
        if (!(fields >> id >> parent >> numbers >> root >> point >> options)) continue;
        bool rw = false;
        std::istringstream opts(options);
        for (std::string o; std::getline(opts, o, ',');) rw = rw || o == "rw";
        unsigned maj = 0, min = 0;
        char colon = 0;
        std::istringstream dev_text(numbers);
        if ((writable_only && !rw) || !(dev_text >> maj >> colon >> min) || colon != ':' ||
            maj == 0)
            continue;
        // The path itself, a partition of it, or an image it is.
        if (lies_within(storage_under(makedev(maj, min), sys_root), storage_of(src, sys_root)))
            return point;
    }
    return "";
}

bool mounted_writable(const std::string& source, const std::string& mountinfo,
                      const std::string& sys_root) {
    return !mounted_at(source, true, mountinfo, sys_root).empty();
}

std::vector<std::string> set_files_in(const std::string& folder, std::vector<std::string>* others) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (is_set_file(name) && entry.is_regular_file(error)) {
            files.push_back(name);
        } else if (others != nullptr) {
            others->push_back(name);
        }
    }
    return files;
}

bool holds_finished_set(const std::string& folder) {
    return set_is_finished(folder.c_str());
}

bool may_empty_set_folder(const std::string& folder, std::vector<std::string>* files,
                          std::FILE* err) {
    if (holds_finished_set(folder)) {
        print_message(err,
                      "バックアップ先には完成したバックアップデータがあるため、何も削除しません。"
                      "別のフォルダを指定して下さい: %s",
                      folder.c_str());
        return false;
    }
    std::vector<std::string> others;
    *files = set_files_in(folder, &others);
    if (!others.empty()) {
        print_message(
            err,
            "バックアップ先のフォルダにはバックアップデータ以外のもの (%s など) があるため、"
            "何も削除しません。空のフォルダを指定して下さい: %s",
            others.front().c_str(), folder.c_str());
        return false;
    }
    return true;
}

bool remove_set_files(const std::string& folder, const std::vector<std::string>& files,
                      std::FILE* err) {
    for (const std::string& name : files) {
        std::error_code error;
        fs::remove(fs::path(folder) / name, error);
        if (error) {
            print_message(err, "バックアップ先の %s を削除できません: %s", name.c_str(),
                          error.message().c_str());
            return false;
        }
    }
    if (files.size() == 1) {
        print_message(err, "以前のバックアップデータのファイル %s を削除しました: %s",
                      files.front().c_str(), folder.c_str());
    } else if (!files.empty()) {
        print_message(err, "以前のバックアップデータのファイル %zu 個を削除しました: %s",
                      files.size(), folder.c_str());
    }
    return true;
}

}  // namespace kiroda::cli
