#include "core/base/rng.h"

namespace velmora {

std::int32_t d6(Rng& rng) { return static_cast<std::int32_t>(rng.next() % 6) + 1; }

std::int64_t range(Rng& rng, std::int64_t lo, std::int64_t hi) {
  const std::uint64_t draw = rng.next();
  if (lo > hi) return lo;
  // The span is counted in unsigned 64 bits; 0 means the whole 64-bit range.
  const std::uint64_t span = static_cast<std::uint64_t>(hi) - static_cast<std::uint64_t>(lo) + 1;
  const std::uint64_t offset = span == 0 ? draw : draw % span;
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(lo) + offset);
}

bool chance(Rng& rng, std::int32_t per_mille) {
  return static_cast<std::int64_t>(rng.next() % 1000) < per_mille;
}

RollOutcome roll_outcome(std::int32_t roll, std::int32_t skill) {
  const std::int64_t target = skill;
  if (roll <= 4 || (roll == 5 && target >= 15) || (roll == 6 && target >= 16)) return RollOutcome::critical_success;
  if (roll == 18 || (roll == 17 && target < 16) || roll >= target + 10) return RollOutcome::critical_failure;
  if (roll >= 17 || roll > target) return RollOutcome::failure;
  return RollOutcome::success;
}

Roll roll_3d6(Rng& rng, std::int32_t skill) {
  const std::uint64_t a = rng.next();
  const std::uint64_t b = rng.next();
  const std::uint64_t c = rng.next();
  const auto roll = static_cast<std::int32_t>(a % 6 + b % 6 + c % 6 + 3);
  return Roll{roll, skill, roll_outcome(roll, skill)};
}

}  // namespace velmora
