#include "core/data/validation.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "core/data/game_data.h"

namespace velmora {

namespace {

constexpr std::int32_t max_required_skill = 4;
constexpr std::size_t max_specials = 7;
constexpr std::int32_t map_width = 1000;
constexpr std::int32_t map_height = 600;

// Ids inside the records come from the readers' name maps and are in range;
// a lookup that misses anyway skips the check that needed the record.
template <class Record>
const Record* record_at(const std::vector<Record>& records, std::uint64_t index) {
  return index < records.size() ? &records[index] : nullptr;
}

template <class T, class U>
bool contains(const std::vector<T>& list, const U& value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

std::string num(std::int64_t value) { return std::to_string(value); }

// ---- moves ----

bool move_hit_volume_empty(const MoveDef& m) {
  return m.forward.from >= m.forward.to || m.height.from >= m.height.to || m.depth <= 0;
}

bool move_chain_after_end(const MoveDef& m) {
  if (!m.next) return false;
  const std::int64_t end = std::int64_t{m.startup} + m.active + m.recovery;
  return std::int64_t{m.next->frame} >= end;
}

bool move_costs_bad(const MoveDef& m) {
  if (m.price < 0 || m.backstab_mult < 1) return true;
  return m.rally && (m.rally->hp <= 0 || m.rally->ticks == 0);
}

bool move_poison_vanish_bad(const MoveDef& m) {
  if (m.poison && (m.poison->damage <= 0 || m.poison->ticks == 0)) return true;
  return m.vanish && m.vanish->ticks == 0;
}

bool move_heal_ward_bad(const MoveDef& m) {
  if (m.heal < 0 || m.raise < 0 || m.undead_mult < 1) return true;
  return m.ward && (m.ward->dr <= 0 || m.ward->ticks == 0);
}

bool move_freeze_storm_bad(const MoveDef& m) {
  if (m.freeze && (m.freeze->radius <= 0 || m.freeze->ticks == 0)) return true;
  return m.storm && m.storm->dice <= 0;
}

bool move_turn_burst_bad(const MoveDef& m) {
  if (m.turn_undead && m.turn_undead->ticks == 0) return true;
  return m.burst && (m.burst->dice < 0 || m.burst->radius <= 0);
}

bool move_projectile_bad(const MoveDef& m) {
  return m.projectile && (m.projectile->speed <= 0 || m.projectile->range <= m.projectile->speed);
}

bool move_invulnerable_empty(const MoveDef& m) {
  return m.invulnerable.to != 0 && m.invulnerable.from >= m.invulnerable.to;
}

// Follows the chain from `start` until it ends or comes back to a move
// already passed on this walk.
bool move_chain_loops(const std::vector<MoveDef>& moves, std::size_t start) {
  std::vector<bool> seen(moves.size(), false);
  std::size_t at = start;
  for (;;) {
    seen[at] = true;
    const MoveDef& m = moves[at];
    if (!m.next || m.next->move >= moves.size()) return false;
    at = m.next->move;
    if (seen[at]) return true;
  }
}

void check_move(const std::vector<MoveDef>& moves, std::size_t index, Faults& faults) {
  const MoveDef& m = moves[index];
  const std::string p = "move " + m.name + ": ";
  if (m.active == 0) faults.push_back(p + "no active frames");
  if (move_hit_volume_empty(m)) faults.push_back(p + "empty hit volume");
  if (move_chain_after_end(m)) faults.push_back(p + "chain window starts after the move ends");
  if (m.requires_skill < 0 || m.requires_skill > max_required_skill) {
    faults.push_back(p + "requires must be a skill level from 0 to " + num(max_required_skill));
  }
  if (move_costs_bad(m)) faults.push_back(p + "price, rally and backstab_mult must be positive");
  if (move_poison_vanish_bad(m)) faults.push_back(p + "poison and vanish need an amount and a duration");
  if (move_heal_ward_bad(m)) {
    faults.push_back(p + "heal and raise cannot be negative, ward needs DR and ticks, undead_mult 1 or more");
  }
  if (move_freeze_storm_bad(m)) faults.push_back(p + "freeze needs a radius and a duration, storm dice");
  if (move_turn_burst_bad(m)) faults.push_back(p + "turn_undead needs a duration, burst a radius");
  if (m.armor_divisor <= 0) faults.push_back(p + "armor_divisor must be 1 or more");
  if (move_projectile_bad(m)) faults.push_back(p + "a projectile needs a speed and a longer range");
  if (move_invulnerable_empty(m)) faults.push_back(p + "invulnerable range is empty");
  if (move_chain_loops(moves, index)) faults.push_back(p + "chain loops back on itself");
}

void check_moves(const GameData& data, Faults& faults) {
  for (std::size_t i = 0; i < data.moves.size(); ++i) check_move(data.moves, i, faults);
}

// ---- kinds ----

const MoveDef* first_special(const GameData& data, const KindDef& k) {
  if (k.special.empty()) return nullptr;
  return record_at(data.moves, k.special.front());
}

bool kind_body_bad(const KindDef& k) {
  const std::int64_t hp = std::int64_t{k.st} * std::int64_t{k.toughness};
  return k.body[0] <= 0 || k.body[1] <= 0 || hp <= 0 || k.think == 0;
}

bool kind_shooter_unarmed(const GameData& data, const KindDef& k) {
  if (k.role != AiRole::ranged && k.role != AiRole::caster) return false;
  if (k.special.empty()) return true;
  const MoveDef* shot = first_special(data, k);
  return shot != nullptr && !shot->projectile;
}

bool kind_first_special_costly(const GameData& data, const KindDef& k) {
  if (!k.player) return false;
  const MoveDef* first = first_special(data, k);
  return first != nullptr && (first->requires_skill > 0 || first->price > 0);
}

void check_kind(const GameData& data, const KindDef& k, Faults& faults) {
  const std::string p = "kind " + k.name + ": ";
  if (!k.light) faults.push_back(p + "needs a light move");
  if (k.silver[0] > k.silver[1] || k.cooldown[0] > k.cooldown[1]) faults.push_back(p + "a range runs backwards");
  if (kind_body_bad(k)) faults.push_back(p + "body, HP and think must be positive");
  if (kind_shooter_unarmed(data, k)) {
    faults.push_back(p + "a ranged or caster role needs a thrown special to shoot");
  }
  if ((k.guard == GuardKind::ward || k.guard == GuardKind::dodge) && k.guard_hold == 0) {
    faults.push_back(p + "a dodge needs its length and a ward its hold, in guard_hold");
  }
  if (k.keep[0] <= 0 || k.keep[0] >= k.keep[1]) faults.push_back(p + "keep needs a near and a farther distance");
  if (k.special.size() > max_specials) faults.push_back(p + "at most 7 specials fit the wheel");
  if (kind_first_special_costly(data, k)) {
    faults.push_back(p + "the first special must be free and need no skill, so a new character has one");
  }
  if (k.air) {
    const MoveDef* air = record_at(data.moves, *k.air);
    if (air != nullptr && !air->air) faults.push_back(p + "air move " + air->name + " is not marked air = yes");
  }
}

bool worn_slot(ItemSlot slot) {
  return slot == ItemSlot::weapon || slot == ItemSlot::head || slot == ItemSlot::body;
}

void check_kind_gear(const GameData& data, std::size_t kind, Faults& faults) {
  const KindDef& k = data.kinds[kind];
  const std::string p = "kind " + k.name + ": ";
  std::vector<ItemSlot> worn;
  for (std::uint16_t id : k.gear) {
    const ItemDef* item = record_at(data.items, id);
    if (item == nullptr) continue;
    if (item->slot == ItemSlot::valuable) faults.push_back(p + "starts with " + item->name + ", a valuable, as gear");
    if (worn_slot(item->slot)) {
      if (contains(worn, item->slot)) {
        faults.push_back(p + "two starting items in the " + std::string(item_slot_word(item->slot)) + " slot");
      }
      worn.push_back(item->slot);
    }
    if (!item->classes.empty() && !contains(item->classes, kind)) {
      faults.push_back(p + "cannot use its starting " + item->name);
    }
  }
}

void check_kinds(const GameData& data, Faults& faults) {
  const bool playable = std::any_of(data.kinds.begin(), data.kinds.end(), [](const KindDef& k) { return k.player; });
  if (!playable) faults.push_back("kinds: at least one kind needs player = yes");
  for (const KindDef& k : data.kinds) check_kind(data, k, faults);
  for (std::size_t i = 0; i < data.kinds.size(); ++i) check_kind_gear(data, i, faults);
}

// ---- items ----

bool item_has_effect(const ItemDef& item) {
  return item.heal > 0 || item.ward || item.burst || item.hazard || item.turn;
}

bool item_amounts_bad(const ItemDef& item) {
  if (item.burst && (item.burst->dice <= 0 || item.burst->radius <= 0)) return true;
  if (item.hazard && (item.hazard->dice <= 0 || item.hazard->ticks == 0)) return true;
  if (item.ward && (item.ward->dr <= 0 || item.ward->ticks == 0)) return true;
  if (item.turn && (item.turn->radius <= 0 || item.turn->ticks == 0)) return true;
  return item.heal < 0;
}

bool item_throw_bad(const GameData& data, const ItemDef& item) {
  if (!item.use) return false;
  const MoveDef* use = record_at(data.moves, *item.use);
  if (use == nullptr || !use->projectile) return false;
  return item.ward || item.turn || item.heal != 0;
}

void check_item(const GameData& data, const ItemDef& item, Faults& faults) {
  const std::string p = "item " + item.name + ": ";
  const bool valuable = item.slot == ItemSlot::valuable;
  if (item.weight < 0 || item.value < 0 || (valuable && item.value == 0)) {
    faults.push_back(p + "weight and value cannot be negative, and a valuable is worth something");
  }
  const bool armour = item.slot == ItemSlot::head || item.slot == ItemSlot::body;
  if (item.fatigue < 0 || (item.fatigue > 0 && !armour)) {
    faults.push_back(p + "only armour has fatigue, and it cannot be negative");
  }
  if (item.slot != ItemSlot::weapon && (item.damage != 0 || item.reach != 0)) {
    faults.push_back(p + "only weapons add damage and reach");
  }
  const bool usable = item.use.has_value() && item_has_effect(item);
  if (usable != (item.slot == ItemSlot::consumable)) {
    faults.push_back(p + "a consumable needs `use` and an effect, and only consumables have them");
  }
  if (item_amounts_bad(item) || item_throw_bad(data, item)) {
    faults.push_back(p + "effects need positive amounts; a thrown item only bursts or leaves a hazard");
  }
}

void check_items(const GameData& data, Faults& faults) {
  for (const ItemDef& item : data.items) check_item(data, item, faults);
}

// ---- loot tables ----

void check_loot_table(const LootTable& table, Faults& faults) {
  const std::string p = "loot " + table.name + ": ";
  const bool weightless = std::any_of(table.entries.begin(), table.entries.end(),
                                      [](const LootEntry& e) { return e.weight <= 0; });
  if (table.rolls <= 0 || table.entries.empty() || weightless) {
    faults.push_back(p + "needs rolls and entries with weights above zero");
  }
  const bool backwards = std::any_of(table.entries.begin(), table.entries.end(), [](const LootEntry& e) {
    return e.kind == LootKind::silver && (e.min <= 0 || e.min > e.max);
  });
  if (backwards) faults.push_back(p + "a silver range runs backwards or is empty");
}

void check_loot(const GameData& data, Faults& faults) {
  for (const LootTable& table : data.loot) check_loot_table(table, faults);
}

// ---- campaigns and nodes ----

void check_campaign(const GameData& data, const CampaignDef& c, Faults& faults) {
  const std::string p = "campaign " + c.name + ": ";
  if (!contains(c.nodes, c.start)) faults.push_back(p + "its start must be one of its nodes");
  const bool stray = std::any_of(c.optional.begin(), c.optional.end(),
                                 [&](std::size_t n) { return !contains(c.nodes, n) || n == c.start; });
  if (stray) faults.push_back(p + "optional nodes must be among its nodes, and not its start");
  for (std::size_t n : c.nodes) {
    const NodeDef* node = record_at(data.nodes, n);
    if (node == nullptr) continue;
    for (std::size_t link : node->links) {
      const NodeDef* target = record_at(data.nodes, link);
      if (target == nullptr || contains(c.nodes, link)) continue;
      faults.push_back(p + "node " + node->name + " links to " + target->name +
                       ", which is not on this campaign's map");
    }
  }
}

void check_campaigns(const GameData& data, Faults& faults) {
  for (const CampaignDef& c : data.campaigns) check_campaign(data, c, faults);
  if (data.campaigns.empty()) faults.push_back("region: needs at least one [campaign]");
}

bool node_in_some_campaign(const GameData& data, std::size_t node) {
  return std::any_of(data.campaigns.begin(), data.campaigns.end(),
                     [&](const CampaignDef& c) { return contains(c.nodes, node); });
}

void check_nodes(const GameData& data, Faults& faults) {
  for (std::size_t i = 0; i < data.nodes.size(); ++i) {
    if (!node_in_some_campaign(data, i)) faults.push_back("node " + data.nodes[i].name + ": belongs to no campaign");
  }
  for (const NodeDef& node : data.nodes) {
    const std::string p = "node " + node.name + ": ";
    if (node.links.empty()) faults.push_back(p + "needs at least one route");
    if (node.at.x < 0 || node.at.x > map_width || node.at.y < 0 || node.at.y > map_height) {
      faults.push_back(p + "at must be within 1000 by 600");
    }
  }
}

// ---- party scaling ----

void check_scale(std::string_view key, const std::array<std::int32_t, 4>& v, Faults& faults) {
  if (v[0] != 100 || v[1] < 100 || v[2] < v[1] || v[3] < v[2]) {
    faults.push_back("scaling " + std::string(key) + ": starts at 100 for one player and never shrinks");
  }
}

void check_scaling(const PartyScaling& scaling, Faults& faults) {
  check_scale("minions", scaling.minions, faults);
  check_scale("elite_hp", scaling.elite_hp, faults);
  check_scale("boss_hp", scaling.boss_hp, faults);
}

// ---- stages ----

// Whether the player classes can both pick a lock and force one.
struct ChestAccess {
  bool pick = false;
  bool force = false;
};

ChestAccess chest_access(const GameData& data) {
  ChestAccess access;
  for (const KindDef& k : data.kinds) {
    if (!k.player) continue;
    if (k.lockpick > 0) access.pick = true;
    if (k.force) access.force = true;
  }
  return access;
}

bool on_floor_band(const StageDef& s, std::int32_t x, std::int32_t z) {
  return x > 0 && x < s.length && z >= 0 && z <= s.depth;
}

std::string at_xz(std::int32_t x, std::int32_t z) { return num(x) + " " + num(z); }

void check_town_rules(const StageDef& s, const std::string& p, Faults& faults) {
  if (s.town && !s.gates.empty()) faults.push_back(p + "a town has no combat gates");
  const bool services = !s.shop.empty() || s.shop_at || s.inn_at || s.trainer_at;
  if (!s.town && services) faults.push_back(p + "only a town has a shop, an inn and a trainer");
}

void check_chests(const StageDef& s, ChestAccess access, Faults& faults) {
  for (const ChestDef& chest : s.chests) {
    if (chest.locked && !(access.pick && access.force)) {
      faults.push_back("stage: the locked chest at " + at_xz(chest.x, chest.z) +
                       " needs two ways in (a class that picks locks and one that forces them)");
    }
    if (!on_floor_band(s, chest.x, chest.z)) {
      faults.push_back("stage: chest at " + at_xz(chest.x, chest.z) + " is off the floor band");
    }
  }
}

bool gate_has_empty_wave(const GateDef& gate) {
  if (gate.waves.empty()) return true;
  return std::any_of(gate.waves.begin(), gate.waves.end(), [](const WaveDef& w) { return w.spawns.empty(); });
}

bool gate_spawns_player(const GameData& data, const GateDef& gate) {
  for (const WaveDef& wave : gate.waves) {
    for (const SpawnDef& spawn : wave.spawns) {
      const KindDef* kind = record_at(data.kinds, spawn.kind);
      if (kind != nullptr && kind->player) return true;
    }
  }
  return false;
}

// Checks the gates in order and returns the x the exit must lie beyond: the
// last gate's centre, or just left of half a screen without gates.
std::int64_t check_gates(const GameData& data, const StageDef& s, Faults& faults) {
  const std::int64_t half = s.view_w / 2;
  std::int64_t bound = half - 1;
  std::int64_t n = 0;
  for (const GateDef& gate : s.gates) {
    const std::string p = "stage gate " + num(++n) + ": ";
    const std::int64_t center = gate.center_x;
    if (center <= bound || center + half > s.length) {
      faults.push_back(p + "gates must run left to right and keep the locked screen inside the stage");
    }
    if (gate.trigger_x > center + half - 60) faults.push_back(p + "the trigger must be reachable before the screen edge");
    if (gate_has_empty_wave(gate)) {
      faults.push_back(p + "every gate needs waves and every wave enemies");
    } else if (gate_spawns_player(data, gate)) {
      faults.push_back(p + "a wave spawns the player kind");
    }
    bound = center;
  }
  return bound;
}

void check_exit(const StageDef& s, std::int64_t bound, const std::string& p, Faults& faults) {
  if (s.exit_x != 0 && (s.exit_x <= bound || s.exit_x >= s.length)) {
    faults.push_back(p + "the exit must lie after the last gate and inside the stage");
  }
  const bool door_out = std::any_of(s.doors.begin(), s.doors.end(), [](const DoorDef& d) { return !d.secret; });
  if (s.exit_x == 0 && !s.town && !door_out) faults.push_back(p + "exit_x = 0 needs a door out");
}

void check_doors(const GameData& data, const StageDef& s, const std::string& p, Faults& faults) {
  for (const DoorDef& door : s.doors) {
    const StageDef* target = record_at(data.stages, door.area);
    if (target == nullptr) continue;
    if (target->name == s.name || target->town) faults.push_back(p + "a door must lead to another area that is not a town");
    if (!on_floor_band(s, door.x, door.z) || door.entry_x <= 0 || door.entry_x >= target->length) {
      faults.push_back(p + "the door at " + at_xz(door.x, door.z) + " must stand on the floor band and arrive inside " +
                       target->name);
    }
  }
}

void check_levers(const StageDef& s, const std::string& p, Faults& faults) {
  for (const LeverDef& lever : s.levers) {
    if (!on_floor_band(s, lever.x, lever.z) || !contains(s.barriers, lever.barrier_x) || lever.x >= lever.barrier_x) {
      faults.push_back(p + "the lever at " + at_xz(lever.x, lever.z) +
                       " must stand on the floor band, before a barrier of this stage");
    }
  }
}

void check_barriers(const StageDef& s, const std::string& p, Faults& faults) {
  for (std::int32_t x : s.barriers) {
    const bool lever = std::any_of(s.levers.begin(), s.levers.end(), [&](const LeverDef& l) { return l.barrier_x == x; });
    if (x <= 0 || x >= s.length || !lever) {
      faults.push_back(p + "the barrier at " + num(x) + " needs a lever and must lie inside the stage");
    }
  }
}

void check_traps(const StageDef& s, const std::string& p, Faults& faults) {
  for (const TrapDef& trap : s.traps) {
    if (!on_floor_band(s, trap.x, trap.z) || trap.dice <= 0) {
      faults.push_back(p + "the trap at " + at_xz(trap.x, trap.z) + " needs dice and must lie on the floor band");
    }
  }
}

void check_barrels(const StageDef& s, Faults& faults) {
  for (const BarrelDef& barrel : s.barrels) {
    if (!on_floor_band(s, barrel.x, barrel.z)) {
      faults.push_back("stage: barrel at " + at_xz(barrel.x, barrel.z) + " is off the floor band");
    }
    const bool drops = barrel.contents == BarrelContents::food || barrel.contents == BarrelContents::silver;
    if (drops && barrel.amount <= 0) {
      faults.push_back("stage: barrel at " + at_xz(barrel.x, barrel.z) + " drops nothing");
    }
  }
}

void check_stage(const GameData& data, const StageDef& s, ChestAccess access, Faults& faults) {
  const std::string p = "stage " + s.name + ": ";
  check_town_rules(s, p, faults);
  check_chests(s, access, faults);
  const std::int64_t bound = check_gates(data, s, faults);
  check_exit(s, bound, p, faults);
  check_doors(data, s, p, faults);
  check_levers(s, p, faults);
  check_barriers(s, p, faults);
  check_traps(s, p, faults);
  check_barrels(s, faults);
}

void check_stages(const GameData& data, ChestAccess access, Faults& faults) {
  for (const StageDef& s : data.stages) check_stage(data, s, access, faults);
}

// ---- node exits ----

// Breadth-first over the doors (secret passages too) from `start`: true when
// some stage reached has a walk-out exit.
bool exit_reachable(const GameData& data, std::uint64_t start) {
  std::vector<bool> queued(data.stages.size(), false);
  std::deque<std::uint64_t> queue{start};
  queued[start] = true;
  while (!queue.empty()) {
    const StageDef& s = data.stages[queue.front()];
    queue.pop_front();
    if (s.exit_x != 0) return true;
    for (const DoorDef& door : s.doors) {
      if (door.area >= data.stages.size() || queued[door.area]) continue;
      queued[door.area] = true;
      queue.push_back(door.area);
    }
  }
  return false;
}

void check_node_exits(const GameData& data, Faults& faults) {
  for (const NodeDef& node : data.nodes) {
    const StageDef* stage = record_at(data.stages, node.stage);
    if (stage == nullptr || stage->town) continue;
    if (!exit_reachable(data, node.stage)) {
      faults.push_back("node " + node.name + ": no exit can be reached through the doors of its stage");
    }
  }
}

}  // namespace

Faults validate_data(const GameData& data) {
  Faults faults;
  check_moves(data, faults);
  check_kinds(data, faults);
  check_items(data, faults);
  check_loot(data, faults);
  const ChestAccess access = chest_access(data);
  check_campaigns(data, faults);
  check_nodes(data, faults);
  check_scaling(data.scaling, faults);
  check_stages(data, access, faults);
  check_node_exits(data, faults);
  return faults;
}

}  // namespace velmora
