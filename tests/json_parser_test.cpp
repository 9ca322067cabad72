#include "web/json_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
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

TEST(JsonParse, ObjectKeepsRepeatedKeysInOrder) {
  const auto value = parse(" { \"a\" : [1, -2, 3.75, 1e3] , \"a\" :null }");
  ASSERT_TRUE(value);
  const JsonValue::Object* pairs = value->as_obj();
  ASSERT_NE(pairs, nullptr);
  ASSERT_EQ(pairs->size(), 2u);
  EXPECT_EQ((*pairs)[0].first, "a");
  EXPECT_EQ((*pairs)[0].second, arr({JsonValue(1), JsonValue(-2), JsonValue(3), JsonValue(1)}));
  EXPECT_EQ((*pairs)[1].first, "a");
  EXPECT_TRUE((*pairs)[1].second.is_null());
  EXPECT_EQ(value->get("a")->kind(), JsonValue::Kind::Arr);
  EXPECT_EQ(value->get("b"), nullptr);
}

TEST(JsonParse, ReadsAgonesStyleRecord) {
  const std::string text =
      "{\"object_meta\":{\"name\":\"gs-1\",\"annotations\":{\"velmora/seed\":\"42\"}},\r\n"
      "\t\"status\":{\"state\":\"Allocated\",\"ports\":[{\"port\":7000}]}}\n";
  const auto value = parse_document(text);
  ASSERT_TRUE(value);
  EXPECT_EQ(*value->get("status")->get("state")->as_str(), "Allocated");
  EXPECT_EQ(*value->get("object_meta")->get("annotations")->get("velmora/seed")->as_str(), "42");
  EXPECT_EQ(value->get("status")->get("ports")->as_arr()->at(0).get("port")->as_num(), 7000);
}

TEST(JsonParse, LiteralsIgnoreWhatFollows) {
  JsonCursor cursor{"truex", 0};
  const auto value = json_parse(cursor);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->as_bool(), true);
  EXPECT_EQ(cursor.pos, 4u);
  EXPECT_FALSE(parse_document("truex"));

  EXPECT_EQ(parse("false")->as_bool(), false);
  EXPECT_TRUE(parse("nullx")->is_null());
  EXPECT_FALSE(parse("nul"));
  EXPECT_FALSE(parse("tru"));
  EXPECT_FALSE(parse("fals"));
  EXPECT_FALSE(parse("nope"));
  EXPECT_FALSE(parse("True"));
}

TEST(JsonParse, NumbersKeepTheIntegerPart) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {"1.9", 1},   {"1e5", 1},      {"-0.5", 0}, {"2E+3", 2}, {"007", 7},
      {"+12", 12},  {"-0", 0},       {"5.", 5},   {"3e", 3},   {"1.2.3", 1},
      {"9223372036854775807", INT64_MAX},  {"-9223372036854775808", INT64_MIN},
      {"0000000000000000000000000000000000042", 42},
  };
  for (const auto& [text, expected] : cases) {
    const auto value = parse(text);
    ASSERT_TRUE(value) << text;
    EXPECT_EQ(value->as_num(), expected) << text;
  }
}

TEST(JsonParse, NumberFailures) {
  const char* cases[] = {".5", "-.5", "+", "-", "1-2", "--1", "+-1", "x", "]", "}", ",",
                         "9223372036854775808", "-9223372036854775809",
                         "99999999999999999999999999999999999999999999"};
  for (const char* text : cases) EXPECT_FALSE(parse(text)) << text;
}

TEST(JsonParse, NumberTokenIsConsumedWhole) {
  JsonCursor cursor{"12.5e+7-1,", 0};
  const auto value = json_parse(cursor);
  // The part before the first '.' is 12; the whole run is one token.
  ASSERT_TRUE(value);
  EXPECT_EQ(value->as_num(), 12);
  EXPECT_EQ(cursor.pos, 9u);
}

TEST(JsonParse, WhiteSpaceIsFourBytesOnly) {
  EXPECT_FALSE(parse(""));
  EXPECT_FALSE(parse(" \t\r\n"));
  EXPECT_EQ(parse(" \t\r\n7")->as_num(), 7);
  EXPECT_FALSE(parse("\v7"));
  EXPECT_FALSE(parse("\f7"));
  EXPECT_FALSE(parse("\xC2\xA0" "7"));
  EXPECT_FALSE(parse("[1,\v2]"));
}

TEST(JsonParseString, Escapes) {
  EXPECT_EQ(parse_str(R"("a\"b\\c\/d")"), "a\"b\\c/d");
  EXPECT_EQ(parse_str(R"("\b\f\n\r\t")"), "\b\f\n\r\t");
  EXPECT_EQ(parse_str(R"("\q\'")"), "q'");
  EXPECT_EQ(parse_str(R"("\u00e9\u00C9")"), "\xC3\xA9\xC3\x89");
  EXPECT_EQ(parse_str(R"("\u20ac")"), "\xE2\x82\xAC");
  EXPECT_EQ(parse_str(R"("\u0041\u0000z")"), std::string("A\0z", 3));
  EXPECT_EQ(parse_str(R"("\u+7FF")"), "\xDF\xBF");
  EXPECT_EQ(parse_str(R"("\ud83d\ude00")"), "??");
  EXPECT_EQ(parse_str(R"("\uD800|\uDFFF")"), "?|?");
  EXPECT_EQ(parse_str("\"raw\ttab\x01\xC3\xA9\""), "raw\ttab\x01\xC3\xA9");
}

TEST(JsonParseString, Failures) {
  const char* cases[] = {
      "\"abc",       "\"abc\\",     "\"\\u12",   "\"\\u123\"",  "\"\\u-123\"",
      "\"\\u12g4\"", "\"\\u++12\"", "\"\\u+\"",  "\"\xFF\"",    "\"\xC3\"",
      "\"\xED\xA0\x80\"",  // an encoded surrogate is not UTF-8
  };
  for (const char* text : cases) EXPECT_FALSE(parse(text)) << text;

  JsonCursor off_quote{"abc", 0};
  EXPECT_FALSE(json_parse_string(off_quote));
  JsonCursor past_end{"\"a\"", 7};
  EXPECT_FALSE(json_parse_string(past_end));
  EXPECT_FALSE(json_parse(past_end));
}

TEST(JsonParseString, LeavesCursorAfterClosingQuote) {
  JsonCursor cursor{"x\"a\\\"b\"rest", 1};
  EXPECT_EQ(json_parse_string(cursor), "a\"b");
  EXPECT_EQ(cursor.text.substr(cursor.pos), "rest");
}

TEST(JsonParse, ContainerFailures) {
  const char* cases[] = {"[1,]",    "[1 2]",       "[,1]",       "[1",        "[",
                         "{\"a\":1,}", "{a:1}",       "{\"a\" 1}",  "{\"a\":}",  "{\"a\":1",
                         "{\"a\":1 \"b\":2}", "{",    "{\"a\"",     "[1;2]",     "{1:2}"};
  for (const char* text : cases) EXPECT_FALSE(parse(text)) << text;
  EXPECT_EQ(parse("[ ]"), arr({}));
  EXPECT_EQ(parse("{ }"), JsonValue(JsonValue::Object{}));
}

TEST(JsonParse, TruncatedDocumentsFail) {
  const std::string text = R"({"a":[1,true,null,"x\u00e9y",{"b":{}}],"c":-5})";
  ASSERT_TRUE(parse_document(text));
  for (std::size_t n = 0; n < text.size(); ++n) {
    const std::string prefix = text.substr(0, n);
    EXPECT_FALSE(parse(prefix)) << prefix;
  }
}

std::string nested(std::size_t depth, const std::string& open, const std::string& inner,
                   const std::string& close) {
  std::string text;
  for (std::size_t i = 0; i < depth; ++i) text += open;
  text += inner;
  for (std::size_t i = 0; i < depth; ++i) text += close;
  return text;
}

TEST(JsonParseLimits, NestingDepth) {
  EXPECT_TRUE(parse(nested(json_max_depth, "[", "1", "]")));
  EXPECT_FALSE(parse(nested(json_max_depth + 1, "[", "1", "]")));
  EXPECT_TRUE(parse(nested(json_max_depth, "{\"k\":", "1", "}")));
  EXPECT_FALSE(parse(nested(json_max_depth + 1, "{\"k\":", "1", "}")));
  // Mixed nesting counts arrays and objects together.
  EXPECT_FALSE(parse(nested(json_max_depth / 2 + 1, "[{\"k\":", "1", "}]")));
  // Siblings do not add up: many shallow containers side by side are fine.
  std::string wide = "[";
  for (int i = 0; i < 10000; ++i) wide += i == 0 ? "[[]]" : ",[[]]";
  wide += "]";
  EXPECT_EQ(parse(wide)->as_arr()->size(), 10000u);
}

TEST(JsonParseLimits, HugeInputsFailQuickly) {
  EXPECT_FALSE(parse(std::string(1000000, '[')));
  EXPECT_FALSE(parse(std::string(1000000, '{')));
  EXPECT_FALSE(parse(std::string(1000000, '9')));
  EXPECT_EQ(parse("-" + std::string(1000000, '0'))->as_num(), 0);
  const std::string long_text(1000000, 'a');
  EXPECT_EQ(parse_str("\"" + long_text + "\""), long_text);
}

TEST(JsonRoundTrip, WrittenValuesParseBack) {
  std::string every_control;
  for (int c = 0; c < 0x20; ++c) every_control.push_back(static_cast<char>(c));
  const std::string unicode = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \x7F /";

  Json map = Json::map();
  map.add_owned("dup", 1).add_owned("dup", 2);
  Json written = Json::object()
                     .add("bools", Json::array().push(true).push(false))
                     .add("ints", JsonArr{0, -1, INT64_MAX, INT64_MIN})
                     .add("controls", every_control)
                     .add("unicode", unicode)
                     .add("quote\"key", "\"\\")
                     .add("empty", Json::object().add("a", JsonArr{}).add("o", Json::map()))
                     .add("map", std::move(map));

  const auto parsed = parse_document(json_to_string(written));
  ASSERT_TRUE(parsed);
  const JsonValue expected(JsonValue::Object{
      {"bools", arr({JsonValue(true), JsonValue(false)})},
      {"ints", arr({JsonValue(0), JsonValue(-1), JsonValue(INT64_MAX), JsonValue(INT64_MIN)})},
      {"controls", JsonValue(every_control)},
      {"unicode", JsonValue(unicode)},
      {"quote\"key", JsonValue("\"\\")},
      {"empty", JsonValue(JsonValue::Object{{"a", arr({})}, {"o", JsonValue(JsonValue::Object{})}})},
      {"map", JsonValue(JsonValue::Object{{"dup", JsonValue(1)}, {"dup", JsonValue(2)}})},
  });
  EXPECT_EQ(*parsed, expected);
}

TEST(JsonRoundTrip, EveryBmpCharacterSurvives) {
  // Each non-surrogate code point below U+10000, written raw and escaped.
  std::string raw;
  for (std::uint32_t c = 0; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    if (c < 0x80) {
      raw.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      raw.push_back(static_cast<char>(0xC0 | (c >> 6)));
      raw.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      raw.push_back(static_cast<char>(0xE0 | (c >> 12)));
      raw.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      raw.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  EXPECT_EQ(parse_str(json_to_string(raw)), raw);

  std::string escaped = "\"";
  char unit[8];
  for (std::uint32_t c = 0; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    std::snprintf(unit, sizeof unit, "\\u%04X", static_cast<unsigned>(c));
    escaped += unit;
  }
  escaped += "\"";
  EXPECT_EQ(parse_str(escaped), raw);
}

}  // namespace
}  // namespace velmora
