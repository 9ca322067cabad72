#include "core/base/text.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(WhiteSpace, EveryUnicodeWhiteSpaceCharacterAndNoOther) {
  for (const std::string s : {"\t", "\n", "\v", "\f", "\r", " ", "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\x80",
                              "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
                              "\xE3\x80\x80"}) {
    EXPECT_EQ(trim_white(s + "x" + s + "y" + s), "x" + s + "y") << s.size() << " bytes";
    EXPECT_EQ(split_words(s + "a" + s + s + "b"), (std::vector<std::string_view>{"a", "b"})) << s.size();
  }
  // Near misses: zero-width space U+200B, U+2060, a lone lead or continuation byte.
  for (std::string_view kept : {"\xE2\x80\x8Bx", "x\xE2\x81\xA0", "x\xC2", "\x85x"}) EXPECT_EQ(trim_white(kept), kept);
  EXPECT_EQ(trim_white(" \t "), "");
}

TEST(WholeNumbers, SignsDigitsAndRange) {
  EXPECT_EQ(parse_whole("+30"), 30);
  EXPECT_EQ(parse_whole("-0042"), -42);
  EXPECT_EQ(parse_whole("2147483647"), 2147483647);
  EXPECT_EQ(parse_whole("-2147483648"), INT32_MIN);
  EXPECT_EQ(parse_whole("000000000000000000000000000007"), 7);
  for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999999", "", "+", "-", "1 ", "1.0", "0x10",
                          "+-1", "1e3", "\xD9\xA3"}) {
    EXPECT_FALSE(parse_whole(bad).has_value()) << bad;
  }
}

TEST(UnsignedNumbers, OptionalPlusAndTheLimit) {
  EXPECT_EQ(parse_unsigned("+8000", 65535), 8000u);
  EXPECT_EQ(parse_unsigned("255", 255), 255u);
  EXPECT_EQ(parse_unsigned("18446744073709551615"), UINT64_MAX);
  for (auto [text, max] : {std::pair<const char*, std::uint64_t>{"70000", 65535}, {"256", 255}, {"4", 3},
                           {"18446744073709551616", UINT64_MAX}, {"-1", UINT64_MAX}, {"", UINT64_MAX}}) {
    EXPECT_FALSE(parse_unsigned(text, max).has_value()) << text;
  }
}

TEST(Utf8AndHex, WellFormedBytesAndSixteenDigits) {
  EXPECT_TRUE(valid_utf8("plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
  for (const char* bad : {"\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "\xFF", "\x80"}) {
    EXPECT_FALSE(valid_utf8(bad));
  }
  EXPECT_EQ(hex16(0), "0000000000000000");
  EXPECT_EQ(hex16(0xABCDEF0123456789ULL), "abcdef0123456789");
}

}  // namespace
}  // namespace velmora
