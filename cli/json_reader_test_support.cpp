#include "cli/json_reader_test_support.h"

#include <cstring>

namespace kiroda::cli::test_support {

namespace {

struct reader {
    const std::string& s;
    std::size_t at = 0;
    std::string error;

    void skip_space() {
        while (at < s.size() && std::strchr(" \t\r\n", s[at]) != nullptr) ++at;
    }
    bool fail(const char* what) {
        if (error.empty()) error = std::string(what) + " at byte " + std::to_string(at);
        return false;
    }
    bool literal(const char* word) {
        const std::size_t n = std::strlen(word);
        if (s.compare(at, n, word) != 0) return fail("unknown word");
        at += n;
        return true;
    }
    bool string(std::string* out) {
        if (at >= s.size() || s[at] != '"') return fail("expected a string");
        ++at;
        while (at < s.size() && s[at] != '"') {
            const unsigned char c = static_cast<unsigned char>(s[at]);
            if (c < 0x20) return fail("control character in a string");
            if (c != '\\') {
                *out += static_cast<char>(c);
                ++at;
                continue;
            }
            if (++at >= s.size()) return fail("cut escape");
            const char e = s[at++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    *out += e;
                    break;
                case 'n':
                    *out += '\n';
                    break;
                case 't':
                    *out += '\t';
                    break;
                case 'r':
                    *out += '\r';
                    break;
                case 'b':
                    *out += '\b';
                    break;
                case 'f':
                    *out += '\f';
                    break;
                case 'u': {
                    if (at + 4 > s.size()) return fail("cut \\u escape");
                    const unsigned code =
                        static_cast<unsigned>(std::stoul(s.substr(at, 4), nullptr, 16));
                    at += 4;
                    // UTF-8 of a code point of the basic plane (all we write).
                    if (code < 0x80) {
                        *out += static_cast<char>(code);
                    } else if (code < 0x800) {
                        *out += static_cast<char>(0xC0 | code >> 6);
                        *out += static_cast<char>(0x80 | (code & 0x3F));
                    } else {
                        *out += static_cast<char>(0xE0 | code >> 12);
                        *out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
                        *out += static_cast<char>(0x80 | (code & 0x3F));
                    }
                    break;
                }
                default:
                    return fail("unknown escape");
            }
        }
        if (at >= s.size()) return fail("unterminated string");
        ++at;
        return true;
    }
    bool value(json_value* v) {
        skip_space();
        if (at >= s.size()) return fail("expected a value");
        const char c = s[at];
        if (c == '{') {
            v->type = json_value::kind::object;
            ++at;
            skip_space();
            if (at < s.size() && s[at] == '}') return ++at, true;
            for (;;) {
                skip_space();
                std::string key;
                if (!string(&key)) return false;
                if (v->members.count(key) != 0) return fail("duplicate key");
                skip_space();
                if (at >= s.size() || s[at] != ':') return fail("expected ':'");
                ++at;
                if (!value(&v->members[key])) return false;
                skip_space();
                if (at < s.size() && s[at] == ',') {
                    ++at;
                    continue;
                }
                if (at < s.size() && s[at] == '}') return ++at, true;
                return fail("expected ',' or '}'");
            }
        }
        if (c == '[') {
            v->type = json_value::kind::array;
            ++at;
            skip_space();
            if (at < s.size() && s[at] == ']') return ++at, true;
            for (;;) {
                v->items.emplace_back();
                if (!value(&v->items.back())) return false;
                skip_space();
                if (at < s.size() && s[at] == ',') {
                    ++at;
                    continue;
                }
                if (at < s.size() && s[at] == ']') return ++at, true;
                return fail("expected ',' or ']'");
            }
        }
        if (c == '"') {
            v->type = json_value::kind::text;
            return string(&v->text);
        }
        if (c == 't' || c == 'f') {
            v->type = json_value::kind::boolean;
            v->boolean = c == 't';
            return literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') return literal("null");
        if (c == '-' || (c >= '0' && c <= '9')) {
            v->type = json_value::kind::number;
            const std::size_t start = at;
            if (s[at] == '-') ++at;
            while (at < s.size() && std::strchr("0123456789.eE+-", s[at]) != nullptr) ++at;
            v->number = s.substr(start, at - start);
            return true;
        }
        return fail("unexpected character");
    }
};

}  // namespace

const json_value& json_value::operator[](const std::string& key) const {
    static const json_value none;
    const auto it = members.find(key);
    return it == members.end() ? none : it->second;
}

bool parse_json(const std::string& text, json_value* value, std::string* error) {
    reader r{text, 0, {}};
    *value = json_value{};
    bool ok = r.value(value);
    if (ok) {
        r.skip_space();
        if (r.at != text.size()) ok = r.fail("text after the value");
    }
    if (!ok && error != nullptr) *error = r.error;
    return ok;
}

}  // namespace kiroda::cli::test_support
