#include "core/fx.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

std::optional<std::int32_t> raw(std::string_view text) {
  auto fx = parse_fx(text);
  if (!fx) return std::nullopt;
  return fx->raw;
}

TEST(ParseFx, WholeNumbersDecimalsAndRatios) {
  EXPECT_EQ(raw("1"), 256);
  EXPECT_EQ(raw("0"), 0);
  EXPECT_EQ(raw("-1"), -256);
  EXPECT_EQ(raw("0.5"), 128);
  EXPECT_EQ(raw("0.75"), 192);
  EXPECT_EQ(raw("1.5"), 384);
  EXPECT_EQ(raw("+1.5"), 384);
  EXPECT_EQ(raw("0.1"), 25);
  EXPECT_EQ(raw("2.05"), 524);
  EXPECT_EQ(raw("0.125"), 32);
  EXPECT_EQ(raw("1/2"), 128);
  EXPECT_EQ(raw("3/4"), 192);
  EXPECT_EQ(raw("1/3"), 85);
  EXPECT_EQ(raw("-1/2"), -128);
}

TEST(ParseFx, RefusesMalformedTexts) {
  for (const char* bad : {"1/0", "1/-2", "1.5/2", ".5", "1.", "0.1234567890", "abc", "", "1e3", "1.-5",
                          "/2", "1/", "1..2"}) {
    EXPECT_FALSE(parse_fx(bad).has_value()) << bad;
  }
}

TEST(ParseFx, NegativeDecimalsNegateTheirMagnitude) {
  EXPECT_EQ(raw("-1.5"), -384);
  EXPECT_EQ(raw("-0.5"), -128);
}

TEST(ParseFx, OversizedValuesWrapWithoutUndefinedBehaviour) {
  EXPECT_EQ(raw("8388608"), static_cast<std::int32_t>(0x80000000u));  // 2^23 × 256 wraps
  EXPECT_EQ(raw("2147483647/1"), static_cast<std::int32_t>(0xFFFFFF00u));
  // The decimal sum wraps at 32 bits before the scaling.
  EXPECT_TRUE(parse_fx("2147483647.999999999").has_value());
  EXPECT_TRUE(parse_fx("-2147483648.999999999").has_value());
}

}  // namespace
}  // namespace velmora
