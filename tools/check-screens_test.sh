#!/usr/bin/env bash
# Tests tools/check-screens on a copy of the tree: it passes as the tree is,
# and fails for each change of the table below, each a page that would go
# unpictured or a picture that went missing. Prints every case that does
# not; exits 1 if any.
#
#   bash tools/check-screens_test.sh
set -u

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One case a line: name|file|perl substitution applied to it
cases='a new question|app/command_steps.cpp|s/^(\}  \/\/ namespace kiroda)/int ask_more(window_handle o) { return say(o, kMbOkCancel, kNewQuestion); }\n$1/m
a new question over lines|engine/backup_engine.cpp|s/^(\}  \/\/ namespace kiroda)/int ask_more(progress& p) {\n    return say(p.owner(),\n               kMbOk | kMbOkCancel, kOtherQuestion, 1);\n}\n$1/m
a question of the set reader|engine/set_reader.cpp|s/texts_\.missing_file\(\)/texts_.another_file()/
a new stage|engine/verify_engine.cpp|s/p\.set_status\("データテスト中"\);/p.set_status("データテスト中");\n    p.set_status("比較中");/
a new plain message|app/command_steps.cpp|s/^(\}  \/\/ namespace kiroda)/constexpr const char* kNewPlain = "新しい %d";\nvoid tell_more(window_handle o) { say_plain(o, kMbOk, kNewPlain, 1); }\n$1/m
a message whose text is a literal|app/command_steps.cpp|s/^(\}  \/\/ namespace kiroda)/void tell_more(window_handle o) { say_plain(o, kMbOk, "新しい %d", 1); }\n$1/m
a new failure message|engine/restore_engine.cpp|s/^(constexpr enciphered_text kSeekDataFailed)/constexpr enciphered_text kNewFailure{"新しいメッセージ %d"};\n$1/m
a message moved to the gallery|app/screen_pages_test_support.h|s/"tell:set_read_back.kNotKept"/"tell:set_read_back.kNotKept2"/
a new dialog template|res/kiroda.rc|s/^(KR2 DIALOG)/KRNEW DIALOG 10, 50, 146, 70\nBEGIN\nEND\n\n$1/m
a new closing message|app/startup.cpp|s/(return startup_texts::kCompleted;)/$1\n        case closing_action::power_off:\n            return startup_texts::kPoweredOff;/
a picture gone|docs/screenshots/backup-read-back-KR2.png|s/.+//s
a picture not listed|docs/screenshots/README.md|s/\(backup-rescue-question\.png\)/(gone.png)/
a page gone|app/screen_pages_test_support.h|s/"ask:kOfferResume"/"ask:kOfferToResume"/
a row twice|app/screen_pages_test_support.h|s/"source-disk-KRMOTO"/"source-disk-refused-KRMOTO"/'

fresh() {
    rm -rf "$work/tree"
    mkdir -p "$work/tree"
    (cd "$root" && cp -r app engine format ui zerofill res docs "$work/tree/")
}

failed=0
fresh
if ! out=$("$root/tools/check-screens" "$work/tree" 2>&1); then
    echo "check-screens_test: the tree as it is fails:"
    echo "$out"
    failed=1
fi
while IFS='|' read -r name file change; do
    fresh
    perl -0777 -pi -e "$change" "$work/tree/$file"
    if cmp -s "$root/$file" "$work/tree/$file"; then
        echo "check-screens_test: $name: the change did not apply to $file"
        failed=1
    elif "$root/tools/check-screens" "$work/tree" >/dev/null 2>&1; then
        echo "check-screens_test: $name: check-screens passes"
        failed=1
    fi
done <<<"$cases"
exit $failed
