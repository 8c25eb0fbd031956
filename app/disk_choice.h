// What the two disk selection dialogs (source disk before a backup, target
// disk before a restore) show and decide, as plain functions over the disk
// table, so every step is tested without a window.
//
// The dialog reads the disk number from its combo box every 500 ms (a poll)
// and shows the fields, the verdict and the state of "次へ >" for that
// number. The disk the dialog ends with is always the disk it shows: a
// number that is not in the table shows an empty record, which no rule
// accepts, and "次へ >" first re-reads the box, and when it names another
// disk than the one shown, shows that disk and stays open.
#pragma once

#include <cstdint>

#include "disk/disk_rules.h"
#include "disk/disk_survey.h"

namespace kiroda {

enum class disk_role { source, target };

// What the dialog shows for one disk.
struct disk_display {
    disk_verdict verdict;
    disk_field_texts fields{};
    bool next_enabled = false;  // a usable verdict, with or without reservation
};

disk_display evaluate_disk(disk_role role, const disk_record& record);

// An open disk dialog: the disk number whose fields are shown, and what is
// shown for it.
struct disk_choice {
    disk_role role = disk_role::source;
    const disk_table* table = nullptr;
    int selection = kNoDisk;
    disk_display shown;
};

// Sets up the choice for a dialog that opens: the first entry of the table
// (an empty record when the table is empty). Returns the number the box
// starts with: that entry's number, or 0.
int start_disk_choice(disk_choice& choice, disk_role role, const disk_table& table);

// What a poll or "次へ >" asks of the window.
struct disk_choice_step {
    bool show = false;       // rewrite the fields from choice.shown
    bool reset_box = false;  // set the box text back to "0"
    bool end = false;        // end the dialog with choice.selection ("次へ >" only)
};

// A poll: `box_text` is the combo box's text. When it names a number other
// than the selection, that number becomes the selection and is shown (an
// empty record, and the box reset to "0", when it is not in the table).
disk_choice_step poll_disk_choice(disk_choice& choice, const char* box_text);

// "次へ >": polls first; the dialog ends only when the box still names the
// disk shown and the rules accept it.
disk_choice_step press_next(disk_choice& choice, const char* box_text);

// The box text as a disk number, the way the dialog manager reads an
// unsigned number: leading blanks skipped, digits up to the first other
// character; no digits, or a value beyond the signed range, read as 0.
int read_disk_number(const char* text);

// Colour of the verdict message, as a Windows COLORREF (0x00BBGGRR): black
// for 2, dark blue for 1, red for anything else.
std::uint32_t verdict_colour(disk_usability verdict);

}  // namespace kiroda
