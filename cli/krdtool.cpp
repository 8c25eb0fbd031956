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
     kiroda::cli::run_disks_command,
     "例: krdtool disks /dev/sdb disk.img\n"},
    {"backup", "[--force] [--rescue] SOURCE SETDIR",
     "ディスク (ブロックデバイスまたはイメージファイル) を新しいバックアップデータ SETDIR "
     "にバックアップします (SETDIR がなければ作ります)。",
     kiroda::cli::run_backup_command,
     "オプション:\n"
     "  --rescue  読めないセクタを 0 で埋めて続けます (KRDMAP.TXT に記録)\n"
     "  --force   GPT や MBR のないディスクもディスク全体をバックアップします。\n"
     "            SETDIR に未完成のバックアップの残りがあれば削除してから始めます\n"
     "例: krdtool backup --rescue /dev/sdb /mnt/usb/pc1\n"},
    {"verify", "[--against DISK] SETDIR",
     "バックアップデータのデータテスト: すべてのブロックを読み込み、展開し、検査します。",
     kiroda::cli::run_verify_command,
     "オプション:\n"
     "  --against DISK  ディスクまたはイメージファイルとも比べ、最初に異なるセクタを示します\n"
     "例: krdtool verify --against /dev/sdb /mnt/usb/pc1\n"},
    {"restore", "[--force] [--no-readback] SETDIR TARGET",
     "バックアップデータを空のディスクまたはイメージファイルに復旧します "
     "(イメージファイルがなければデータの大きさで作ります)。MBR は最後に書き込みます。",
     kiroda::cli::run_restore_command,
     "オプション:\n"
     "  --force        データのあるイメージファイルや、ファイルシステムのあるディスクにも復旧します\n"
     "  --no-readback  MBR を書く前の読み戻し確認をしません\n"
     "例: krdtool restore /mnt/usb/pc1 /dev/sdc\n"},
    {"info", "SETDIR",
     "ヘッダファイルの内容、データファイルとブロック、プログラムのコピーの有無を表示します。",
     kiroda::cli::run_info_command,
     "例: krdtool info /mnt/usb/pc1\n"},
};

}  // namespace

int main(int argc, char** argv) {
    return kiroda::cli::dispatch(kCommands, argc, argv, stdout, stderr);
}
