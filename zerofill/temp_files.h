// The platform's file operations on the zero fill's temporary files.
#pragma once

#include <cstdio>

namespace kiroda {

// Exclusive creation, binary, write only: fails when the name exists.
std::FILE* create_new_file(const char* path);
bool make_folder(const char* path);
bool delete_file(const char* path);
bool remove_empty_folder(const char* path);

}  // namespace kiroda
