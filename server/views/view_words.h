// What the views share: positions in whole centimetres, the stage record of
// an index, and the words that events and views both show.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/base/fx.h"
#include "core/base/panic.h"
#include "core/data/game_data.h"
#include "core/world/world.h"

namespace velmora {

// A Fx position in whole centimetres, rounding down.
inline std::int32_t whole(Fx value) { return value.floor_int(); }

inline const StageDef& stage_at(std::uint64_t index) {
  const auto& stages = game_data().stages;
  VELMORA_CHECK(index < stages.size(), "stage index out of range");
  return stages[index];
}

inline std::string_view pickup_detail(PickupTag tag) {
  switch (tag) {
    case PickupTag::food: return "food";
    case PickupTag::silver: return "silver";
    default: return "item";
  }
}

inline std::string_view work_word(std::uint8_t work_kind) {
  if (work_kind == 1) return "pick";
  if (work_kind == 3) return "disarm";
  return "force";
}

inline std::string_view held_word(std::uint8_t held) {
  if (held == 0) return "";
  if (held == 1) return "asleep";
  return "frozen";
}

}  // namespace velmora
