// The one random generator of a game (SplitMix64 over a 64-bit state kept in
// the world) and the dice drawn from it.
#pragma once

#include <cstdint>

namespace velmora {

inline constexpr std::uint64_t golden_gamma = 0x9E3779B97F4A7C15ULL;

struct Rng {
  std::uint64_t state = 0;

  // The generator of a new game: (seed XOR gamma) + gamma, wrapping.
  static constexpr Rng from_seed(std::uint64_t seed) { return Rng{(seed ^ golden_gamma) + golden_gamma}; }

  // One SplitMix64 step.
  constexpr std::uint64_t next() {
    state += golden_gamma;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  constexpr bool operator==(const Rng&) const = default;
};

// 1 to 6.
std::int32_t d6(Rng& rng);

// lo to hi inclusive, one draw. When lo > hi (bounds in the wrong order) the
// draw is still made and the answer is lo.
std::int64_t range(Rng& rng, std::int64_t lo, std::int64_t hi);

// True with a chance of per_mille in 1000; 0 or less never, 1000 or more always.
bool chance(Rng& rng, std::int32_t per_mille);

enum class RollOutcome : std::uint8_t { critical_success = 0, success = 1, failure = 2, critical_failure = 3 };

// A 3d6 test against a skill.
struct Roll {
  std::int32_t roll = 0;   // 3 to 18
  std::int32_t skill = 0;  // the target number used
  RollOutcome outcome = RollOutcome::failure;

  bool succeeded() const { return outcome == RollOutcome::critical_success || outcome == RollOutcome::success; }
  bool operator==(const Roll&) const = default;
};

// The outcome of a 3d6 total against a skill.
RollOutcome roll_outcome(std::int32_t roll, std::int32_t skill);

// Three draws, always, whatever the outcome.
Roll roll_3d6(Rng& rng, std::int32_t skill);

}  // namespace velmora
