// krdtool's own lines of text, in the user's language: the format (and any
// text marked with localized()) is looked up in the translation first.
#pragma once

#include <cstdio>
#include <string>

namespace kiroda::cli {

// printf to `to`.
void print(std::FILE* to, const char* format, ...) __attribute__((format(printf, 2, 3)));

// printf into a string, the format looked up in the translation first.
std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A message of krdtool's own (not one of the engines'): print and a newline.
void print_message(std::FILE* err, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace kiroda::cli
