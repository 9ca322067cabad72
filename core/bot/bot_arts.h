// How a computer-controlled player picks a special move: every special of
// its class gets a score and a category from the situation, the class's
// focus favours some categories, and the best score of at least 30 wins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/bot/bot_searches.h"
#include "core/data/kinds_file.h"
#include "core/data/moves_file.h"

namespace velmora {

// The kind of help a special gives.
enum class SpecialCategory : std::uint8_t { support = 0, crowd = 1, ranged = 2, evade = 3, strike = 4 };

struct SpecialScore {
  std::int64_t score = 0;
  SpecialCategory category = SpecialCategory::support;
  bool operator==(const SpecialScore&) const = default;
};

// The numbers of the party and the foes that the scores are made of.
struct SpecialCounts {
  std::int64_t hurt = 0;      // allies at or below half their hit points
  std::int64_t wounded = 0;   // allies below 70 % of them
  std::int64_t downed = 0;    // knocked-out players anywhere
  std::int64_t standing = 0;  // standing foes
  std::int64_t common = 0;    // standing foes that are neither boss nor elite
  std::int64_t undead = 0;    // targetable undead foes on screen
};

SpecialCounts special_counts(const BotView& view);

// The score and category of a move now; none when it does not fit the moment.
std::optional<SpecialScore> score_special(const BotView& view, const SpecialCounts& counts, const MoveDef& m);

// The score after the focus bonus: × 3 / 2 for a favoured category.
std::int64_t with_focus(FocusKind focus, SpecialScore s);

// The position in the class's list of the special to use; the first of equal
// best scores wins, and nothing below 30 is chosen.
std::optional<std::size_t> choose_special(const BotView& view);

// Whether the bot turns toward the nearest foe in the move's band first: all
// moves but sweeps and harmless moves that do not reach behind or lunge.
bool aims_before_special(const MoveDef& m);

}  // namespace velmora
