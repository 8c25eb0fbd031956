#include "cli/krdtool_commands.h"

#include "cli/disks_command.h"
#include "cli/set_commands.h"

namespace kiroda::cli {

namespace {

// One line per command; each command is a file of its own.
constexpr command kCommands[] = {
    {"disks", "[--json] [PATH...]",
     "このマシンのディスク (または指定のデバイスとイメージファイル) の大きさ、"
     "セクタサイズ、パーテーション、メディアと、"
     "元ディスク・復旧先ディスクとしての判定を表示します。",
     run_disks_command,
     "オプション:\n"
     "  --json  スクリプト向けに JSON で出力します (大きさはバイト単位の数値)\n"
     "例: krdtool disks /dev/sdb disk.img\n"},
    {"backup",
     "[--dry-run] [--force] [--no-readback] [--rescue] [--resume] [--used-only] [--yes] SOURCE "
     "SETDIR",
     "ディスク (ブロックデバイスまたはイメージファイル) を新しいバックアップデータ SETDIR "
     "にバックアップします (SETDIR がなければ作ります)。",
     run_backup_command,
     "オプション:\n"
     "  --dry-run      すべての確認をして予定を表示し、何も書き込みません (続けられれば 0 で終了)\n"
     "  --rescue       読めないセクタを 0 で埋めて続けます (KRDMAP.TXT に記録)\n"
     "  --force        GPT や MBR のないディスクもディスク全体をバックアップします。\n"
     "                 SETDIR に未完成のバックアップの残りがあれば削除してから始めます\n"
     "                 (--resume と一緒のときは何も削除しません)\n"
     "  --resume       SETDIR の未完成のバックアップを続けます (同じディスクで、最後の\n"
     "                 ブロックがディスクと一致するとき)。途中までのブロックは切り取って\n"
     "                 次のチャンクから続けます\n"
     "  --no-readback  書き込んだファイルをメディアから読み戻して確認しません。危険です:\n"
     "                 書き込んだ内容を保てないメディア (偽容量のカードや壊れかけの\n"
     "                 USB メモリ) でも「完了」になります\n"
     "  --used-only    ファイルシステムが使っていないブロックを読まずに 0 として保存します\n"
     "  --yes          質問にはすべて「はい」と答えます (端末がなく --yes もなければ\n"
     "                 キャンセル)。ただし読めないセクタを 0 で埋めて続けるのは --rescue を\n"
     "                 付けたときだけです\n"
     "例: krdtool backup --rescue /dev/sdb /mnt/usb/pc1\n"
     "    krdtool backup --resume --rescue /dev/sdb /mnt/usb/pc1\n"},
    {"verify", "[--against DISK [--fit]] [--yes] SETDIR",
     "バックアップデータのデータテスト: すべてのブロックを読み込み、展開し、検査します。",
     run_verify_command,
     "オプション:\n"
     "  --against DISK  ディスクまたはイメージファイルとも比べ、最初に異なるセクタを示します\n"
     "  --fit           --against のディスクが小さければ、その大きさまで比べます\n"
     "                  (その後ろのバックアップデータはすべて 0 でなければなりません)\n"
     "  --yes           質問にはすべて「はい」と答えます\n"
     "例: krdtool verify --against /dev/sdb /mnt/usb/pc1\n"},
    {"restore", "[--dry-run] [--force] [--fit] [--no-readback] [--yes] SETDIR TARGET",
     "バックアップデータを空のディスクまたはイメージファイルに復旧します "
     "(イメージファイルがなければデータの大きさで作ります)。MBR は最後に書き込みます。",
     run_restore_command,
     "オプション:\n"
     "  --dry-run      すべての確認をして予定を表示し、何も書き込みません (続けられれば 0 で終了)\n"
     "  --force        データのあるイメージファイルや、ファイルシステムのあるディスクにも復旧します\n"
     "  --fit          バックアップデータより小さいディスクにも、すべてのパーテーションがその中で\n"
     "                 終わり、その後ろのデータがすべて 0 なら復旧します\n"
     "  --no-readback  MBR を書く前の読み戻し確認をしません\n"
     "  --yes          質問にはすべて「はい」と答えます\n"
     "例: krdtool restore /mnt/usb/pc1 /dev/sdc\n"},
    {"mount", "[--foreground] [--files] SETDIR MOUNTPOINT",
     "バックアップデータを読み取り専用のファイルシステムとして MOUNTPOINT にマウントします。"
     "disk.img はディスク全体、partN.img は各パーテーションです。",
     run_mount_command,
     "復旧しなくても、ファイルを一つだけ取り出せます:\n"
     "  mount -o ro,loop MOUNTPOINT/part1.img /mnt\n"
     "読むブロックはどれも、データテストと同じく検査してから渡します。壊れたブロックを読むと\n"
     "入出力エラー (EIO) になります。読めなかったセクタ (KRDMAP.TXT) は 0 です。\n"
     "マウントし終えると戻ります。終えるには fusermount3 -u MOUNTPOINT\n"
     "オプション:\n"
     "  --foreground  マウントしている間は戻りません (Ctrl-C で終えます)。\n"
     "                読めないブロックを標準エラーに表示します\n"
     "  --files       パーテーションごとのフォルダ partN/ にそのファイルシステムのファイルを加えます\n"
     "例: krdtool mount /mnt/usb/pc1 /tmp/pc1\n"},
    {"info", "[--json] SETDIR",
     "ヘッダファイルの内容、データファイルとブロック、プログラムのコピーの有無を表示します。",
     run_info_command,
     "オプション:\n"
     "  --json  スクリプト向けに JSON で出力します (大きさはバイト単位の数値)\n"
     "例: krdtool info --json /mnt/usb/pc1\n"},
    {"ls", "[-l] [-R] [--lost] [--json] SETDIR [PART[:PATH]]",
     "PART がなければパーテーションの一覧 (番号、種類、ファイルシステム、大きさ、ラベル) を、"
     "あればそのパーテーションの PATH の下のファイルを表示します。",
     run_ls_command,
     "オプション:\n"
     "  -l      所有者と許可を加えます (ファイルシステムにあるとき)\n"
     "  -R      フォルダの中もすべて表示します\n"
     "  --lost  読めなかったセクタにデータがあるファイルだけを、失われたバイト数と表示します\n"
     "  --json  スクリプト向けに JSON で出力します\n"
     "削除されたファイルは表示しません。番号は mount の partN.img と同じです。\n"
     "例: krdtool ls -R /mnt/usb/pc1 1:/Users\n"},
    {"get", "[--force] [--lost-as-zeros] SETDIR PART:PATH [DEST]",
     "ファイルまたはフォルダ (中身ごと) をバックアップデータから DEST (省略時は今のフォルダ) "
     "に取り出します。更新日時も保ちます。",
     run_get_command,
     "読むブロックはどれも、データテストと同じく検査してから使います。壊れたブロックに\n"
     "あるファイルは書き込みません。\n"
     "オプション:\n"
     "  --force          すでにあるファイルを上書きします\n"
     "  --lost-as-zeros  読めなかったセクタにデータがあるファイルも、そこを 0 にして取り出します\n"
     "例: krdtool get /mnt/usb/pc1 1:/Users/taro/Documents ~/rescued\n"},
};

}  // namespace

std::span<const command> krdtool_commands() {
    return kCommands;
}

}  // namespace kiroda::cli
