#include "ui/worker_dialog_win32.h"

#include <process.h>

#include <cassert>
#include <utility>

#include "ui/message.h"

namespace kiroda {

const char kStoppingStatus[] = "終了処理中。";
const char kStoppingDetail[] = "お待ちください。";

namespace {

// Test seams; set by a test on the dialog's thread before the dialog runs.
bool g_fail_next_start = false;
std::function<void()> g_prologue;

// Reserve the stack rather than commit it: a small system may not be able to
// commit tens of megabytes up front but can still grow into the reservation.
constexpr unsigned kStackIsReservation = 0x00010000;  // STACK_SIZE_PARAM_IS_A_RESERVATION

class worker_handler : public status_dialog_handler {
  public:
    worker_handler(const worker_dialog_setup& setup, worker_body body)
        : setup_(setup), body_(std::move(body)) {}

    ~worker_handler() override { join(); }

    // Waits for the worker to end; only after the dialog has closed. The
    // worker may still be inside its EndDialog, which re-enables the owner
    // window by sending it a message: this thread owns that window, so it
    // keeps answering sent messages while it waits, or the two would wait
    // for each other for ever.
    void join() {
        if (thread_ == nullptr) return;
        while (MsgWaitForMultipleObjects(1, &thread_, FALSE, INFINITE, QS_SENDMESSAGE) ==
               WAIT_OBJECT_0 + 1) {
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        CloseHandle(thread_);
        thread_ = nullptr;
    }

    void on_init(HWND dialog) override {
        dialog_ = dialog;
        if (setup_.status != nullptr) set_status_line(dialog, setup_.status);
        if (setup_.detail != nullptr) set_detail_line(dialog, setup_.detail);
        if (setup_.button != nullptr) set_button_text(dialog, setup_.button);
        setup_.run_flag->store(1);
        thread_ = start_thread();
        if (thread_ == nullptr) {
            setup_.run_flag->store(0);
            show_message(dialog, kMbOk, setup_.look.caption, "%s",
                         setup_.start_failure_text != nullptr ? setup_.start_failure_text : "");
            EndDialog(dialog, -1);
        }
    }

    void on_stop(HWND dialog) override {
        set_status_line(dialog, kStoppingStatus);
        set_detail_line(dialog, kStoppingDetail);
        setup_.run_flag->store(0);
    }

    bool worker_ran() const { return worker_ran_; }
    int result() const { return result_; }

  private:
    HANDLE start_thread() {
        if (std::exchange(g_fail_next_start, false)) return nullptr;
        const uintptr_t h = _beginthreadex(nullptr, setup_.stack_size, &worker_handler::thread_main,
                                           this, kStackIsReservation, nullptr);
        return reinterpret_cast<HANDLE>(h);
    }

    static unsigned __stdcall thread_main(void* self) {
        auto* me = static_cast<worker_handler*>(self);
        if (g_prologue) g_prologue();
        me->result_ = me->body_(me->dialog_);
        me->worker_ran_ = true;
        me->setup_.run_flag->store(0);
        EndDialog(me->dialog_, me->result_);
        return 0;
    }

    const worker_dialog_setup& setup_;
    worker_body body_;
    HWND dialog_ = nullptr;
    HANDLE thread_ = nullptr;
    // Written by the worker before its EndDialog, read after the join.
    int result_ = -1;
    bool worker_ran_ = false;
};

}  // namespace

int run_worker_dialog(HINSTANCE instance, HWND owner, const worker_dialog_setup& setup,
                      worker_body body) {
    assert(setup.run_flag != nullptr);
    worker_handler handler(setup, std::move(body));
    run_status_dialog(instance, owner, setup.look, handler);
    handler.join();
    return handler.worker_ran() ? handler.result() : -1;
}

void fail_next_worker_start_for_tests() {
    g_fail_next_start = true;
}
void set_worker_prologue_for_tests(std::function<void()> prologue) {
    g_prologue = std::move(prologue);
}

}  // namespace kiroda
