#include "app/countdown_win32.h"

#include "app/countdown.h"
#include "ui/status_dialog_win32.h"

namespace kiroda {

namespace {

constexpr UINT_PTR kCountdownTimerId = 3;
unsigned g_tick_ms = kCountdownTickMs;

class countdown_handler : public status_dialog_handler {
  public:
    void on_init(HWND dialog) override {
        set_status_line(dialog, kCountdownHeadline);
        show_seconds_left(dialog);
        set_button_text(dialog, kCountdownCancel);
        SetTimer(dialog, kCountdownTimerId, g_tick_ms, nullptr);
    }

    void on_timer(HWND dialog, UINT_PTR timer_id) override {
        if (timer_id != kCountdownTimerId || ended_) return;
        const bool last = state_.tick();
        show_seconds_left(dialog);
        if (last) end(dialog, 1);
    }

    void on_stop(HWND dialog) override {
        if (!ended_) end(dialog, 0);
    }

  private:
    void show_seconds_left(HWND dialog) {
        char text[32];
        format_seconds_left(text, sizeof text, state_.seconds_left());
        set_detail_line(dialog, text);
    }

    // Timer messages already queued, or a click after the last tick, must not
    // change a result that is already decided.
    void end(HWND dialog, int result) {
        ended_ = true;
        KillTimer(dialog, kCountdownTimerId);
        EndDialog(dialog, result);
    }

    countdown state_;
    bool ended_ = false;
};

}  // namespace

int run_shutdown_countdown(HINSTANCE instance, HWND owner) {
    countdown_handler handler;
    const INT_PTR result = run_status_dialog(instance, owner, kr2_look(), handler);
    // A dialog that could not open cannot have run out: nothing is switched off.
    return result == 1 ? 1 : 0;
}

void set_countdown_tick_ms_for_tests(unsigned milliseconds) {
    g_tick_ms = milliseconds != 0 ? milliseconds : kCountdownTickMs;
}

}  // namespace kiroda
