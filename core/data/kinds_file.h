// Reader of kinds.txt: every kind of fighter, player classes and enemies alike.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/fx.h"
#include "core/data/data_names.h"

namespace velmora {

// How an enemy of the kind fights.
enum class AiRole : std::uint8_t { brute = 0, skirmisher = 1, ranged = 2, caster = 3, guard = 4 };

std::optional<AiRole> parse_ai_role(std::string_view word);
std::string_view ai_role_word(AiRole role);

// What a raised guard is.
enum class GuardKind : std::uint8_t { shield = 0, ward = 1, bubble = 2, dodge = 3 };

std::optional<GuardKind> parse_guard_kind(std::string_view word);
std::string_view guard_kind_word(GuardKind kind);

// Whom an enemy of the kind picks as its target.
enum class FocusKind : std::uint8_t { plain = 0, vanguard = 1, assassin = 2, shepherd = 3, artillery = 4 };

std::optional<FocusKind> parse_focus_kind(std::string_view word);
std::string_view focus_kind_word(FocusKind kind);

// CHANCE (per mille) TICKS of standing still.
struct StandSpec {
  std::int32_t chance = 300;
  std::uint16_t ticks = 120;
  bool operator==(const StandSpec&) const = default;
};

// One [kind NAME] section; its id is its position in the file (8-bit).
struct KindDef {
  std::string name;
  std::string skill;
  std::int32_t st = 0;
  std::int32_t dx = 0;
  std::int32_t iq = 0;
  std::int32_t ht = 0;
  std::int32_t dr = 0;
  std::int32_t toughness = 1;
  std::int32_t move_bonus = 0;
  std::array<std::int32_t, 2> body{};  // HALF_WIDTH HEIGHT, cm
  Fx accel;
  Fx brake;
  std::int32_t jog = 0;
  std::int32_t across = 0;
  std::optional<std::uint8_t> light;  // move ids
  std::optional<std::uint8_t> air;
  std::optional<std::uint8_t> dash;
  std::vector<std::uint8_t> special;  // move ids, the first is the default
  std::array<std::int32_t, 2> silver{};  // MIN MAX, inclusive
  std::uint16_t think = 1;
  std::array<std::int32_t, 2> cooldown{};  // MIN MAX ticks, inclusive
  std::int32_t jitter = 0;  // per mille, 0..1000
  bool player = false;
  bool heavy = false;
  bool boss = false;
  bool force = false;
  bool undead = false;
  bool elite = false;
  bool magery = false;
  std::vector<std::uint16_t> gear;  // item ids
  std::vector<std::uint16_t> drops;
  std::int32_t lockpick = 0;
  std::int32_t xp = 0;
  std::int32_t search = 0;
  AiRole role = AiRole::brute;
  std::array<std::int32_t, 2> keep{350, 550};  // NEAR FAR, cm
  std::int32_t flee_hp = 0;  // percent, 0..100
  std::int32_t block = 0;    // per mille, 0..1000
  StandSpec stand;
  FocusKind focus = FocusKind::plain;
  GuardKind guard = GuardKind::shield;
  std::int32_t guard_cost = 100;  // percent, not negative
  std::uint16_t guard_hold = 0;
  std::uint16_t guard_rest = 0;
};

std::vector<KindDef> read_kinds_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults);

}  // namespace velmora
