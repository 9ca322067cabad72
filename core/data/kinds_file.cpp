#include "core/data/kinds_file.h"

#include <algorithm>
#include <array>

#include "core/base/text.h"
#include "core/data/value_readers.h"

namespace velmora {

namespace {

constexpr std::string_view gait_form = "ACCEL BRAKE JOG ACROSS, all above zero";

// The known keys; none may repeat (constant-initialized, like every key table).
constexpr std::array<std::string_view, 37> kind_keys = {
    "attributes", "dr",       "toughness", "move_bonus", "body",   "gait",      "light",   "special",
    "air",        "dash",     "silver",    "think",      "cooldown", "jitter",  "player",  "heavy",
    "boss",       "gear",     "lockpick",  "force",      "drops",  "xp",        "skill",   "search",
    "undead",     "elite",    "magery",    "role",       "keep",   "flee_hp",   "block",   "stand",
    "focus",      "guard",    "guard_cost", "guard_hold", "guard_rest"};

// A key whose whole value is one word of an enumeration; the fallback when
// missing or bad.
template <class Enum>
Enum read_word(SectionReader& reader, std::string_view key, Enum fallback,
               std::optional<Enum> (*parse)(std::string_view), std::string_view form) {
  const SectionEntry* entry = reader.find_value(key, false);
  if (entry == nullptr) return fallback;
  if (const auto value = parse(entry->value)) return *value;
  reader.must_be(entry->line, key, form);
  return fallback;
}

void read_gait(SectionReader& reader, KindDef& kind) {
  const SectionEntry* entry = reader.find_value("gait", true);
  if (entry == nullptr) return;
  const auto words = split_words(entry->value);
  if (words.size() == 4) {
    const auto accel = parse_fx(words[0]);
    const auto brake = parse_fx(words[1]);
    const auto jog = parse_whole(words[2]);
    const auto across = parse_whole(words[3]);
    if (accel && brake && jog && across && accel->raw > 0 && brake->raw > 0 && *jog > 0 && *across > 0) {
      kind.accel = *accel;
      kind.brake = *brake;
      kind.jog = *jog;
      kind.across = *across;
      return;
    }
  }
  reader.must_be(entry->line, "gait", gait_form);
}

std::array<std::int32_t, 2> read_pair(SectionReader& reader, std::string_view key,
                                      std::optional<std::vector<std::int32_t>> fallback) {
  const auto v = reader.read_ints(key, 2, std::move(fallback));
  return {v[0], v[1]};
}

// Attributes, body, gait and moves.
void read_body(SectionReader& reader, const DataNames& names, KindDef& kind) {
  const auto attributes = reader.read_ints("attributes", 4, std::nullopt);
  kind.st = attributes[0];
  kind.dx = attributes[1];
  kind.iq = attributes[2];
  kind.ht = attributes[3];
  kind.dr = reader.read_int("dr", 0);
  kind.toughness = reader.read_int("toughness", 1);
  kind.move_bonus = reader.read_int("move_bonus", 0);
  kind.magery = reader.read_flag("magery");
  kind.body = read_pair(reader, "body", std::nullopt);
  read_gait(reader, kind);
  kind.special = reader.read_byte_refs("special", names.moves, "moves from moves.txt");
  kind.light = reader.read_move_ref("light", names.moves);
  kind.air = reader.read_move_ref("air", names.moves);
  kind.dash = reader.read_move_ref("dash", names.moves);
}

// Silver and the AI numbers.
void read_behaviour(SectionReader& reader, KindDef& kind) {
  kind.silver = read_pair(reader, "silver", std::vector<std::int32_t>{0, 0});
  kind.cooldown = read_pair(reader, "cooldown", std::vector<std::int32_t>{0, 0});
  kind.role = read_word(reader, "role", AiRole::brute, parse_ai_role,
                        "brute|skirmisher|ranged|caster|guard");
  kind.keep = read_pair(reader, "keep", std::vector<std::int32_t>{350, 550});
  const auto stand = reader.read_ints("stand", 2, std::vector<std::int32_t>{300, 120});
  kind.stand = StandSpec{std::clamp(stand[0], 0, 1000), limit_ticks(stand[1])};
  kind.guard = read_word(reader, "guard", GuardKind::shield, parse_guard_kind, "shield|ward|bubble|dodge");
  kind.focus = read_word(reader, "focus", FocusKind::plain, parse_focus_kind,
                         "plain|vanguard|assassin|shepherd|artillery");
  kind.think = frame_count(reader.read_int("think", 1));
  kind.jitter = std::clamp(reader.read_int("jitter", 0), 0, 1000);
}

// Flags, gear, skills and guard numbers.
void read_traits(SectionReader& reader, const DataNames& names, KindDef& kind) {
  kind.player = reader.read_flag("player");
  kind.heavy = reader.read_flag("heavy");
  kind.boss = reader.read_flag("boss");
  kind.gear = reader.read_item_refs("gear", names.items);
  kind.lockpick = reader.read_int("lockpick", 0);
  kind.force = reader.read_flag("force");
  kind.drops = reader.read_item_refs("drops", names.items);
  kind.xp = reader.read_int("xp", 0);
  const SectionEntry* skill = reader.find_value("skill", false);
  if (skill != nullptr) kind.skill = skill->value;
  kind.search = reader.read_int("search", 0);
  kind.undead = reader.read_flag("undead");
  kind.elite = reader.read_flag("elite");
  kind.flee_hp = std::clamp(reader.read_int("flee_hp", 0), 0, 100);
  kind.block = std::clamp(reader.read_int("block", 0), 0, 1000);
  kind.guard_cost = std::max(reader.read_int("guard_cost", 100), 0);
  kind.guard_hold = limit_ticks(reader.read_int("guard_hold", 0));
  kind.guard_rest = limit_ticks(reader.read_int("guard_rest", 0));
}

KindDef read_kind(const Section& section, const DataNames& names, Faults& faults) {
  SectionReader reader(section, faults);
  reader.check_keys(kind_keys, {});
  KindDef kind;
  kind.name = section.name;
  read_body(reader, names, kind);
  read_behaviour(reader, kind);
  read_traits(reader, names, kind);
  return kind;
}

}  // namespace

std::optional<AiRole> parse_ai_role(std::string_view word) {
  if (word == "brute") return AiRole::brute;
  if (word == "skirmisher") return AiRole::skirmisher;
  if (word == "ranged") return AiRole::ranged;
  if (word == "caster") return AiRole::caster;
  if (word == "guard") return AiRole::guard;
  return std::nullopt;
}

std::string_view ai_role_word(AiRole role) {
  switch (role) {
    case AiRole::brute: return "brute";
    case AiRole::skirmisher: return "skirmisher";
    case AiRole::ranged: return "ranged";
    case AiRole::caster: return "caster";
    case AiRole::guard: return "guard";
  }
  return "brute";
}

std::optional<GuardKind> parse_guard_kind(std::string_view word) {
  if (word == "shield") return GuardKind::shield;
  if (word == "ward") return GuardKind::ward;
  if (word == "bubble") return GuardKind::bubble;
  if (word == "dodge") return GuardKind::dodge;
  return std::nullopt;
}

std::string_view guard_kind_word(GuardKind kind) {
  switch (kind) {
    case GuardKind::shield: return "shield";
    case GuardKind::ward: return "ward";
    case GuardKind::bubble: return "bubble";
    case GuardKind::dodge: return "dodge";
  }
  return "shield";
}

std::optional<FocusKind> parse_focus_kind(std::string_view word) {
  if (word == "plain") return FocusKind::plain;
  if (word == "vanguard") return FocusKind::vanguard;
  if (word == "assassin") return FocusKind::assassin;
  if (word == "shepherd") return FocusKind::shepherd;
  if (word == "artillery") return FocusKind::artillery;
  return std::nullopt;
}

std::string_view focus_kind_word(FocusKind kind) {
  switch (kind) {
    case FocusKind::plain: return "plain";
    case FocusKind::vanguard: return "vanguard";
    case FocusKind::assassin: return "assassin";
    case FocusKind::shepherd: return "shepherd";
    case FocusKind::artillery: return "artillery";
  }
  return "plain";
}

std::vector<KindDef> read_kinds_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults) {
  std::vector<KindDef> kinds;
  for (const Section& section : sections) {
    if (!has_kind(section, "kind", "kind", faults)) continue;
    kinds.push_back(read_kind(section, names, faults));
  }
  return kinds;
}

}  // namespace velmora
