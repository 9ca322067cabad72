// Fighters and character sheets: the Actor record of a world, the sheet a
// party member keeps between stages, the derived pools, character points,
// party slots and the small lookups of kinds, items and moves.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/base/fx.h"
#include "core/base/result.h"
#include "core/base/small_vector.h"
#include "core/data/game_data.h"

namespace velmora {

struct World;

// Inline capacities of the small lists. Every list moves to the heap when it
// outgrows them, so they are sizes for speed, not limits.
inline constexpr std::uint32_t hit_list_inline = 16;  // actors struck by one move
inline constexpr std::uint32_t bag_inline = 16;       // items carried
inline constexpr std::uint32_t arts_inline = 8;       // the special wheel selects 8 at most

using ItemList = SmallVector<std::uint16_t, bag_inline>;
using ArtList = SmallVector<std::uint8_t, arts_inline>;
using HitList = SmallVector<std::uint16_t, hit_list_inline>;

// Worn items by ItemSlot weapon 0, head 1, body 2.
using Worn = std::array<std::optional<std::uint16_t>, 3>;

// What a character point buys.
enum class Attribute : std::uint8_t { st = 0, dx = 1, iq = 2, ht = 3, skill = 4 };

inline constexpr std::size_t attribute_count = 5;

std::string_view attribute_word(Attribute attribute);
std::optional<Attribute> parse_attribute(std::string_view word);
std::int32_t attribute_cost(Attribute attribute);       // 10, 20, 20, 10, 4
std::int32_t attribute_max_raise(Attribute attribute);  // 5, 5, 5, 5, 4

enum class ActorState : std::uint8_t {
  idle = 0,
  walk = 1,
  jump = 2,
  attack = 3,
  dash = 4,
  block = 5,
  stun = 6,
  fall = 7,
  down = 8,
  getup = 9,
  ko = 10,
  work = 11,
  dodge = 12,
};

// A party member's persistent record between stages.
struct CharacterSheet {
  ItemList bag;
  ArtList arts;
  Worn worn{};
  std::array<std::int32_t, attribute_count> raises{};  // st, dx, iq, ht, skill
  std::int32_t xp = 0;
  std::int32_t points_spent = 0;
  std::int32_t silver = 0;
  std::uint8_t class_id = 0;  // the kind id of the class (the `class` field)
  std::uint8_t slot = 0;

  std::int32_t& raise(Attribute a) { return raises[static_cast<std::size_t>(a)]; }
  std::int32_t raise(Attribute a) const { return raises[static_cast<std::size_t>(a)]; }
  bool operator==(const CharacterSheet&) const = default;
};

// Character points available: xp / 10 - points spent (64 bits, never wraps).
std::int64_t available_points(const CharacterSheet& sheet);

// One fighter of a world. Fields keep the record's order; all counters start
// at 0 and all optional ids at none.
struct Actor {
  HitList hit_list;
  ItemList bag;
  ArtList arts;
  std::optional<CharacterSheet> sheet;
  std::int32_t st = 0;
  std::int32_t dx = 0;
  std::int32_t iq = 0;
  std::int32_t ht = 0;
  std::int32_t dr = 0;
  std::int32_t toughness = 0;
  std::int32_t move_bonus = 0;
  std::uint8_t magery = 0;
  std::optional<std::uint16_t> ai_lock;
  std::optional<std::uint16_t> ai_target;
  std::optional<std::uint16_t> ai_threat;
  std::uint16_t ai_think = 0;
  std::uint16_t ai_cooldown = 0;
  std::uint16_t ai_buttons = 0;
  std::uint16_t taunt_ticks = 0;
  std::uint16_t ai_retreat = 0;
  std::uint16_t ai_stand = 0;
  std::uint8_t ai_engaged = 0;
  std::uint8_t ai_stand_armed = 0;
  std::int8_t ai_side = 0;
  Worn gear{};
  std::optional<std::uint16_t> quick;
  std::optional<std::uint16_t> item_in_use;
  Fx x, y, z;
  Fx vx, vy, vz;
  std::int32_t hp = 0;
  std::int32_t hp_max = 0;
  std::int32_t fp = 0;
  std::int32_t fp_max = 0;
  std::int32_t mana = 0;
  std::int32_t mana_max = 0;
  std::int32_t sta = 0;
  std::int32_t sta_max = 0;
  std::int32_t silver = 0;
  std::int32_t skill = 0;
  std::int32_t xp = 0;
  std::int32_t ward_dr = 0;
  std::int32_t temp_hp = 0;
  std::int32_t poison = 0;
  std::int32_t vanish_speed = 0;
  std::uint16_t id = 0;
  std::uint16_t state_ticks = 0;
  std::uint16_t stun = 0;
  std::uint16_t invuln = 0;
  std::uint16_t fp_regen = 0;
  std::uint16_t mana_regen = 0;
  std::uint16_t stamina_delay = 0;
  std::uint16_t stamina_regen = 0;
  std::uint16_t prev_buttons = 0;
  std::uint16_t work_target = 0;
  std::uint16_t work_ticks = 0;
  std::uint16_t ward_ticks = 0;
  std::uint16_t temp_hp_ticks = 0;
  std::uint16_t poison_interval = 0;
  std::uint16_t poison_counter = 0;
  std::uint16_t poisoner = 0;
  std::uint16_t stealth = 0;
  std::uint16_t guard_cooldown = 0;
  std::uint8_t team = 0;
  std::uint8_t chain_queued = 0;
  std::uint8_t air_attacked = 0;
  std::uint8_t winded = 0;
  std::uint8_t gone = 0;
  std::uint8_t vanish_strike = 0;
  std::uint8_t held = 0;
  ActorState state = ActorState::idle;
  std::uint8_t kind = 0;
  std::uint8_t slot = 0;
  std::int8_t facing = 0;
  std::uint8_t move = 0;
  std::uint8_t juggle = 0;
  std::uint8_t hitstop = 0;
  std::uint8_t work_kind = 0;
  std::uint8_t special = 0;

  // Not gone and not knocked out.
  bool live() const { return gone == 0 && state != ActorState::ko; }
  bool operator==(const Actor&) const = default;
};

// The derived pools, computed in 64 bits and held within 32.
std::int32_t hp_for(std::int32_t st, std::int32_t toughness);  // ST × toughness
std::int32_t fp_for(std::int32_t ht);                          // HT
std::int32_t mana_for(std::int32_t iq, bool magery);           // 2 × IQ - 16 with magery and IQ ≥ 9, else 0
std::int32_t sta_for(std::int32_t ht);                         // 10 × HT

// ST, DX, IQ, HT of the class plus the raises, then the class's own values.
struct SheetAttributes {
  std::int32_t st = 0;
  std::int32_t dx = 0;
  std::int32_t iq = 0;
  std::int32_t ht = 0;
  std::int32_t dr = 0;
  std::int32_t toughness = 0;
  std::int32_t move_bonus = 0;
  std::int32_t magery = 0;
  bool operator==(const SheetAttributes&) const = default;
};

SheetAttributes sheet_attributes(const CharacterSheet& sheet);

// Puts the attributes on the actor (its pools are left as they are).
void set_attributes(Actor& a, const SheetAttributes& s);

// An enemy (or any fighter) of a kind; x and z in whole centimetres.
Actor actor_from_kind(std::uint16_t id, std::uint8_t kind, std::uint8_t team, std::uint8_t slot, std::int32_t x,
                      std::int32_t z, std::int8_t facing);

// A player built from a sheet: team 0, facing right.
Actor actor_from_sheet(std::uint16_t id, const CharacterSheet& sheet, std::uint8_t slot, std::int32_t x,
                       std::int32_t z);

// A fresh character of a class, wearing the class's starting gear.
CharacterSheet new_character(std::uint8_t class_id);

// The sheet of an actor at this moment (live bag, arts, gear, xp, silver, slot).
CharacterSheet actor_character(const Actor& actor);

// The present players' sheets, ordered by slot.
std::vector<CharacterSheet> party_sheets(const World& world);

// The slots of the first n sheets: their own when distinct and below 4, else 0 .. n-1.
std::vector<std::uint8_t> party_slots(const std::vector<CharacterSheet>& sheets, std::size_t n);

// Buys one raise of an attribute; refuses at the highest raise or without points.
Status spend_point(CharacterSheet& sheet, Attribute attribute);

// Whether the actor may start special number n of its kind's list.
bool can_use_special(const Actor& actor, std::size_t n);

// The actor's own DR plus its worn items' DR plus a running ward.
std::int32_t total_dr(const Actor& actor);

// The summed fatigue of the worn items.
std::int32_t gear_fatigue(const Actor& actor);

// Lookups by id; an id beyond its list is a broken invariant and panics.
const KindDef& kind_by_id(std::uint8_t kind);
const ItemDef& item_def(std::uint16_t item);
const MoveDef& move_def(std::uint8_t move);

bool kind_heavy(std::uint8_t kind);

// The move ids a kind fights with; special is the first of its special list.
struct KindMoves {
  std::optional<std::uint8_t> light;
  std::optional<std::uint8_t> special;
  std::optional<std::uint8_t> air;
  std::optional<std::uint8_t> dash;
  bool operator==(const KindMoves&) const = default;
};

KindMoves kind_moves(std::uint8_t kind);

// The kind's silver drop range, MIN and MAX.
std::array<std::int32_t, 2> kind_silver(std::uint8_t kind);

// The kind of that exact name when it is a playable class; none otherwise
// (a non-playable first match stops the search).
std::optional<std::uint8_t> class_by_name(std::string_view name);

// The first playable kind: the default class.
std::uint8_t default_class();

}  // namespace velmora
