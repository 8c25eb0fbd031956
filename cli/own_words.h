// krdtool's own words for what the wizard's rules say of a disk: the rules
// are the same, the wording says what was found where and what to do; the
// wizard's texts stay as they are in the wizard.
#pragma once

#include <string>

namespace kiroda::cli {

// krdtool's sentence for a verdict message of the disk rules
// (disk/disk_rules.h), in the messages' language; a message it has no words
// for comes back as one sentence of the wizard's text.
std::string own_verdict_words(const char* wizard_message);

// krdtool's wording of an engine's message or question, in the messages'
// language, when it has one; `text` itself otherwise.
std::string own_message_words(const std::string& text);

}  // namespace kiroda::cli
