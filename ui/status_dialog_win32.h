// The small three-line status dialogs: template KR2 (the shutdown countdown
// and the progress of backup, data test and restore) and template NP1 (the
// zero fill). Each has a status line (101), a detail line (102) and one push
// button (301) whose texts are set at run time.
//
// The dialog procedure is shared; what a dialog does is a handler:
//
//     struct my_handler : status_dialog_handler { ... };
//     my_handler h;
//     const INT_PTR result = run_status_dialog(instance, owner, kr2_look(), h);
//
// Button 301, Esc and the close command all reach on_stop. A handler ends
// the dialog with EndDialog (from its own thread or a worker's).
#pragma once

#include <windows.h>

#include "res/resource_ids.h"

namespace kiroda {

constexpr int kStatusLineId = KRD_ID_STATUS_LINE;
constexpr int kDetailLineId = KRD_ID_DETAIL_LINE;
constexpr int kStatusButtonId = KRD_ID_STATUS_BUTTON;

struct status_dialog_look {
    const char* template_name;  // "KR2" or "NP1"
    const char* caption;        // replaces the template's title
    bool hatched;               // the program's hatched background behind transparent text
};

// KR2 with the program caption and the hatched look.
status_dialog_look kr2_look();

class status_dialog_handler {
  public:
    virtual ~status_dialog_handler() = default;
    // WM_INITDIALOG, after the icon and the caption are in place.
    virtual void on_init(HWND dialog) = 0;
    // Button 301, Esc (IDCANCEL) or the close command.
    virtual void on_stop(HWND dialog) = 0;
    virtual void on_timer(HWND /*dialog*/, UINT_PTR /*timer_id*/) {}
};

// Runs the dialog modally and returns its result (-1 when it could not be
// created). A hatched dialog's background brush is released afterwards, as
// every dialog that shares it expects.
INT_PTR run_status_dialog(HINSTANCE instance, HWND owner, const status_dialog_look& look,
                          status_dialog_handler& handler);

// The dialog's texts; safe to call from a worker thread while the dialog's
// own thread runs its message loop.
void set_status_line(HWND dialog, const char* text);
void set_detail_line(HWND dialog, const char* text);
void set_button_text(HWND dialog, const char* text);

}  // namespace kiroda
