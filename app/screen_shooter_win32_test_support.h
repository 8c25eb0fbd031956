// For kiroda_screens: takes the pictures of the pages in app/screen_pages_test_support.h
// through tools/screenshots, which captures the screen when it reads
// "ready NAME" and answers with a line once it has.
#pragma once

#include <windows.h>

#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace kiroda {

class screen_shooter {
  public:
    // Without `pictures`, shoot only checks each page (a walk of the pages,
    // as a test under Wine does it with no one to take pictures).
    explicit screen_shooter(bool pictures) : pictures_(pictures) {}

    // Pictures `page` as the row `name`: first checks the page shows what
    // the row expects (a message box's text, the progress dialog's status
    // line); a page that does not is reported and not pictured. Serialized:
    // the script thread and the paused worker never ask at once.
    void shoot(const char* name, HWND page);

    // The rows never pictured and the pages that did not show what their
    // row expects, each reported on standard error; true when there are none.
    bool all_taken() const;

  private:
    const bool pictures_;
    mutable std::mutex lock_;
    std::set<std::string> taken_;
    std::vector<std::string> wrong_;
};

// A stage of the progress dialog pictured while its worker waits: when the
// status line becomes `status` (on_detail false), or when the detail line
// is first set under it (on_detail true: its figures are then current).
struct stage_picture {
    const char* status;
    const char* name;
    bool on_detail;
};

// Holds the worker of a progress dialog at each stage of `stages` until it
// is pictured, from the calling thread (the one that runs the dialogs) on.
// The worker waits in its SetDlgItemTextA for the dialog's thread, which
// keeps painting while the picture is taken.
class stage_pictures {
  public:
    stage_pictures(screen_shooter& shooter, std::vector<stage_picture> stages);
    ~stage_pictures();
    stage_pictures(const stage_pictures&) = delete;
    stage_pictures& operator=(const stage_pictures&) = delete;

    // The stages not reached.
    const std::vector<stage_picture>& left() const { return stages_; }

  private:
    static LRESULT CALLBACK after_message(int code, WPARAM wparam, LPARAM lparam);
    void text_set(HWND control);

    screen_shooter& shooter_;
    std::vector<stage_picture> stages_;
    HHOOK hook_ = nullptr;
};

}  // namespace kiroda
