#include "cli/json_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "cli/capture_test_support.h"
#include "cli/json_reader_test_support.h"

namespace kiroda::cli {
namespace {

using test_support::captured_stream;
using test_support::json_value;
using test_support::parse_json;

TEST(JsonWriter, TextsAreQuotedAsJsonWantsThem) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain /dev/sdb", "\"plain /dev/sdb\""},
        {"say \"hi\" \\ there", "\"say \\\"hi\\\" \\\\ there\""},
        {"a\nb\tc\rd", "\"a\\nb\\tc\\rd\""},
        {std::string("nul\0x", 5), "\"nul\\u0000x\""},
        {"\x1b[K\x7f", "\"\\u001b[K\\u007f\""},
        {"ディスク", "\"ディスク\""},                   // valid UTF-8 passes as it is
        {"\xF0\x9F\x92\xBE", "\"\xF0\x9F\x92\xBE\""},   // four bytes too
        {"\x83\xBF", "\"\\ufffd\\ufffd\""},             // Shift-JIS is not UTF-8
        {"\xC0\xAF", "\"\\ufffd\\ufffd\""},             // overlong
        {"\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},  // a surrogate
        {"\xE3\x83", "\"\\ufffd\\ufffd\""},             // cut short
    };
    for (const auto& c : cases) EXPECT_EQ(json_quoted(c.in), c.out) << c.in;
}

TEST(JsonWriter, NestedValuesReadBack) {
    captured_stream out;
    {
        json_writer json(out.get());
        json.begin_object();
        json.text("name", "KRD00001.BIN");
        json.number("bytes", 18446744073709551615ull);
        json.signed_number("disk", -1);
        json.boolean("ok", false);
        json.null("signature");
        json.begin_array("empty");
        json.end_array();
        json.begin_array("runs");
        json.begin_object();
        json.number("first", 0);
        json.end_object();
        json.number(nullptr, 7);
        json.end_array();
        json.end_object();
    }
    const std::string text = out.text();
    EXPECT_EQ(text.back(), '\n');
    json_value v;
    std::string error;
    ASSERT_TRUE(parse_json(text, &v, &error)) << error << "\n" << text;
    EXPECT_EQ(v["name"].text, "KRD00001.BIN");
    EXPECT_EQ(v["bytes"].number, "18446744073709551615");
    EXPECT_EQ(v["disk"].number, "-1");
    EXPECT_EQ(v["ok"].type, json_value::kind::boolean);
    EXPECT_FALSE(v["ok"].boolean);
    EXPECT_EQ(v["signature"].type, json_value::kind::null);
    EXPECT_TRUE(v["empty"].items.empty());
    ASSERT_EQ(v["runs"].items.size(), 2u);
    EXPECT_EQ(v["runs"].items[0]["first"].number, "0");
    EXPECT_EQ(v["runs"].items[1].number, "7");
}

}  // namespace
}  // namespace kiroda::cli
