// krdtool's commands over backup sets: backup, verify, restore, mount, info.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kiroda::cli {

[[nodiscard]] int run_backup_command(const std::vector<std::string>& args, std::FILE* out,
                                     std::FILE* err);
[[nodiscard]] int run_verify_command(const std::vector<std::string>& args, std::FILE* out,
                                     std::FILE* err);
[[nodiscard]] int run_restore_command(const std::vector<std::string>& args, std::FILE* out,
                                      std::FILE* err);
[[nodiscard]] int run_mount_command(const std::vector<std::string>& args, std::FILE* out,
                                    std::FILE* err);
[[nodiscard]] int run_info_command(const std::vector<std::string>& args, std::FILE* out,
                                   std::FILE* err);
// The files of a set's file systems (The Sleuth Kit reads them).
[[nodiscard]] int run_ls_command(const std::vector<std::string>& args, std::FILE* out,
                                 std::FILE* err);
[[nodiscard]] int run_get_command(const std::vector<std::string>& args, std::FILE* out,
                                  std::FILE* err);

// Disk numbers krdtool gives the devices and images it is handed.
constexpr int kSourceDiskNumber = 0;
constexpr int kTargetDiskNumber = 1;
constexpr int kCompareDiskNumber = 2;

}  // namespace kiroda::cli
