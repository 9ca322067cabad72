#include "web/json.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace velmora {
namespace {

std::string text_of(const Json& value) { return json_to_string(value); }

TEST(JsonWrite, Scalars) {
  EXPECT_EQ(text_of(true), "true");
  EXPECT_EQ(text_of(false), "false");
  EXPECT_EQ(text_of(Json()), "false");
  EXPECT_EQ(text_of(0), "0");
  EXPECT_EQ(text_of(-1), "-1");
  EXPECT_EQ(text_of(1234567), "1234567");
  EXPECT_EQ(text_of(INT64_MAX), "9223372036854775807");
  EXPECT_EQ(text_of(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(text_of(std::uint8_t{255}), "255");
  EXPECT_EQ(text_of(std::int16_t{-300}), "-300");
  EXPECT_EQ(text_of(std::uint64_t{INT64_MAX}), "9223372036854775807");
  EXPECT_EQ(text_of(""), "\"\"");
  EXPECT_EQ(text_of(std::string("abc")), "\"abc\"");
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
  EXPECT_EQ(text_of("\x08\x0c\x1f"), "\"\\u0008\\u000c\\u001f\"");
}

TEST(JsonWrite, PassesPrintableAndNonAsciiBytes) {
  // quote, backslash, tab, U+0001, U+00E9
  EXPECT_EQ(text_of("\"\\\t\x01\xC3\xA9"), "\"\\\"\\\\\\t\\u0001\xC3\xA9\"");
  EXPECT_EQ(text_of("/\x7F"), "\"/\x7F\"");
  EXPECT_EQ(text_of("a\xF0\x9F\x98\x80z"), "\"a\xF0\x9F\x98\x80z\"");
  // Escapes between long plain runs keep both runs whole.
  const std::string run(100, 'x');
  EXPECT_EQ(text_of(run + "\n" + run), "\"" + run + "\\n" + run + "\"");
  // A NUL byte inside a string is an escape, not an end.
  EXPECT_EQ(text_of(std::string("a\0b", 3)), "\"a\\u0000b\"");
}

TEST(JsonWrite, ContainersKeepOrderAndRepeats) {
  Json object = Json::object();
  object.add("zeta", 1).add("alpha", "two").add("mid", false);
  EXPECT_EQ(text_of(object), "{\"zeta\":1,\"alpha\":\"two\",\"mid\":false}");

  Json map = Json::map();
  map.add_owned("k", 1).add_owned("k", 2).add_owned(std::string("a") + "b", 3);
  EXPECT_EQ(text_of(map), "{\"k\":1,\"k\":2,\"ab\":3}");

  EXPECT_EQ(text_of(Json::array().push(Json::object()).push(Json::array())), "[{},[]]");
  EXPECT_EQ(text_of(Json::map()), "{}");
  EXPECT_EQ(text_of(JsonArr{1, "x", true}), "[1,\"x\",true]");

  Json nested = Json::object().add("a", Json::array().push(Json::object().add("b", Json::array())));
  EXPECT_EQ(text_of(nested), "{\"a\":[{\"b\":[]}]}");
}

TEST(JsonWrite, KeysAreEscapedLikeStrings) {
  EXPECT_EQ(text_of(Json::object().add("say \"hi\"", 1)), "{\"say \\\"hi\\\"\":1}");
  EXPECT_EQ(text_of(Json::map().add_owned("tab\there", 1)), "{\"tab\\there\":1}");
}

TEST(JsonWrite, AppendsToExistingText) {
  std::string out = "reply ";
  json_write(Json::array().push(1), out);
  json_write(Json(-5), out);
  EXPECT_EQ(out, "reply [1]-5");
}

TEST(JsonBuild, TemporariesMoveThroughChains) {
  const std::string long_text(200, 'q');
  Json point = Json::array(2).push(3).push(long_text);
  ASSERT_EQ(point.kind(), Json::Kind::Arr);
  EXPECT_EQ(point.size(), 2u);
  EXPECT_EQ(point.as_arr()[1].as_str(), long_text);

  Json state = Json::object(4);
  Json actors = Json::array(20);
  for (int i = 0; i < 20; ++i) actors.push(Json::object(2).add("id", i).add("hp", 10 - i));
  state.add("tick", 7).add("actors", std::move(actors));
  EXPECT_EQ(state.size(), 2u);
  EXPECT_EQ(state.find("actors")->size(), 20u);
  EXPECT_EQ(state.find("actors")->as_arr()[19].find("hp")->as_int(), -9);
  EXPECT_EQ(state.find("missing"), nullptr);
  EXPECT_EQ(Json(1).find("tick"), nullptr);
}

TEST(JsonBuildDeathTest, MisuseIsABrokenInvariant) {
  EXPECT_DEATH(Json(std::uint64_t{1} << 63), "json number out of range");
  EXPECT_DEATH(Json(1).push(2), "json value is not an array");
  EXPECT_DEATH(Json::map().add("k", 1), "json value is not an object");
  EXPECT_DEATH(Json::object().add_owned("k", 1), "json value is not a map");
  EXPECT_DEATH((void)Json("x").as_int(), "json value is not an integer");
  EXPECT_DEATH((void)Json(true).size(), "json value is not a list");
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

TEST(JsonTextAddField, AddsOneFieldToWrittenObjects) {
  EXPECT_EQ(json_text_add_field("{\"ok\":true}", "replay_saved", true),
            "{\"ok\":true,\"replay_saved\":true}");
  EXPECT_EQ(json_text_add_field("{}", "slot", 2), "{\"slot\":2}");
  EXPECT_EQ(json_text_add_field("{\"a\":{}}", "b", "x\"y"), "{\"a\":{},\"b\":\"x\\\"y\"}");
  EXPECT_EQ(json_text_add_field("{\"a\":1}", "net", Json::object().add("rtt", 4)),
            "{\"a\":1,\"net\":{\"rtt\":4}}");
}

TEST(JsonTextAddField, LeavesOtherTextsUnchanged) {
  EXPECT_EQ(json_text_add_field("", "k", 1), "");
  EXPECT_EQ(json_text_add_field("[1,2]", "k", 1), "[1,2]");
  EXPECT_EQ(json_text_add_field("{\"a\":1} ", "k", 1), "{\"a\":1} ");
}

}  // namespace
}  // namespace velmora
