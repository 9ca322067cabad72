#include "web/json_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "web/json.h"

namespace velmora {
namespace {

std::optional<JsonValue> parse(std::string_view text) {
  JsonCursor cursor{text, 0};
  return json_parse(cursor);
}

// The value of a whole document, with only white space after it.
std::optional<JsonValue> parse_document(std::string_view text) {
  JsonCursor cursor{text, 0};
  std::optional<JsonValue> value = json_parse(cursor);
  json_skip_white(cursor);
  if (cursor.pos != text.size()) return std::nullopt;
  return value;
}

std::optional<std::string> parse_str(std::string_view text) {
  std::optional<JsonValue> value = parse(text);
  if (!value || value->as_str() == nullptr) return std::nullopt;
  return *value->as_str();
}

JsonValue arr(JsonValue::Array elements) { return JsonValue(std::move(elements)); }
JsonValue obj(JsonValue::Object pairs) { return JsonValue(std::move(pairs)); }

TEST(JsonParse, ObjectKeepsRepeatedKeysInOrder) {
  EXPECT_EQ(parse(" { \"a\" : [1, -2, 3.75, 1e3] , \"a\" :null }"),
            obj({{"a", arr({JsonValue(1), JsonValue(-2), JsonValue(3), JsonValue(1)})}, {"a", JsonValue()}}));
  const auto record = parse_document(
      "{\"meta\":{\"annotations\":{\"velmora/seed\":\"42\"}},\r\n\t\"status\":{\"state\":\"Allocated\"}}\n");
  ASSERT_TRUE(record);
  EXPECT_EQ(*record->get("status")->get("state")->as_str(), "Allocated");
  EXPECT_EQ(*record->get("meta")->get("annotations")->get("velmora/seed")->as_str(), "42");
  EXPECT_EQ(record->get("missing"), nullptr);
}

TEST(JsonParse, LiteralsIgnoreWhatFollows) {
  JsonCursor cursor{"truex", 0};
  EXPECT_EQ(json_parse(cursor), JsonValue(true));
  EXPECT_EQ(cursor.pos, 4u);
  EXPECT_FALSE(parse_document("truex"));
  EXPECT_EQ(parse("false"), JsonValue(false));
  EXPECT_TRUE(parse("nullx")->is_null());
  for (const char* text : {"nul", "tru", "fals", "nope", "True"}) EXPECT_FALSE(parse(text)) << text;
}

TEST(JsonParse, NumbersKeepTheIntegerPart) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {"1.9", 1},  {"1e5", 1}, {"-0.5", 0}, {"2E+3", 2}, {"007", 7},   {"+12", 12}, {"-0", 0}, {"5.", 5},
      {"3e", 3},   {"1.2.3", 1}, {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(parse(text), JsonValue(expected)) << text;
  const char* failures[] = {".5", "-.5", "+", "-", "1-2", "--1", "+-1", "x", "]", "}", ",",
                            "9223372036854775808", "-9223372036854775809",
                            "99999999999999999999999999999999999999999999"};
  for (const char* text : failures) EXPECT_FALSE(parse(text)) << text;
  // The whole run of number characters is one token.
  JsonCursor cursor{"12.5e+7-1,", 0};
  EXPECT_EQ(json_parse(cursor), JsonValue(12));
  EXPECT_EQ(cursor.pos, 9u);
}

TEST(JsonParse, WhiteSpaceIsFourBytesOnly) {
  EXPECT_FALSE(parse(""));
  EXPECT_FALSE(parse(" \t\r\n"));
  EXPECT_EQ(parse(" \t\r\n7"), JsonValue(7));
  for (const char* text : {"\v7", "\f7", "\xC2\xA0" "7", "[1,\v2]"}) EXPECT_FALSE(parse(text)) << text;
}

TEST(JsonParseString, Escapes) {
  EXPECT_EQ(parse_str(R"("a\"b\\c\/d\q\'")"), "a\"b\\c/dq'");
  EXPECT_EQ(parse_str(R"("\b\f\n\r\t")"), "\b\f\n\r\t");
  // UTF-8 at each encoding boundary, either case of hex digit, a leading "+".
  EXPECT_EQ(parse_str(R"("\u007F\u0080\u07ff\u0800\uFFFF")"), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
  EXPECT_EQ(parse_str(R"("\u0041\u0000z\u+7FF")"), std::string("A\0z\xDF\xBF", 5));
  EXPECT_EQ(parse_str(R"("\ud83d\ude00|\uD800|\uDFFF")"), "??|?|?");
  EXPECT_EQ(parse_str("\"raw\ttab\x01\xC3\xA9\""), "raw\ttab\x01\xC3\xA9");

  JsonCursor cursor{"x\"a\\\"b\"rest", 1};
  EXPECT_EQ(json_parse_string(cursor), "a\"b");
  EXPECT_EQ(cursor.text.substr(cursor.pos), "rest");
}

TEST(JsonParseString, Failures) {
  const char* cases[] = {
      "\"abc", "\"abc\\", "\"\\u12", "\"\\u123\"", "\"\\u-123\"", "\"\\u12g4\"", "\"\\u++12\"", "\"\\u+\"",
      "\"\xFF\"", "\"\xC3\"", "\"\xED\xA0\x80\"",  // an encoded surrogate is not UTF-8
  };
  for (const char* text : cases) EXPECT_FALSE(parse(text)) << text;
  JsonCursor off_quote{"abc", 0};
  EXPECT_FALSE(json_parse_string(off_quote));
  JsonCursor past_end{"\"a\"", 7};
  EXPECT_FALSE(json_parse_string(past_end));
  EXPECT_FALSE(json_parse(past_end));
}

TEST(JsonParse, ContainerFailures) {
  const char* cases[] = {"[1,]", "[1 2]", "[,1]", "[1", "[", "{\"a\":1,}", "{a:1}", "{\"a\" 1}", "{\"a\":}",
                         "{\"a\":1", "{\"a\":1 \"b\":2}", "{", "{\"a\"", "[1;2]", "{1:2}"};
  for (const char* text : cases) EXPECT_FALSE(parse(text)) << text;
  EXPECT_EQ(parse("[ ]"), arr({}));
  EXPECT_EQ(parse("{ }"), obj({}));
  // Every proper prefix of a document fails.
  const std::string text = R"({"a":[1,true,null,"x\u00e9y",{"b":{}}],"c":-5})";
  ASSERT_TRUE(parse_document(text));
  for (std::size_t n = 0; n < text.size(); ++n) EXPECT_FALSE(parse(text.substr(0, n))) << n;
}

std::string nested(std::size_t depth, const std::string& open, const std::string& close) {
  std::string text;
  for (std::size_t i = 0; i < depth; ++i) text += open;
  text += "1";
  for (std::size_t i = 0; i < depth; ++i) text += close;
  return text;
}

TEST(JsonParseLimits, NestingDepthAndHugeInputs) {
  EXPECT_TRUE(parse(nested(json_max_depth, "[", "]")));
  EXPECT_FALSE(parse(nested(json_max_depth + 1, "[", "]")));
  EXPECT_TRUE(parse(nested(json_max_depth, "{\"k\":", "}")));
  EXPECT_FALSE(parse(nested(json_max_depth / 2 + 1, "[{\"k\":", "}]")));
  // Siblings do not add up.
  std::string wide = "[[[]]";
  for (int i = 0; i < 1000; ++i) wide += ",[[]]";
  EXPECT_EQ(parse(wide + "]")->as_arr()->size(), 1001u);

  EXPECT_FALSE(parse(std::string(1000000, '[')));
  EXPECT_FALSE(parse(std::string(1000000, '9')));
  EXPECT_EQ(parse("-" + std::string(1000000, '0')), JsonValue(0));
}

TEST(JsonRoundTrip, WrittenValuesParseBack) {
  std::string every_control;
  for (int c = 0; c < 0x20; ++c) every_control.push_back(static_cast<char>(c));
  const std::string unicode = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \x7F /";
  Json written = Json::object()
                     .add("ints", JsonArr{0, -1, INT64_MAX, INT64_MIN, true})
                     .add("controls", every_control)
                     .add("unicode", unicode)
                     .add("quote\"key", "\"\\")
                     .add("map", Json::map().add_owned("dup", JsonArr{}).add_owned("dup", Json::object()));
  EXPECT_EQ(parse_document(json_to_string(written)),
            obj({{"ints", arr({JsonValue(0), JsonValue(-1), JsonValue(INT64_MAX), JsonValue(INT64_MIN),
                               JsonValue(true)})},
                 {"controls", JsonValue(every_control)},
                 {"unicode", JsonValue(unicode)},
                 {"quote\"key", JsonValue("\"\\")},
                 {"map", obj({{"dup", arr({})}, {"dup", obj({})}})}}));
}

}  // namespace
}  // namespace velmora
