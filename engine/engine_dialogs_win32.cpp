#include "engine/engine_dialogs_win32.h"

#include <functional>

#include "ui/program.h"
#include "ui/stored_text.h"
#include "ui/worker_dialog_win32.h"
#include "engine/backup_engine.h"
#include "engine/restore_engine.h"
#include "engine/verify_engine.h"

namespace kiroda {

namespace {

// The engines' stack: their buffers are on the heap, but a worker that
// reserves what the program always reserved behaves the same on small
// rescue systems (and fails to start the same way when memory is short).
constexpr unsigned kEngineStackBytes = 40000000;

constexpr char kStopButton[] = "キャンセル";

constexpr enciphered_text kStartFailed{
    "処理を開始できません。\n(作業用のスレッドを作れません。メモリが足りない可能性があります)"};

// An engine's view of its KR2 dialog.
class dialog_progress : public progress {
  public:
    void set_status(const char* text) override { set_status_line(dialog, text); }
    void set_detail(const char* text) override { set_detail_line(dialog, text); }
    void set_button(const char* text) override { set_button_text(dialog, text); }
    window_handle owner() const override { return dialog; }

    HWND dialog = nullptr;
};

int run_engine_dialog(HINSTANCE instance, HWND owner, const std::function<int(progress&)>& engine) {
    dialog_progress p;
    worker_dialog_setup setup;
    setup.look = kr2_look();
    setup.stack_size = kEngineStackBytes;
    // The button has its caption before the worker runs: a stop pressed
    // before then changes only the two lines.
    setup.button = kStopButton;
    setup.run_flag = &p.run_flag;
    setup.start_failure_text = get_stored_text(kStartFailed);
    return run_worker_dialog(instance, owner, setup, [&](HWND dialog) {
        p.dialog = dialog;
        return engine(p);
    });
}

}  // namespace

int run_backup_progress_dialog(HINSTANCE instance, HWND owner, int source_disk, const char* folder,
                               std::uint64_t backup_size, bool resume) {
    return run_engine_dialog(instance, owner, [&](progress& p) {
        return backup_disk(p, source_disk, folder, backup_size, backup_options{false, resume});
    });
}

int run_verify_dialog(HINSTANCE instance, HWND owner, const char* folder,
                      std::uint64_t backup_bytes) {
    return run_engine_dialog(
        instance, owner, [&](progress& p) { return verify_backup_set(p, folder, backup_bytes); });
}

int run_restore_dialog(HINSTANCE instance, HWND owner, int target_disk, const char* folder,
                       std::uint64_t backup_bytes) {
    return run_engine_dialog(instance, owner, [&](progress& p) {
        return restore_disk(p, target_disk, folder, backup_bytes);
    });
}

}  // namespace kiroda
