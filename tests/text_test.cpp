#include "core/text.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(WhiteSpace, RecognisesEveryUnicodeWhiteSpaceCharacter) {
  const char* spaces[] = {"\t", "\n", "\v", "\f", "\r", " ", "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80",
                          "\xE2\x80\x80", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9",
                          "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};
  for (const char* s : spaces) {
    EXPECT_EQ(trim_white(std::string("x") + s + "y" + s).size(), 2 + std::char_traits<char>::length(s))
        << "character of " << std::char_traits<char>::length(s) << " bytes";
    EXPECT_EQ(trim_white(std::string(s) + "x" + s), "x");
  }
  // Near misses are not white space: zero-width space U+200B, U+2060, NEL's lead alone.
  EXPECT_EQ(trim_white("\xE2\x80\x8Bx"), "\xE2\x80\x8Bx");
  EXPECT_EQ(trim_white("x\xE2\x81\xA0"), "x\xE2\x81\xA0");
  EXPECT_EQ(trim_white("x\xC2"), "x\xC2");
  EXPECT_EQ(trim_white("\x85x"), "\x85x");
  EXPECT_EQ(trim_white(" \t "), "");
}

TEST(WhiteSpace, SplitsWordsAtRuns) {
  EXPECT_EQ(split_words("  a \t bb\xE3\x80\x80 c "), (std::vector<std::string_view>{"a", "bb", "c"}));
  EXPECT_TRUE(split_words("   ").empty());
}

TEST(WholeNumbers, SignsDigitsAndRange) {
  EXPECT_EQ(parse_whole("+30"), 30);
  EXPECT_EQ(parse_whole("-0042"), -42);
  EXPECT_EQ(parse_whole("2147483647"), 2147483647);
  EXPECT_EQ(parse_whole("-2147483648"), INT32_MIN);
  EXPECT_EQ(parse_whole("000000000000000000000000000007"), 7);
  for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999999", "", "+", "-", "1 ",
                          "1.0", "0x10", "+-1", "1e3", "٣"}) {
    EXPECT_FALSE(parse_whole(bad).has_value()) << bad;
  }
}

TEST(UnsignedNumbers, OptionalPlusAndTypeLimit) {
  EXPECT_EQ(parse_unsigned("+8000", 65535), 8000u);
  EXPECT_FALSE(parse_unsigned("70000", 65535).has_value());
  EXPECT_EQ(parse_unsigned("18446744073709551615"), UINT64_MAX);
  EXPECT_FALSE(parse_unsigned("18446744073709551616").has_value());
  EXPECT_FALSE(parse_unsigned("-1").has_value());
  EXPECT_FALSE(parse_unsigned("4", 3).has_value());
  EXPECT_EQ(parse_unsigned("3", 3), 3u);
  EXPECT_FALSE(parse_unsigned("256", 255).has_value());
  EXPECT_EQ(parse_unsigned("255", 255), 255u);
  EXPECT_FALSE(parse_unsigned("").has_value());
}

TEST(Utf8, AcceptsWellFormedAndRefusesTheRest) {
  EXPECT_TRUE(valid_utf8("plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
  for (const char* bad : {"\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3",
                          "\xFF", "\x80"}) {
    EXPECT_FALSE(valid_utf8(bad));
  }
}

TEST(Hex, SixteenLowerCaseDigits) {
  EXPECT_EQ(hex16(0), "0000000000000000");
  EXPECT_EQ(hex16(0xABCDEF0123456789ULL), "abcdef0123456789");
}

}  // namespace
}  // namespace velmora
