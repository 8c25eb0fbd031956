// krdtool: backs up, tests and restores disks and image files with KIRODA
// backup sets, and shows what the wizard would think of a disk.
#include <cstdio>

#include "cli/command.h"
#include "cli/disks_command.h"
#include "cli/dispatch.h"
#include "cli/set_commands.h"

namespace {

// One line per command; each command is a file of its own.
constexpr kiroda::cli::command kCommands[] = {
    {"disks", "[PATH...]",
     "このマシンのディスク (または指定のデバイスとイメージファイル) の大きさ、"
     "セクタサイズ、パーテーション、メディアと、"
     "元ディスク・復旧先ディスクとしての判定を表示します。",
     kiroda::cli::run_disks_command},
    {"backup", "SOURCE SETDIR",
     "ディスク (ブロックデバイスまたはイメージファイル) を新しいバックアップデータ SETDIR "
     "にバックアップします (SETDIR がなければ作ります)。",
     kiroda::cli::run_backup_command},
    {"verify", "SETDIR",
     "バックアップデータのデータテスト: すべてのブロックを読み込み、展開し、検査します。",
     kiroda::cli::run_verify_command},
    {"restore", "SETDIR TARGET",
     "バックアップデータを空のディスクまたはイメージファイルに復旧します "
     "(イメージファイルがなければデータの大きさで作ります)。MBR は最後に書き込みます。",
     kiroda::cli::run_restore_command},
    {"info", "SETDIR",
     "ヘッダファイルの内容、データファイルとブロック、プログラムのコピーの有無を表示します。",
     kiroda::cli::run_info_command},
};

}  // namespace

int main(int argc, char** argv) {
    return kiroda::cli::dispatch(kCommands, argc, argv, stdout, stderr);
}
