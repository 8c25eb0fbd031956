#include "zerofill/zero_fill_dialog_win32.h"

#include <atomic>

#include "ui/stored_text.h"
#include "ui/worker_dialog_win32.h"
#include "zerofill/drive_volume_win32.h"
#include "zerofill/zero_fill_texts.h"

namespace kiroda {

namespace {

// Apart from the engines' flag: set before the worker starts, cleared by the
// stop button and when the worker ends.
std::atomic<int> g_zero_fill_run_flag{0};

constexpr unsigned kZeroFillStackSize = 6194304;

class dialog_screen : public zero_fill_screen {
  public:
    explicit dialog_screen(HWND dialog) : dialog_(dialog) {}
    void set_status(const char* text) override { set_status_line(dialog_, text); }
    void set_detail(const char* text) override { set_detail_line(dialog_, text); }
    window_handle owner() const override { return dialog_; }
    bool running() const override { return g_zero_fill_run_flag.load() != 0; }

  private:
    HWND dialog_;
};

}  // namespace

int run_zero_fill_dialog_on(char letter, const std::string& root, zero_fill_volume& volume,
                            HINSTANCE instance, HWND owner, const zero_fill_limits& limits) {
    // Deciphered now, on this thread: the worker must not share the stored
    // text buffer with a thread that might use it meanwhile.
    const std::string cannot_start = get_stored_text(zero_fill_texts::kCannotStart);
    worker_dialog_setup setup;
    setup.look = {"NP1", kNullpassCaption, false};
    setup.status = "ゼロクリヤ処理中。";
    setup.detail = "お待ちください。";
    setup.button = "キャンセル";
    setup.stack_size = kZeroFillStackSize;
    setup.run_flag = &g_zero_fill_run_flag;
    setup.start_failure_text = cannot_start.c_str();
    return run_worker_dialog(instance, owner, setup, [&](HWND dialog) {
        dialog_screen screen(dialog);
        return zero_fill_drive(letter, root, volume, screen, limits);
    });
}

int run_zero_fill_dialog(char letter, HINSTANCE instance, HWND owner) {
    const std::string root = std::string(1, letter) + ":\\";
    drive_volume volume(root);
    return run_zero_fill_dialog_on(letter, root, volume, instance, owner, zero_fill_limits{});
}

}  // namespace kiroda
