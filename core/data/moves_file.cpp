#include "core/data/moves_file.h"

#include <algorithm>
#include <array>

#include "core/base/text.h"

namespace velmora {

namespace {

constexpr std::string_view damage_form = "thrust|swing|Nd MODIFIER crushing|cutting|impaling|burning";
constexpr std::string_view reaction_form = "stagger STUN PUSH or knockdown VX VY";
constexpr std::string_view chain_form = "MOVE from FRAME";
constexpr std::string_view storm_form = "DICE ADD crushing|cutting|impaling|burning";
constexpr std::string_view pair_form = "2 whole numbers";

// The known keys; none may repeat. Constant-initialized, so the tables are
// ready even when the data is loaded during another file's static start-up.
constexpr std::array<std::string_view, 43> move_keys = {
    "startup", "active", "recovery", "forward", "height", "depth", "damage", "reaction",
    "hitstop", "lunge", "next", "stamina", "fp", "invulnerable", "armor", "air",
    "projectile", "backstab", "armor_divisor", "requires", "title", "harmless", "turn",
    "spread", "price", "blurb", "rally", "shout", "taunt", "vanish", "poison", "sap",
    "backstab_mult", "heal", "ward", "turn_undead", "burst", "raise", "undead_mult",
    "freeze", "sleep", "storm", "spell"};

struct DamageBaseWord {
  DamageBase base = DamageBase::thrust;
  std::int32_t dice = 0;
};

// The first word of a damage value: "thrust", "swing" or "Nd" with N above 0.
std::optional<DamageBaseWord> damage_base_of(std::string_view word) {
  if (word == "thrust") return DamageBaseWord{DamageBase::thrust, 0};
  if (word == "swing") return DamageBaseWord{DamageBase::swing, 0};
  if (word.empty() || word.back() != 'd') return std::nullopt;
  const auto dice = parse_whole(word.substr(0, word.size() - 1));
  if (!dice || *dice <= 0) return std::nullopt;
  return DamageBaseWord{DamageBase::dice, *dice};
}

void read_damage(SectionReader& reader, MoveDef& move) {
  const SectionEntry* entry = reader.find_value("damage", true);
  if (entry == nullptr) return;
  const auto words = split_words(entry->value);
  if (words.size() == 3) {
    const auto base = damage_base_of(words[0]);
    const auto add = parse_whole(words[1]);
    const auto type = parse_damage_type(words[2]);
    if (base && add && type) {
      move.damage_base = base->base;
      move.damage_dice = base->dice;
      move.damage_add = *add;
      move.damage_type = *type;
      return;
    }
  }
  reader.must_be(entry->line, "damage", damage_form);
}

void read_reaction(SectionReader& reader, MoveDef& move) {
  const SectionEntry* entry = reader.find_value("reaction", true);
  if (entry == nullptr) return;
  const auto words = split_words(entry->value);
  if (words.size() == 3) {
    const auto a = parse_whole(words[1]);
    const auto b = parse_whole(words[2]);
    if (a && b && words[0] == "stagger" && *a >= 1) {
      move.reaction = ReactionKind::stagger;
      move.stun = *a;
      move.push = *b;
      return;
    }
    if (a && b && words[0] == "knockdown") {
      move.reaction = ReactionKind::knockdown;
      move.vx = *a;
      move.vy = *b;
      return;
    }
  }
  reader.must_be(entry->line, "reaction", reaction_form);
}

void read_chain(SectionReader& reader, const NameList& moves, MoveDef& move) {
  const SectionEntry* entry = reader.find_value("next", false);
  if (entry == nullptr) return;
  const auto words = split_words(entry->value);
  const auto frame = words.size() == 3 && words[1] == "from" ? parse_unsigned(words[2], UINT16_MAX)
                                                              : std::nullopt;
  if (!frame) {
    reader.must_be(entry->line, "next", chain_form);
    return;
  }
  const auto id = moves.find(words[0]);
  if (!id || *id > UINT8_MAX) {
    reader.must_be(entry->line, "next",
                   "a move defined in this file ('" + std::string(words[0]) + "' is not)");
    return;
  }
  move.next = ChainSpec{static_cast<std::uint8_t>(*id), static_cast<std::uint16_t>(*frame)};
}

// An optional key of two whole numbers; none when missing or bad.
std::optional<FromTo> read_pair(SectionReader& reader, std::string_view key) {
  const auto fields = reader.read_fields(key, 2, 2, pair_form);
  if (!fields) return std::nullopt;
  return FromTo{field_int(*fields, 0), field_int(*fields, 1)};
}

void read_storm(SectionReader& reader, MoveDef& move) {
  const SectionEntry* entry = reader.find_value("storm", false);
  if (entry == nullptr) return;
  const auto words = split_words(entry->value);
  if (words.size() == 3) {
    const auto dice = parse_whole(words[0]);
    const auto add = parse_whole(words[1]);
    const auto type = parse_damage_type(words[2]);
    if (dice && add && type) {
      move.storm = StormSpec{*dice, *add, *type};
      return;
    }
  }
  reader.must_be(entry->line, "storm", storm_form);
}

FromTo read_from_to(SectionReader& reader, std::string_view key) {
  const auto v = reader.read_ints(key, 2, std::nullopt);
  return FromTo{v[0], v[1]};
}

// Phase frames and hit volume.
void read_shape(SectionReader& reader, MoveDef& move) {
  move.startup = frame_count(reader.read_int("startup", std::nullopt));
  move.active = frame_count(reader.read_int("active", std::nullopt));
  move.recovery = frame_count(reader.read_int("recovery", std::nullopt));
  move.forward = read_from_to(reader, "forward");
  move.height = read_from_to(reader, "height");
  move.depth = reader.read_int("depth", std::nullopt);
}

// Damage, reaction, chain, timing and costs.
void read_blow(SectionReader& reader, const NameList& moves, MoveDef& move) {
  read_damage(reader, move);
  read_reaction(reader, move);
  read_chain(reader, moves, move);
  const auto invulnerable = reader.read_ints("invulnerable", 2, std::vector<std::int32_t>{0, 0});
  move.invulnerable = FrameSpan{frame_count(invulnerable[0]), frame_count(invulnerable[1])};
  if (const auto p = read_pair(reader, "projectile")) move.projectile = ProjectileSpec{p->from, p->to};
  move.hitstop = static_cast<std::uint8_t>(std::clamp(reader.read_int("hitstop", 4), 0, 255));
  move.lunge = reader.read_int("lunge", 0);
  move.fp = reader.read_int("fp", 0);
  move.stamina = reader.read_int("stamina", 8);
}

void read_traits(SectionReader& reader, MoveDef& move) {
  move.armor = reader.read_flag("armor");
  move.air = reader.read_flag("air");
  move.backstab = reader.read_flag("backstab");
  move.armor_divisor = reader.read_int("armor_divisor", 1);
  move.requires_skill = reader.read_int("requires", 0);
  const SectionEntry* title = reader.find_value("title", false);
  move.title = title != nullptr ? title->value : move.name;
  move.harmless = reader.read_flag("harmless");
  move.turn = reader.read_flag("turn");
  move.spread = reader.read_int("spread", 0);
  move.price = reader.read_int("price", 0);
  const SectionEntry* blurb = reader.find_value("blurb", false);
  if (blurb != nullptr) move.blurb = blurb->value;
}

// The effects of specials, spells and item uses, in their reading order.
void read_effects(SectionReader& reader, MoveDef& move) {
  if (const auto p = read_pair(reader, "rally")) move.rally = RallySpec{p->from, limit_ticks(p->to)};
  move.shout = limit_ticks(reader.read_int("shout", 0));
  move.taunt = limit_ticks(reader.read_int("taunt", 0));
  if (const auto p = read_pair(reader, "vanish")) move.vanish = VanishSpec{limit_ticks(p->from), p->to};
  if (const auto p = read_pair(reader, "poison")) move.poison = PoisonSpec{p->from, limit_ticks(p->to)};
  move.sap = limit_ticks(reader.read_int("sap", 0));
  move.backstab_mult = reader.read_int("backstab_mult", 2);
  move.heal = reader.read_int("heal", 0);
  if (const auto p = read_pair(reader, "ward")) move.ward = WardSpec{p->from, limit_ticks(p->to)};
  if (const auto p = read_pair(reader, "turn_undead")) {
    move.turn_undead = TurnUndeadSpec{limit_ticks(p->from), p->to};
  }
  move.burst = reader.read_burst("burst");
  move.raise = reader.read_int("raise", 0);
  move.undead_mult = reader.read_int("undead_mult", 1);
  if (const auto p = read_pair(reader, "freeze")) move.freeze = RadiusTicks{p->from, limit_ticks(p->to)};
  move.sleep = limit_ticks(reader.read_int("sleep", 0));
  move.spell = reader.read_flag("spell");
  read_storm(reader, move);
}

MoveDef read_move(const Section& section, const DataNames& names, Faults& faults) {
  SectionReader reader(section, faults);
  reader.check_keys(move_keys, {});
  MoveDef move;
  move.name = section.name;
  read_shape(reader, move);
  read_blow(reader, names.moves, move);
  read_traits(reader, move);
  read_effects(reader, move);
  return move;
}

}  // namespace

std::optional<DamageBase> parse_damage_base(std::string_view word) {
  if (word == "thrust") return DamageBase::thrust;
  if (word == "swing") return DamageBase::swing;
  if (word == "dice") return DamageBase::dice;
  return std::nullopt;
}

std::string_view damage_base_word(DamageBase base) {
  switch (base) {
    case DamageBase::thrust: return "thrust";
    case DamageBase::swing: return "swing";
    case DamageBase::dice: return "dice";
  }
  return "thrust";
}

std::optional<ReactionKind> parse_reaction_kind(std::string_view word) {
  if (word == "stagger") return ReactionKind::stagger;
  if (word == "knockdown") return ReactionKind::knockdown;
  return std::nullopt;
}

std::string_view reaction_kind_word(ReactionKind kind) {
  switch (kind) {
    case ReactionKind::stagger: return "stagger";
    case ReactionKind::knockdown: return "knockdown";
  }
  return "stagger";
}

std::vector<MoveDef> read_moves_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults) {
  std::vector<MoveDef> moves;
  for (const Section& section : sections) {
    if (!has_kind(section, "move", "move", faults)) continue;
    moves.push_back(read_move(section, names, faults));
  }
  return moves;
}

}  // namespace velmora
