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
     "[--dry-run] [-f] [--json] [--no-readback] [--progress=json] [-q] [--rescue] [--resume] "
     "[--used-only] [-y] SOURCE SETDIR",
     "ディスク (ブロックデバイスまたはイメージファイル) を新しいバックアップデータ SETDIR "
     "にバックアップします (SETDIR がなければ作ります)。",
     run_backup_command,
     "受け付けるディスク: パーテーションのある MBR のディスクと、主・予備ヘッダが正常で一致する\n"
     "GPT のディスク。論理セクタは 512 バイトでも 4096 バイトでもかまいません\n"
     "(KIRODA.EXE は 512 バイトセクタの MBR ディスクのみです)。\n"
     "オプション:\n"
     "  --dry-run      すべての確認をして予定を表示し、何も書き込みません (続けられれば 0 で終了)\n"
     "  --rescue       読めないセクタを 0 で埋めて続けます (KRDMAP.TXT に記録)\n"
     "  -f, --force    壊れた GPT、ハイブリッド MBR、MBR のないディスクもディスク全体を\n"
     "                 バックアップします。\n"
     "                 SETDIR に未完成のバックアップの残りがあれば削除してから始めます\n"
     "                 (--resume と一緒のときは何も削除しません)\n"
     "  --resume       SETDIR の未完成のバックアップを続けます (同じディスクで、最後の\n"
     "                 ブロックがディスクと一致するとき)。途中までのブロックは切り取って\n"
     "                 次のチャンクから続けます\n"
     "  --no-readback  書き込んだファイルをメディアから読み戻して確認しません。危険です:\n"
     "                 書き込んだ内容を保てないメディア (偽容量のカードや壊れかけの\n"
     "                 USB メモリ) でも「完了」になります\n"
     "  --used-only    ファイルシステムが使っていないブロックを読まずに 0 として保存します\n"
     "  -y, --yes      質問にはすべて「はい」と答えます (端末がなく --yes もなければ\n"
     "                 「いいえ」)。ただし読めないセクタを 0 で埋めて続けるのは --rescue を\n"
     "                 付けたときだけです。端末がなく --rescue もなければ、最初の読めない\n"
     "                 セクタで止まり、続けるコマンド (--resume --rescue) を表示します\n"
     "  -q, --quiet    進み具合を表示しません (エラーとまとめだけ)\n"
     "  --progress=json  進み具合を 1 行に 1 つの JSON オブジェクトで標準エラーに出力します\n"
     "  --json         まとめを JSON で標準出力に出力します\n"
     "例: krdtool backup --rescue /dev/sdb /mnt/usb/pc1\n"
     "    krdtool backup --resume --rescue /dev/sdb /mnt/usb/pc1\n"},
    {"verify", "[--against DISK [--fit]] [--json] [--progress=json] [-q] [-y] SETDIR",
     "バックアップデータのデータテスト: すべてのブロックを読み込み、展開し、検査します。",
     run_verify_command,
     "オプション:\n"
     "  --against DISK  ディスクまたはイメージファイルとも比べ、最初に異なるセクタを示します\n"
     "  --fit           --against のディスクが小さければ、その大きさまで比べます\n"
     "                  (その後ろのバックアップデータはすべて 0 でなければなりません)\n"
     "  -y, --yes       質問にはすべて「はい」と答えます\n"
     "  -q, --quiet    進み具合を表示しません (エラーとまとめだけ)\n"
     "  --progress=json  進み具合を 1 行に 1 つの JSON オブジェクトで標準エラーに出力します\n"
     "  --json         まとめを JSON で標準出力に出力します\n"
     "例: krdtool verify --against /dev/sdb /mnt/usb/pc1\n"},
    {"restore",
     "[--dry-run] [-f] [--fit] [--json] [--no-readback] [--progress=json] [-q] [-y] SETDIR TARGET",
     "バックアップデータを空のディスクまたはイメージファイルに復旧します "
     "(イメージファイルがなければデータの大きさで作ります)。MBR は最後に書き込みます。",
     run_restore_command,
     "復旧先は元ディスクと同じ論理セクタサイズのディスクだけです (イメージファイルは 512 バイト)。\n"
     "大きさの違うディスクでは、GPT の予備ヘッダをディスクの終わりに移して直します。\n"
     "オプション:\n"
     "  --dry-run      すべての確認をして予定を表示し、何も書き込みません (続けられれば 0 で終了)\n"
     "  -f, --force    パーテーション、ファイルシステム、0 でないデータのある復旧先にも\n"
     "                 復旧します。端末では装置名を入力して確かめます。端末がなければ\n"
     "                 --yes も要ります。マウントされた復旧先や、バックアップデータのある\n"
     "                 復旧先には決して書き込みません\n"
     "  --fit          バックアップデータより小さいディスクにも、すべてのパーテーションがその中で\n"
     "                 終わり、その後ろのデータがすべて 0 なら復旧します (GPT は終わりの予備\n"
     "                 ヘッダの場所を空けること)\n"
     "  --no-readback  MBR を書く前の読み戻し確認をしません\n"
     "  -y, --yes      質問にはすべて「はい」と答えます\n"
     "  -q, --quiet    進み具合を表示しません (エラーとまとめだけ)\n"
     "  --progress=json  進み具合を 1 行に 1 つの JSON オブジェクトで標準エラーに出力します\n"
     "  --json         まとめを JSON で標準出力に出力します\n"
     "例: krdtool restore /mnt/usb/pc1 /dev/sdc\n"},
    {"mount", "[--foreground] [--files] SETDIR MOUNTPOINT",
     "バックアップデータを読み取り専用のファイルシステムとして MOUNTPOINT にマウントします。"
     "disk.img はディスク全体、partN.img は各パーテーション (MBR と GPT) です。",
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
