#!/usr/bin/env bash
# Tests res/krdtool.bash-completion: for every case of the table below it
# fills COMP_LINE, COMP_POINT, COMP_WORDS and COMP_CWORD as bash does, calls
# _krdtool and compares COMPREPLY (as a sorted list) and whether the
# completion asked bash to treat the words as file names. Runs the table
# with plain bash and, when the bash-completion package is installed, once
# more with its _init_completion; each with bash's default COMP_WORDBREAKS
# and with one that lacks ':', '=' and '@' (bash-completion itself takes
# '@' out). Prints every failing case; exits 1 if any.
#
#   bash res/krdtool_completion_test.sh
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
completion=$here/krdtool.bash-completion
bash_completion_script=${BASH_COMPLETION_SCRIPT:-/usr/share/bash-completion/bash_completion}

# The machine's own block devices never show: these stand for them.
export KRDTOOL_COMPLETION_DEVICES='/dev/sda /dev/sdb /dev/nvme0n1 /dev/loop3'

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sets/pc1" "$work/sets/pc2" "$work/sets/pc@home" "$work/sets/v=1" "$work/my dir" \
    "$work/by-path"
touch "$work/disk.img" "$work/notes.txt" "$work/-odd.img" "$work/sets/readme.txt" \
    "$work/by-path/pci-0000:00:1f.2-ata-1" "$work/by-path/pci-0000:00:1f.2-ata-2"
cd "$work" || exit 1

# One case a line: name|command line with ^ at the cursor|filenames or -|
# the expected words[|the expected words when ':', '=' and '@' do not break
# words, if they differ]. Words are separated by blanks ("\ " is a blank
# inside a word); {devices} stands for the four devices above, {dirs:P} for
# the folders whose path starts with P (found here by globbing), {files} for
# every name in the test folder. The line is taken as it is, blanks
# included. Where bash splits a word at ':', '=' or '@', it replaces only
# the end of it: the words expected are that end.
cases='
first word, nothing typed|krdtool ^|-|backup disks get help info ls mount restore verify --help --version
first word, a prefix|krdtool re^|-|restore
first word, an option|krdtool --^|-|--help --version
nothing after --version|krdtool --version ^|-|
nothing after an unknown command|krdtool frob ^|-|
backup options from --r|krdtool backup --r^|-|--rescue --resume
backup options not given yet|krdtool backup --rescue --r^|-|--resume
backup options after its operands|krdtool backup /dev/sda sets/pc1 --^|-|--dry-run --force --json --no-readback --progress=json --quiet --rescue --resume --used-only --yes --help
restore options|krdtool restore --^|-|--dry-run --fit --force --json --no-readback --progress=json --quiet --yes --help
help takes a command|krdtool help re^|-|restore
disks options from a dash|krdtool disks -^|-|--json --help
info options|krdtool info --^|-|--json --help
verify options|krdtool verify --^|-|--against --fit --help --json --progress=json --quiet --yes
verify --against given once|krdtool verify --against /dev/sda --a^|-|
verify --against in /dev|krdtool verify --against /dev/^|filenames|{devices} {dirs:/dev/}
verify --against in /dev, a prefix|krdtool verify --against /dev/nv^|filenames|/dev/nvme0n1 {dirs:/dev/nv}
verify --against, nothing typed|krdtool verify --against ^|filenames|{devices} {files}
verify --against, a file|krdtool verify --against di^|filenames|disk.img
verify SETDIR after --against DISK|krdtool verify --against /dev/sda ^|filenames|{dirs:}
info completes folders only|krdtool info ^|filenames|{dirs:}
info, a prefix|krdtool info s^|filenames|sets
info, inside a folder|krdtool info sets/^|filenames|sets/pc1 sets/pc2 sets/pc@home sets/v=1
info after --json|krdtool info --json ^|filenames|{dirs:}
info takes one operand|krdtool info sets/pc1 ^|-|
info, an open double quote|krdtool info "my^|filenames|my\ dir
info, a backslashed blank|krdtool info my\ ^|filenames|my\ dir
info, cursor inside a word|krdtool info se^ttings|filenames|sets
info, a name with @|krdtool info sets/pc@h^|filenames|@home|sets/pc@home
info, a name with =|krdtool info sets/v=^|filenames|1|sets/v=1
backup SOURCE|krdtool backup ^|filenames|{devices} {files}
backup SOURCE in /dev|krdtool backup /dev/sd^|filenames|/dev/sda /dev/sdb {dirs:/dev/sd}
backup SETDIR|krdtool backup /dev/sda ^|filenames|{dirs:}
backup SETDIR among options|krdtool backup --force /dev/sda --rescue s^|filenames|sets
backup takes two operands|krdtool backup /dev/sda sets/pc1 ^|-|
backup options, cursor before an operand|krdtool backup --r^ /dev/sda|-|--rescue --resume
backup SOURCE after --|krdtool backup -- -^|filenames|-odd.img
backup SETDIR after a path with colons|krdtool backup by-path/pci-0000:00:1f.2-ata-1 s^|filenames|sets
restore SETDIR|krdtool restore ^|filenames|{dirs:}
restore SETDIR after --|krdtool restore -- ^|filenames|{dirs:}
restore TARGET|krdtool restore sets/pc1 ^|filenames|{devices} {files}
restore TARGET in /dev|krdtool restore --yes sets/pc1 /dev/l^|filenames|/dev/loop3 {dirs:/dev/l}
restore TARGET after --|krdtool restore -- sets/pc1 -^|filenames|-odd.img
restore takes two operands|krdtool restore sets/pc1 disk.img ^|-|
mount options|krdtool mount --^|-|--files --foreground --help
ls options|krdtool ls -^|-|-l -R --json --lost --help
get options|krdtool get --^|-|--force --lost-as-zeros --help
mount SETDIR|krdtool mount ^|filenames|{dirs:}
mount MOUNTPOINT is a folder|krdtool mount --foreground sets/pc1 ^|filenames|{dirs:}
mount takes two operands|krdtool mount sets/pc1 /tmp ^|-|
disks PATH|krdtool disks ^|filenames|{devices} {files}
disks, more PATHs|krdtool disks /dev/sda /dev/sd^|filenames|/dev/sda /dev/sdb {dirs:/dev/sd}
disks PATH after --json|krdtool disks --json /dev/n^|filenames|/dev/nvme0n1 {dirs:/dev/n}
disks PATH with colons|krdtool disks by-path/pci-0000:00:1f.2-ata-^|filenames|1f.2-ata-1 1f.2-ata-2|by-path/pci-0000:00:1f.2-ata-1 by-path/pci-0000:00:1f.2-ata-2
disks PATH ending in a colon|krdtool disks by-path/pci-0000:00:^|filenames|1f.2-ata-1 1f.2-ata-2|by-path/pci-0000:00:1f.2-ata-1 by-path/pci-0000:00:1f.2-ata-2
'

# Records what the completion asks of compopt (a builtin that works only
# while bash completes).
# shellcheck disable=SC2317
compopt() { compopt_said+=" $*"; }

# Fills COMP_LINE, COMP_POINT, COMP_WORDS and COMP_CWORD for $1, whose ^ is
# the cursor, as bash does: words at blanks outside quotes, and runs of ':',
# '=' and '@' (those in COMP_WORDBREAKS) outside quotes as words of their
# own; a cursor after a blank gets an empty word.
set_line() {
    local before=${1%%^*} after=${1#*^}
    COMP_LINE=$before$after
    COMP_POINT=${#before}
    COMP_WORDS=()
    COMP_CWORD=-1
    local -a starts=()
    local i c quote='' token='' type='' start=0 n=${#COMP_LINE} breaks=${COMP_WORDBREAKS//[^:=@]/}
    for ((i = 0; i <= n; i++)); do
        c=${COMP_LINE:i:1}
        if ((i < n)) && [[ -n $quote ]]; then
            token+=$c
            if [[ $quote == '"' && $c == "\\" ]]; then
                token+=${COMP_LINE:i+1:1}
                ((i++))
            elif [[ $c == "$quote" ]]; then
                quote=''
            fi
            continue
        fi
        local next=w
        if ((i == n)) || [[ $c == [[:blank:]] ]]; then
            next=''
        elif [[ -n $breaks && $c == [$breaks] ]]; then
            next=b
        fi
        if [[ -n $token && $next != "$type" ]]; then
            COMP_WORDS+=("$token")
            starts+=("$start")
            token=''
        fi
        [[ -z $next ]] && continue
        [[ -z $token ]] && start=$i
        type=$next
        token+=$c
        if [[ $c == "\\" ]]; then
            token+=${COMP_LINE:i+1:1}
            ((i++))
        elif [[ $c == "'" || $c == '"' ]]; then
            quote=$c
        fi
    done
    for ((i = 0; i < ${#COMP_WORDS[@]}; i++)); do
        if ((starts[i] <= COMP_POINT && COMP_POINT <= starts[i] + ${#COMP_WORDS[i]})); then
            COMP_CWORD=$i
            return
        fi
        if ((starts[i] > COMP_POINT)); then
            COMP_WORDS=("${COMP_WORDS[@]:0:i}" '' "${COMP_WORDS[@]:i}")
            COMP_CWORD=$i
            return
        fi
    done
    COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
}

# The expected words of a case, one a line, placeholders replaced.
expected_words() {
    local -a words devices
    local word path
    # Without -r: "\ " is a blank inside a word.
    # shellcheck disable=SC2162
    read -a words <<<"$1"
    read -r -a devices <<<"$KRDTOOL_COMPLETION_DEVICES"
    for word in ${words[@]+"${words[@]}"}; do
        case $word in
            '{devices}') printf '%s\n' "${devices[@]}" ;;
            '{files}')
                for path in * .[!.]*; do [[ -e $path ]] && printf '%s\n' "$path"; done
                ;;
            '{dirs:'*'}')
                word=${word#'{dirs:'}
                word=${word%'}'}
                for path in "$word"*/; do [[ -d $path ]] && printf '%s\n' "${path%/}"; done
                ;;
            *) printf '%s\n' "$word" ;;
        esac
    done
}

# Runs the table with COMP_WORDBREAKS as $2.
run_table() {
    local mode=$1 failed=0 count=0 row name line filenames expected unbroken
    COMP_WORDBREAKS=$2
    while IFS= read -r row; do
        [[ -z $row ]] && continue
        IFS='|' read -r name line filenames expected unbroken <<<"$row"
        # A fifth field: the words for when ':', '=' and '@' do not break.
        [[ $row == *'|'*'|'*'|'*'|'* && $COMP_WORDBREAKS != *[:=@]* ]] && expected=$unbroken
        count=$((count + 1))
        set_line "$line"
        COMPREPLY=()
        compopt_said=''
        _krdtool krdtool "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        local got want said=-
        got=$(printf '%s\n' ${COMPREPLY[@]+"${COMPREPLY[@]}"} | LC_ALL=C sort)
        want=$(expected_words "$expected" | LC_ALL=C sort)
        [[ $compopt_said == *'-o filenames'* ]] && said=filenames
        if [[ $got != "$want" || $said != "$filenames" ]]; then
            failed=$((failed + 1))
            printf 'FAIL (%s) %s: %s\n' "$mode" "$name" "$line"
            printf '  expected: %s [%s]\n' "$(tr '\n' ' ' <<<"$want")" "$filenames"
            printf '  got:      %s [%s]\n' "$(tr '\n' ' ' <<<"$got")" "$said"
        fi
    done <<<"$cases"
    printf '%s: %d cases, %d failed\n' "$mode" "$count" "$failed"
    ((count > 0 && failed == 0))
}

default_breaks=$' \t\n"\'@><=;|&(:'
unbroken_breaks=$' \t\n"\'><;|&('
status=0

# Each mode in a subshell of its own, so that nothing one loads reaches the
# other.
(
    # shellcheck source=/dev/null
    source "$completion" || exit 1
    declare -F _init_completion >/dev/null && unset -f _init_completion
    failed=0
    run_table 'plain bash' "$default_breaks" || failed=1
    run_table 'plain bash, no : = @ breaks' "$unbroken_breaks" || failed=1
    exit "$failed"
) || status=1

if [[ -r $bash_completion_script ]]; then
    (
        # shellcheck source=/dev/null
        source "$bash_completion_script" || exit 1
        declare -F _init_completion >/dev/null || { echo "no _init_completion in $bash_completion_script"; exit 1; }
        # Keep the recorder, whatever bash-completion defined.
        # shellcheck disable=SC2317
        compopt() { compopt_said+=" $*"; }
        # shellcheck source=/dev/null
        source "$completion" || exit 1
        failed=0
        run_table 'with bash-completion' "$default_breaks" || failed=1
        run_table 'with bash-completion, no : = @ breaks' "$unbroken_breaks" || failed=1
        exit "$failed"
    ) || status=1
else
    echo "with bash-completion: skipped ($bash_completion_script is not installed)"
fi

exit "$status"
