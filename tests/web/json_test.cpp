#include "web/json.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>

namespace velmora {
namespace {

std::string text_of(const Json& value) { return json_to_string(value); }

// Numbers are integers only: floating point, characters and pointers other
// than C strings do not make a Json at all.
static_assert(!std::is_constructible_v<Json, double>);
static_assert(!std::is_constructible_v<Json, float>);
static_assert(!std::is_constructible_v<Json, char>);
static_assert(!std::is_constructible_v<Json, std::nullptr_t>);
static_assert(!std::is_constructible_v<Json, const int*>);

TEST(JsonWrite, Scalars) {
  EXPECT_EQ(text_of(true), "true");
  EXPECT_EQ(text_of(Json()), "false");
  EXPECT_EQ(text_of(0), "0");
  EXPECT_EQ(text_of(-1), "-1");
  EXPECT_EQ(text_of(INT64_MAX), "9223372036854775807");
  EXPECT_EQ(text_of(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(text_of(std::uint8_t{255}), "255");
  EXPECT_EQ(text_of(std::uint64_t{INT64_MAX}), "9223372036854775807");
  EXPECT_EQ(text_of(""), "\"\"");
  EXPECT_EQ(text_of(std::string_view("abc")), "\"abc\"");
}

TEST(JsonWrite, EscapesEveryControlByte) {
  const char* hex = "0123456789abcdef";
  for (int c = 0; c < 0x20; ++c) {
    std::string expected;
    switch (c) {
      case '\t': expected = "\\t"; break;
      case '\n': expected = "\\n"; break;
      case '\r': expected = "\\r"; break;
      default: expected = std::string("\\u00") + hex[c >> 4] + hex[c & 0xF];
    }
    EXPECT_EQ(text_of(std::string(1, static_cast<char>(c))), "\"" + expected + "\"") << c;
  }
  // A NUL byte inside a string is an escape, not an end.
  EXPECT_EQ(text_of(std::string("a\0b", 3)), "\"a\\u0000b\"");
}

TEST(JsonWrite, PassesPrintableAndNonAsciiCharacters) {
  // quote, backslash, tab, U+0001, U+00E9
  EXPECT_EQ(text_of("\"\\\t\x01\xC3\xA9"), "\"\\\"\\\\\\t\\u0001\xC3\xA9\"");
  EXPECT_EQ(text_of("/\x7F a\xF0\x9F\x98\x80z"), "\"/\x7F a\xF0\x9F\x98\x80z\"");
  // Escapes between long plain runs keep both runs whole.
  const std::string run(100, 'x');
  EXPECT_EQ(text_of(run + "\n" + run + "\"" + run), "\"" + run + "\\n" + run + "\\\"" + run + "\"");
}

TEST(JsonWrite, ContainersKeepOrderRepeatsAndEscapeKeys) {
  Json object = Json::object();
  object.add("zeta", 1).add("alpha", "two").add("mid", false).add("say \"hi\"", 2);
  EXPECT_EQ(text_of(object), "{\"zeta\":1,\"alpha\":\"two\",\"mid\":false,\"say \\\"hi\\\"\":2}");

  Json map = Json::map();
  map.add_owned("k", 1).add_owned("k", 2).add_owned("tab\there", 3);
  EXPECT_EQ(text_of(map), "{\"k\":1,\"k\":2,\"tab\\there\":3}");

  EXPECT_EQ(text_of(Json::array().push(Json::object()).push(Json::array()).push(Json::map())), "[{},[],{}]");
  EXPECT_EQ(text_of(Json::object().add("a", JsonArr{1, "x", Json::object().add("b", true)})),
            "{\"a\":[1,\"x\",{\"b\":true}]}");

  std::string out = "reply ";
  json_write(Json::array().push(1), out);
  json_write(Json(-5), out);
  EXPECT_EQ(out, "reply [1]-5");
}

TEST(JsonBuildDeathTest, MisuseIsABrokenInvariant) {
  EXPECT_DEATH(Json(std::uint64_t{1} << 63), "json number out of range");
  EXPECT_DEATH(Json(1).push(2), "json value is not an array");
  EXPECT_DEATH(Json::map().add("k", 1), "json value is not an object");
}

TEST(JsonMapPush, AppendsCopiedKeysInOrder) {
  JsonMap tags;
  std::string key = "stage";
  json_object_push_str(tags, key, "forest");
  key = "changed";
  json_object_push(tags, "ticks", 120);
  json_object_push(tags, "ticks", -1);
  EXPECT_EQ(text_of(tags), "{\"stage\":\"forest\",\"ticks\":120,\"ticks\":-1}");
}

TEST(JsonTextAddField, AddsOneFieldToWrittenObjectsOnly) {
  EXPECT_EQ(json_text_add_field("{\"ok\":true}", "replay_saved", true), "{\"ok\":true,\"replay_saved\":true}");
  EXPECT_EQ(json_text_add_field("{}", "slot", 2), "{\"slot\":2}");
  EXPECT_EQ(json_text_add_field("{\"a\":{}}", "b", "x\"y"), "{\"a\":{},\"b\":\"x\\\"y\"}");
  EXPECT_EQ(json_text_add_field("{\"a\":1}", "net", Json::object().add("rtt", 4)), "{\"a\":1,\"net\":{\"rtt\":4}}");
  EXPECT_EQ(json_text_add_field("", "k", 1), "");
  EXPECT_EQ(json_text_add_field("[1,2]", "k", 1), "[1,2]");
  EXPECT_EQ(json_text_add_field("{\"a\":1} ", "k", 1), "{\"a\":1} ");
}

}  // namespace
}  // namespace velmora
