// How krdtool shows the program's messages: as lines on standard error.
// Questions (a missing data file) are asked on the terminal when there is
// one; without a terminal the answer is Cancel, so a script never waits.
#pragma once

#include <cstdio>
#include <string>

#include "ui/message.h"

namespace kiroda::cli {

// How a question (OK/Cancel) is answered: on the terminal, Cancel (no
// terminal: a script never waits), or Yes (--yes). Under --yes the same
// question twice in a row is answered Cancel: nobody is there to swap a
// medium, and saying yes again would ask forever.
enum class question_answer { ask, cancel, yes };

// The way for krdtool's messages on `err`: --yes, else the terminal when
// `err` is standard error and both it and standard input are terminals.
question_answer answers_for(std::FILE* err, bool yes);

// Installs the sink for the life of the object; `before_message` (may be
// null) is called first, e.g. to end a progress bar's line.
class terminal_messages {
  public:
    terminal_messages(std::FILE* err, question_answer answer,
                      void (*before_message)(void*) = nullptr, void* context = nullptr);
    ~terminal_messages();
    terminal_messages(const terminal_messages&) = delete;
    terminal_messages& operator=(const terminal_messages&) = delete;

  private:
    message_sink previous_;
};

// The engines name disks as the wizard does, "(ディスク 1)"; krdtool's
// disks are the paths it was given, so each such name becomes its path.
std::string name_disks_by_path(const std::string& text);

// A failed block's code ("MeltReadSize = -9", "(read result -9)") and a
// source read's sector count become what they mean, and the system's reason
// (`system_error`, 0 for none) follows the message, or in a question
// (`question`) the paragraph before what is asked.
std::string with_reasons(const std::string& text, int system_error, bool question = false);

// "\n(システムのエラー: <the system's reason>)", in the language of the
// messages; "" for 0.
std::string system_reason(int system_error);

// True when questions can be asked: standard input and error are terminals.
bool terminal_can_ask();

}  // namespace kiroda::cli
