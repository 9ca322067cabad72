#include "core/base/fx.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

std::optional<std::int32_t> raw(std::string_view text) {
  const auto fx = parse_fx(text);
  if (!fx) return std::nullopt;
  return fx->raw;
}

TEST(ParseFx, WholeNumbersDecimalsAndRatios) {
  const std::pair<const char*, std::int32_t> good[] = {
      {"1", 256},      {"0", 0},       {"-1", -256},    {"0.5", 128},    {"0.75", 192}, {"1.5", 384},
      {"+1.5", 384},   {"0.1", 25},    {"2.05", 524},   {"0.125", 32},   {"1/2", 128},  {"3/4", 192},
      {"1/3", 85},     {"-1/2", -128}, {"-1.5", -384},  {"-0.5", -128}};
  for (const auto& [text, value] : good) EXPECT_EQ(raw(text), value) << text;
  for (const char* bad : {"1/0", "1/-2", "1.5/2", ".5", "1.", "0.1234567890", "abc", "", "1e3", "1.-5",
                          "/2", "1/", "1..2"}) {
    EXPECT_FALSE(parse_fx(bad).has_value()) << bad;
  }
}

TEST(ParseFx, OversizedValuesWrapWithoutUndefinedBehaviour) {
  EXPECT_EQ(raw("8388608"), INT32_MIN);  // 2^23 × 256 wraps
  EXPECT_EQ(raw("2147483647/1"), -256);
  // The decimal sum A × 10^k + F wraps at 32 bits before the scaling.
  EXPECT_EQ(raw("2147483647.999999999"), 0);
  EXPECT_EQ(raw("-2147483648.999999999"), -255);
}

}  // namespace
}  // namespace velmora
