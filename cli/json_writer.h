// JSON for scripts (info --json, disks --json): objects and arrays written
// as they are built, commas and escapes taken care of. Numbers are written
// as numbers (sizes in bytes, never grouped); texts must be UTF-8, and a
// byte that is not is written as U+FFFD so the output stays valid JSON.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace kiroda::cli {

class json_writer {
  public:
    explicit json_writer(std::FILE* to) : to_(to) {}
    // Ends the document with a newline when every object is closed.
    ~json_writer();
    json_writer(const json_writer&) = delete;
    json_writer& operator=(const json_writer&) = delete;

    // `key` names the member inside an object; null inside an array or at
    // the top.
    void begin_object(const char* key = nullptr);
    void end_object();
    void begin_array(const char* key = nullptr);
    void end_array();

    void text(const char* key, std::string_view value);
    void number(const char* key, std::uint64_t value);
    void signed_number(const char* key, std::int64_t value);
    void boolean(const char* key, bool value);
    void null(const char* key);

  private:
    void member(const char* key);

    std::FILE* to_;
    std::vector<bool> first_;  // one entry per open object or array
};

// `value` as a JSON string literal, quotes included.
std::string json_quoted(std::string_view value);

}  // namespace kiroda::cli
