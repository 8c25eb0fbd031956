// Decimal numbers grouped by thousands ("1,234,567", "-1,234"), the form in
// which every size and megabyte count is shown to the user.
#pragma once

#include <cstdint>

namespace kiroda {

// The longest grouped text (an unsigned 64-bit value) has 26 characters.
constexpr int kGroupedTextSize = 27;

// Groups the decimal integer text `source` into `destination` (at least
// kGroupedTextSize bytes). A negative `sign` says the first character is "-".
char* group_thousands(char* destination, const char* source, int sign);

char* format_int64_grouped(char* destination, std::int64_t value);
char* format_uint64_grouped(char* destination, std::uint64_t value);

}  // namespace kiroda
