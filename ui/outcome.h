// How an engine, the zero fill or a flow of the wizard ended.
#pragma once

namespace kiroda {

// The values are those the dialogs return (EndDialog), so an outcome passes
// through a dialog as it is.
enum outcome : int {
    kEngineDone = 1,
    kEngineStopped = 0,  // by the user: a stop, or a question not answered OK
    kEngineFailed = -1,  // after a message; the backup reports a stop as failed too
};

// What a dialog that ran an engine or a flow ended with. Anything but the
// three values (a dialog that could not be shown gives -1 too) is a failure.
inline outcome outcome_of_dialog(int result) {
    return result == kEngineDone      ? kEngineDone
           : result == kEngineStopped ? kEngineStopped
                                      : kEngineFailed;
}

}  // namespace kiroda
