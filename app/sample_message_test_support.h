// For kiroda_screens: a message text of the wizard with sample values in
// its printf fields, so that a message no road reaches can be pictured.
#pragma once

#include <string>

namespace kiroda {

// The message pictured as `page` (message-FILE.NAME): its fields filled in
// turn from the page's own row of sample values where it has one, else by
// kind: a sector count or byte size where the words around a field say so,
// a disk number for %d, a drive letter for %c, a path for the other %s.
// "%%" and a lone '%' at the end stay a '%'.
std::string sample_message(const char* page, const char* format);

// Calls `each` with the page of every row of sample values (a row whose
// page has gone would be left unused without a word).
void for_each_sample_page(void (*each)(const char* page, void* context), void* context);

}  // namespace kiroda
