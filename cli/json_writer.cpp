#include "cli/json_writer.h"

namespace kiroda::cli {

namespace {

// Length of the valid UTF-8 sequence at `p` (of `n` bytes), 0 when invalid.
std::size_t utf8_length(const unsigned char* p, std::size_t n) {
    const unsigned char c = p[0];
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) {
        length = 2, code = c & 0x1F, least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3, code = c & 0x0F, least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4, code = c & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (length > n) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        code = code << 6 | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not text.
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string json_quoted(std::string_view value) {
    std::string quoted = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(value.data());
    for (std::size_t i = 0; i < value.size();) {
        const unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else if (c >= 0x80) {
            const std::size_t length = utf8_length(p + i, value.size() - i);
            if (length == 0) {
                quoted += "\\ufffd";
                ++i;
                continue;
            }
            quoted.append(value.data() + i, length);
            i += length;
            continue;
        } else {
            quoted += static_cast<char>(c);
        }
        ++i;
    }
    quoted += '"';
    return quoted;
}

json_writer::~json_writer() {
    if (first_.empty()) std::fputc('\n', to_);
}

void json_writer::member(const char* key) {
    if (!first_.empty()) {
        if (!first_.back()) std::fputc(',', to_);
        first_.back() = false;
    }
    if (key != nullptr) std::fprintf(to_, "%s:", json_quoted(key).c_str());
}

void json_writer::begin_object(const char* key) {
    member(key);
    std::fputc('{', to_);
    first_.push_back(true);
}

void json_writer::end_object() {
    std::fputc('}', to_);
    first_.pop_back();
}

void json_writer::begin_array(const char* key) {
    member(key);
    std::fputc('[', to_);
    first_.push_back(true);
}

void json_writer::end_array() {
    std::fputc(']', to_);
    first_.pop_back();
}

void json_writer::text(const char* key, std::string_view value) {
    member(key);
    std::fputs(json_quoted(value).c_str(), to_);
}

void json_writer::number(const char* key, std::uint64_t value) {
    member(key);
    std::fprintf(to_, "%llu", static_cast<unsigned long long>(value));
}

void json_writer::signed_number(const char* key, std::int64_t value) {
    member(key);
    std::fprintf(to_, "%lld", static_cast<long long>(value));
}

void json_writer::boolean(const char* key, bool value) {
    member(key);
    std::fputs(value ? "true" : "false", to_);
}

void json_writer::null(const char* key) {
    member(key);
    std::fputs("null", to_);
}

}  // namespace kiroda::cli
