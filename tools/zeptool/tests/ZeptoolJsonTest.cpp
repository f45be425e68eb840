#include <sstream>

#include <gtest/gtest.h>

#include "tools/zeptool/JsonWriter.h"

namespace lumatrace {
namespace {

TEST(ZeptoolJson, QuotesAndEscapesStrings) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"500mV", "\"500mV\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"\r\n\t\b\f", "\"\\r\\n\\t\\b\\f\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
        {std::string("nul\0x", 5), "\"nul\\u0000x\""},
        {"未満 ↑ ∞", "\"未満 ↑ ∞\""},  // UTF-8 passes through
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
        {"a\xFFz", "\"a\xEF\xBF\xBDz\""},                              // not UTF-8: U+FFFD
        {"\xC3", "\"\xEF\xBF\xBD\""},                                  // truncated sequence
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // surrogate
        {"\xE2\x80\xA8|\xE2\x80\xA9", "\"\\u2028|\\u2029\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JsonWriter::Quote(c.in), c.out) << c.in;
    }
}

TEST(ZeptoolJson, WritesNestedValuesWithCommasAndIndentation) {
    std::ostringstream out;
    JsonWriter json(out);
    json.BeginObject();
    json.Key("a");
    json.Number(std::int64_t{-1});
    json.Key("pair");
    json.BeginArray(true);
    json.Number(std::int64_t{8});
    json.Null();
    json.EndArray();
    json.Key("list");
    json.BeginArray();
    json.String("x");
    json.Bool(true);
    json.EndArray();
    json.Key("empty");
    json.BeginObject();
    json.EndObject();
    json.Key("none");
    json.BeginArray();
    json.EndArray();
    json.Key("real");
    json.Number(2.1);
    json.Key("inf");
    json.Number(1e308 * 10);
    json.EndObject();
    EXPECT_EQ(out.str(),
              "{\n"
              "  \"a\": -1,\n"
              "  \"pair\": [8, null],\n"
              "  \"list\": [\n"
              "    \"x\",\n"
              "    true\n"
              "  ],\n"
              "  \"empty\": {},\n"
              "  \"none\": [],\n"
              "  \"real\": 2.1,\n"
              "  \"inf\": \"inf\"\n"
              "}\n");
}

}  // namespace
}  // namespace lumatrace
