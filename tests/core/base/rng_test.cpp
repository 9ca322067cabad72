#include "core/base/rng.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <utility>

#include "core/base/clamp.h"

namespace velmora {
namespace {

constexpr auto i32_max = std::numeric_limits<std::int32_t>::max();
constexpr auto i32_min = std::numeric_limits<std::int32_t>::min();

// SplitMix64 from state 0 gives e220a8397b1dcdaf, 6e789e6aa1b965f4, then the
// three below; seed 0 starts at twice the gamma, the state after those two.
constexpr std::uint64_t seed0_draws[] = {0x06c45d188009454fULL, 0xf88bb8a8724c81ecULL, 0x1b39896a51a8749bULL};

TEST(Rng, SeedZeroDrawsTheReferenceSequence) {
  Rng rng = Rng::from_seed(0);
  EXPECT_EQ(rng.state, 0x3C6EF372FE94F82AULL);
  for (std::uint64_t want : seed0_draws) EXPECT_EQ(rng.next(), want);
  Rng zero{0};
  EXPECT_EQ(zero.next(), 0xe220a8397b1dcdafULL);
  EXPECT_EQ(zero.next(), 0x6e789e6aa1b965f4ULL);
  EXPECT_EQ(Rng::from_seed(golden_gamma).state, golden_gamma);  // (g ^ g) + g
  EXPECT_EQ(Rng::from_seed(~0ULL).state, (~0ULL ^ golden_gamma) + golden_gamma);
}

// Each helper makes exactly one draw and maps it by its formula, whatever the bounds.
TEST(Rng, DiceRangeAndChanceMapOneDraw) {
  const std::uint64_t first = seed0_draws[0];
  auto once = [](auto draw) {
    Rng r = Rng::from_seed(0);
    const auto value = draw(r);
    EXPECT_EQ(r.state, Rng::from_seed(0).state + golden_gamma);
    return value;
  };
  EXPECT_EQ(once([](Rng& r) { return d6(r); }), static_cast<std::int32_t>(first % 6) + 1);
  EXPECT_EQ(once([](Rng& r) { return range(r, 100, 199); }), 100 + static_cast<std::int64_t>(first % 100));
  EXPECT_EQ(once([](Rng& r) { return range(r, -2, 2); }), -2 + static_cast<std::int64_t>(first % 5));
  EXPECT_EQ(once([](Rng& r) { return range(r, 5, 4); }), 5);  // reversed bounds: lo
  constexpr auto lo = std::numeric_limits<std::int64_t>::min();  // the whole span: lo plus the draw
  EXPECT_EQ(once([](Rng& r) { return range(r, lo, std::numeric_limits<std::int64_t>::max()); }),
            static_cast<std::int64_t>(first + static_cast<std::uint64_t>(lo)));
  const auto permille = static_cast<std::int32_t>(first % 1000);
  for (const auto& c : {std::pair{permille, false}, std::pair{permille + 1, true}, std::pair{0, false},
                        std::pair{-5, false}, std::pair{1000, true}}) {
    EXPECT_EQ(once([&](Rng& r) { return chance(r, c.first); }), c.second) << c.first;
  }
}

struct OutcomeCase {
  std::int32_t roll;
  std::int32_t skill;
  RollOutcome outcome;
};

// Critical successes at 3-4 always, 5 from skill 15, 6 from 16; critical
// failures at 18 always, 17 below skill 16, and 10 or more over the skill;
// otherwise success at or under the skill, 17 failing at best.
TEST(Rng, RollOutcomeTable) {
  using O = RollOutcome;
  const OutcomeCase cases[] = {
      {3, 3, O::critical_success},  {4, -20, O::critical_success}, {5, 15, O::critical_success},
      {5, 14, O::success},          {5, 5, O::success},            {5, 4, O::failure},
      {6, 16, O::critical_success}, {6, 15, O::success},           {10, 10, O::success},
      {11, 10, O::failure},         {15, 5, O::critical_failure},  {14, 5, O::failure},
      {16, 16, O::success},         {17, 16, O::failure},          {17, 15, O::critical_failure},
      {17, 30, O::failure},         {18, 30, O::critical_failure}, {13, 3, O::critical_failure},
      {12, 3, O::failure},          {6, i32_max, O::critical_success}, {12, i32_max, O::success},
      {7, i32_min, O::critical_failure},
  };
  for (const OutcomeCase& c : cases) {
    EXPECT_EQ(roll_outcome(c.roll, c.skill), c.outcome) << "roll " << c.roll << " skill " << c.skill;
  }
}

TEST(Rng, Roll3d6DrawsThreeTimesWhateverTheOutcome) {
  const auto roll = static_cast<std::int32_t>(seed0_draws[0] % 6 + seed0_draws[1] % 6 + seed0_draws[2] % 6 + 3);
  for (std::int32_t skill : {-100, 3, 10, 16, 1000}) {
    Rng rng = Rng::from_seed(0);
    const Roll r = roll_3d6(rng, skill);
    EXPECT_EQ(r, (Roll{roll, skill, roll_outcome(roll, skill)}));
    EXPECT_EQ(rng.state, Rng::from_seed(0).state + 3 * golden_gamma);
  }
}

TEST(Clamp, EmptyRangeAndSaturation) {
  EXPECT_EQ(clamp_value(-5, 0, 10), 0);
  EXPECT_EQ(clamp_value(50, 0, 10), 10);
  EXPECT_EQ(clamp_value(7, 600, 400), 600);  // empty range: low wins
  EXPECT_EQ(clamp_value(700, 600, 400), 600);
  EXPECT_EQ(saturate_i32(std::int64_t{1} << 40), i32_max);
  EXPECT_EQ(saturate_i32(-(std::int64_t{1} << 40)), i32_min);
  EXPECT_EQ(saturate_u32(-1), 0u);
  EXPECT_EQ(saturate_u16(70000), 65535);
  EXPECT_EQ(saturating_add16(65530, 10), 65535);
  EXPECT_EQ(count_down(0), 0);
  constexpr auto big = std::numeric_limits<std::int64_t>::max();
  EXPECT_EQ(saturating_mul64(big, -2), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(saturating_mul64(-3, 4), -12);
  EXPECT_EQ(saturating_add64(big, 1), big);
  EXPECT_EQ(fx_from_cm(-250).raw, -250 * 256);
  EXPECT_EQ(fx_from_cm(std::int64_t{1} << 40).raw, (i32_max / 256) * 256);
}

}  // namespace
}  // namespace velmora
