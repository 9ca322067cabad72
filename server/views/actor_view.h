// The actor entries of the world view: one flat view per actor, read from a
// World and the installed game data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/world/world.h"

namespace velmora {

// One special of a player's class and what the player may do with it.
struct SpecialView {
  std::string name;
  std::string title;
  std::int32_t fp = 0;
  bool spell = false;
  std::int32_t requires_skill = 0;  // the "requires" key
  bool unlocked = false;
  bool learned = false;
  std::int32_t price = 0;
  std::string blurb;
  bool operator==(const SpecialView&) const = default;
};

// One entry of the world view's actor list; one field per key, in key order.
struct ActorView {
  std::int32_t id = 0;
  std::string kind;
  bool player = false;
  std::int32_t slot = -1;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t z = 0;
  std::int32_t facing = 1;
  std::string state;
  std::string move;
  std::string phase;
  std::int32_t frame = 0;
  std::int32_t phase_frame = 0;
  std::int32_t phase_len = 0;
  std::int32_t hp = 0;
  std::int32_t hp_max = 0;
  std::int32_t fp = 0;
  std::int32_t fp_max = 0;
  std::int32_t mana = 0;
  std::int32_t mana_max = 0;
  std::int32_t sta = 0;
  std::int32_t sta_max = 0;
  bool winded = false;
  std::int32_t silver = 0;
  std::array<std::string, 3> gear;         // weapon, head, body item names
  std::array<std::string, 3> gear_models;  // their model texts
  std::vector<std::string> bag;            // item titles in bag order
  std::int32_t bag_value = 0;
  std::int32_t carried = 0;  // tenths of a pound
  std::int32_t encumbrance = 0;
  std::string work;
  std::int32_t work_pct = 0;
  std::int32_t dr = 0;
  std::int32_t fatigue = 0;
  std::int32_t skill = 0;
  std::int32_t xp = 0;
  std::int32_t points = 0;
  bool invuln = false;
  bool frozen = false;
  std::string quick;
  std::string quick_title;
  std::string quick_model;
  std::int32_t quick_count = 0;
  std::int32_t quick_kinds = 0;
  std::string quick_prev_model;
  std::string quick_next_model;
  std::int32_t ward = 0;
  std::vector<SpecialView> specials;  // players only
  std::int32_t special = 0;
  std::int32_t temp_hp = 0;
  bool poisoned = false;
  bool stealth = false;
  bool taunted = false;
  std::string held;
  std::string guard;
  bool operator==(const ActorView&) const = default;
};

// Walks a world's actors for `actor_view`.
struct ActorCursor {
  const World& world;
  std::size_t next = 0;
};

// The view of the next actor that has not left the stage (knocked-out actors
// included); none at the end of the list.
std::optional<ActorView> actor_view(ActorCursor& cursor);

// The model text of the bag consumable `step` (-1 or +1) places from the
// quick item, wrapping around; "" without a quick item, when the quick item
// is not among the bag's consumables, or when there is just one of them.
std::string_view actor_model_name(const Actor& actor, int step);

}  // namespace velmora
