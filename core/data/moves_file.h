// Reader of moves.txt: every attack, special, spell and item-use motion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/data/data_names.h"
#include "core/data/value_readers.h"

namespace velmora {

// Where the damage of a blow comes from.
enum class DamageBase : std::uint8_t { thrust = 0, swing = 1, dice = 2 };

std::optional<DamageBase> parse_damage_base(std::string_view word);
std::string_view damage_base_word(DamageBase base);

// What a hit does to the target's body.
enum class ReactionKind : std::uint8_t { stagger = 0, knockdown = 1 };

std::optional<ReactionKind> parse_reaction_kind(std::string_view word);
std::string_view reaction_kind_word(ReactionKind kind);

// Two numbers FROM TO.
struct FromTo {
  std::int32_t from = 0;
  std::int32_t to = 0;
  bool operator==(const FromTo&) const = default;
};

// Two frame counts FROM TO.
struct FrameSpan {
  std::uint16_t from = 0;
  std::uint16_t to = 0;
  bool operator==(const FrameSpan&) const = default;
};

// "next = MOVE from FRAME": chain into `move` when attack is pressed from `frame` on.
struct ChainSpec {
  std::uint8_t move = 0;
  std::uint16_t frame = 0;
  bool operator==(const ChainSpec&) const = default;
};

// SPEED RANGE of a thrown move.
struct ProjectileSpec {
  std::int32_t speed = 0;
  std::int32_t range = 0;
  bool operator==(const ProjectileSpec&) const = default;
};

// HP TICKS of temporary hit points.
struct RallySpec {
  std::int32_t hp = 0;
  std::uint16_t ticks = 0;
  bool operator==(const RallySpec&) const = default;
};

// TICKS PERCENT of vanishing.
struct VanishSpec {
  std::uint16_t ticks = 0;
  std::int32_t percent = 0;
  bool operator==(const VanishSpec&) const = default;
};

// DAMAGE TICKS of poison.
struct PoisonSpec {
  std::int32_t damage = 0;
  std::uint16_t ticks = 0;
  bool operator==(const PoisonSpec&) const = default;
};

// DR TICKS of a ward (moves and items).
struct WardSpec {
  std::int32_t dr = 0;
  std::uint16_t ticks = 0;
  bool operator==(const WardSpec&) const = default;
};

// TICKS HP of turning the undead.
struct TurnUndeadSpec {
  std::uint16_t ticks = 0;
  std::int32_t hp = 0;
  bool operator==(const TurnUndeadSpec&) const = default;
};

// RADIUS TICKS of an area effect (a move's freeze, an item's turn).
struct RadiusTicks {
  std::int32_t radius = 0;
  std::uint16_t ticks = 0;
  bool operator==(const RadiusTicks&) const = default;
};

// DICE ADD TYPE of a storm.
struct StormSpec {
  std::int32_t dice = 0;
  std::int32_t add = 0;
  DamageType damage_type = DamageType::crushing;
  bool operator==(const StormSpec&) const = default;
};

// One [move NAME] section; its id is its position in the file (8-bit).
struct MoveDef {
  std::string name;
  std::string title;
  std::string blurb;
  std::uint16_t startup = 0;
  std::uint16_t active = 0;
  std::uint16_t recovery = 0;
  FromTo forward;
  FromTo height;
  std::int32_t depth = 0;
  DamageBase damage_base = DamageBase::thrust;
  std::int32_t damage_dice = 0;
  std::int32_t damage_add = 0;
  DamageType damage_type = DamageType::crushing;
  ReactionKind reaction = ReactionKind::stagger;
  std::int32_t stun = 0;
  std::int32_t push = 0;
  std::int32_t vx = 0;
  std::int32_t vy = 0;
  std::uint8_t hitstop = 4;
  std::int32_t lunge = 0;
  std::optional<ChainSpec> next;
  std::int32_t stamina = 8;
  std::int32_t fp = 0;
  FrameSpan invulnerable;
  bool armor = false;
  bool air = false;
  bool backstab = false;
  bool harmless = false;
  bool turn = false;
  bool spell = false;
  std::optional<ProjectileSpec> projectile;
  std::int32_t armor_divisor = 1;
  std::int32_t requires_skill = 0;  // the `requires` key (a keyword in C++)
  std::int32_t spread = 0;
  std::int32_t price = 0;
  std::int32_t backstab_mult = 2;
  std::int32_t heal = 0;
  std::int32_t raise = 0;
  std::int32_t undead_mult = 1;
  std::optional<RallySpec> rally;
  std::uint16_t shout = 0;
  std::uint16_t taunt = 0;
  std::uint16_t sap = 0;
  std::uint16_t sleep = 0;
  std::optional<VanishSpec> vanish;
  std::optional<PoisonSpec> poison;
  std::optional<WardSpec> ward;
  std::optional<TurnUndeadSpec> turn_undead;
  std::optional<RadiusTicks> freeze;
  std::optional<BurstSpec> burst;
  std::optional<StormSpec> storm;
};

// One record per [move NAME] section in file order; faults are recorded and
// a faulty section still gives a record (with fallbacks).
std::vector<MoveDef> read_moves_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults);

}  // namespace velmora
