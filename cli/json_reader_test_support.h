// Test helper: reads back the JSON krdtool writes, strictly (any syntax
// error fails the parse), so a test checks the output a script would get.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kiroda::cli::test_support {

struct json_value {
    enum class kind { null, boolean, number, text, array, object } type = kind::null;
    bool boolean = false;
    std::string number;  // as written, so large sizes stay exact
    std::string text;
    std::vector<json_value> items;
    std::map<std::string, json_value> members;

    // The member `key` of an object (a null value when absent).
    const json_value& operator[](const std::string& key) const;
    std::uint64_t unsigned_number() const { return std::stoull(number); }
};

// False (and `error` says where) unless `text` is one JSON value, followed
// by at most white space.
bool parse_json(const std::string& text, json_value* value, std::string* error);

}  // namespace kiroda::cli::test_support
