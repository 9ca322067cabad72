#include "core/data/validation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "core/data/game_data.h"

namespace velmora {
namespace {

constexpr std::int32_t int_max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t int_min = std::numeric_limits<std::int32_t>::min();

// Ids of the small data set below.
constexpr std::uint8_t jab = 0, hook = 1, toss = 2, drink = 3, hop = 4;     // moves
constexpr std::uint8_t fighter = 0, archer = 1;                              // kinds
constexpr std::uint16_t sword = 0, helm = 1, gem = 2, potion = 3, bomb = 4;  // items
constexpr std::size_t road = 0, cellar = 1, town = 2;                        // stages

DoorDef door(std::size_t area, std::int32_t x, std::int32_t z, std::int32_t entry_x, bool secret = false) {
  return DoorDef{secret ? "" : "Door", area, x, z, entry_x, secret};
}

GateDef gate(std::int32_t trigger_x, std::int32_t center_x, std::uint8_t spawn = archer) {
  return GateDef{{WaveDef{{SpawnDef{1, 100, spawn}}}}, trigger_x, center_x};
}

StageDef stage(std::string name, std::int32_t length, std::int32_t exit_x) {
  StageDef s;
  s.name = std::move(name);
  s.length = length, s.depth = 300, s.view_w = 1200, s.exit_x = exit_x;
  return s;
}

void add_moves_kinds_items(GameData& d) {
  for (const char* name : {"jab", "hook", "toss", "drink", "hop"}) {
    MoveDef& m = d.moves.emplace_back();
    m.name = name, m.startup = 3, m.active = 2, m.recovery = 5, m.forward = {0, 40}, m.height = {50, 120}, m.depth = 20;
  }
  d.moves[jab].next = ChainSpec{hook, 9};
  d.moves[toss].projectile = ProjectileSpec{10, 300};
  d.moves[hop].air = true;
  for (const char* name : {"fighter", "archer"}) {
    KindDef& k = d.kinds.emplace_back();
    k.name = name, k.st = 10, k.body = {20, 150}, k.light = jab, k.think = 10;
  }
  KindDef& f = d.kinds[fighter];
  f.player = f.force = true, f.lockpick = 3, f.air = hop, f.special = {hook}, f.gear = {sword, helm, potion, potion};
  d.kinds[archer].role = AiRole::ranged, d.kinds[archer].special = {toss};
  const std::pair<const char*, ItemSlot> items[] = {{"sword", ItemSlot::weapon}, {"helm", ItemSlot::head},
                                                     {"gem", ItemSlot::valuable}, {"potion", ItemSlot::consumable},
                                                     {"bomb", ItemSlot::consumable}};
  for (const auto& [name, slot] : items) {
    ItemDef& i = d.items.emplace_back();
    i.name = name, i.slot = slot, i.weight = 10, i.value = 5;
  }
  d.items[sword].damage = 2, d.items[sword].reach = 10, d.items[sword].classes = {fighter};
  d.items[helm].fatigue = 5;
  d.items[potion].use = drink, d.items[potion].heal = 10;
  d.items[bomb].use = toss, d.items[bomb].burst = BurstSpec{2, 0, 80, DamageType::crushing};
}

// A small data set that passes every check; each test breaks one thing. The
// town node's stage has no exit and no door: town nodes are not searched.
GameData valid_data() {
  GameData d;
  add_moves_kinds_items(d);
  d.loot = {LootTable{"small",
                      {LootEntry{LootKind::silver, 0, 5, 10, 0, 3}, LootEntry{LootKind::item, gem, 0, 0, 0, 1},
                       LootEntry{LootKind::food, 0, 0, 0, 10, 1}},
                      1}};
  StageDef r = stage("road", 3000, 2900);
  r.title = "The Road";
  r.gates = {gate(900, 1000)};
  r.chests = {ChestDef{0, 500, 100, 0, true}};
  r.barrels = {BarrelDef{300, 100, BarrelContents::food, 10}};
  r.doors = {door(cellar, 700, 100, 100)};
  r.levers = {LeverDef{1200, 50, 1500}};
  r.barriers = {1500};
  r.traps = {TrapDef{1800, 100, 1, 0}};
  StageDef c = stage("cellar", 1000, 0);
  c.doors = {door(road, 100, 100, 600)};
  StageDef t = stage("town", 2000, 0);
  t.town = true, t.shop = {potion}, t.shop_at = Point{400, 100}, t.inn_at = Point{800, 100};
  t.trainer_at = Point{1200, 100};
  d.stages = {r, c, t};
  d.nodes = {NodeDef{"n_road", "Road", "", road, {100, 100}, {1}},
             NodeDef{"n_town", "Town", "", town, {1000, 600}, {0, 2}},
             NodeDef{"n_cellar", "Cellar", "", cellar, {0, 0}, {1}}};
  d.campaigns = {CampaignDef{"main", "Main", "", 1, {0, 1, 2}, {2}}};
  return d;
}

using Data = GameData&;
using Edit = std::function<void(GameData&)>;

Faults faults_after(const Edit& edit) {
  GameData d = valid_data();
  edit(d);
  return validate_data(d);
}

// Each edit of `breaking` gives exactly `fault`; each of `passing` (the
// boundary cases) keeps the data valid.
struct Rule {
  std::string fault;
  std::vector<Edit> breaking;
  std::vector<Edit> passing = {};
};

void expect_rules(const std::vector<Rule>& rules) {
  for (const Rule& r : rules) {
    for (std::size_t i = 0; i < r.breaking.size(); ++i) EXPECT_EQ(faults_after(r.breaking[i]), Faults{r.fault}) << i;
    for (std::size_t i = 0; i < r.passing.size(); ++i) EXPECT_EQ(faults_after(r.passing[i]), Faults{}) << r.fault << i;
  }
}

// Edits that give several faults, in this order.
void expect_cases(const std::vector<std::pair<Edit, Faults>>& cases) {
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(faults_after(cases[i].first), cases[i].second) << i;
}

TEST(ValidateData, FixtureIsValid) { EXPECT_EQ(validate_data(valid_data()), Faults{}); }

TEST(ValidateData, MoveRules) {
  expect_rules({
      {"move hook: no active frames", {[](Data d) { d.moves[hook].active = 0; }}},
      {"move hook: empty hit volume",
       {[](Data d) { d.moves[hook].forward = {40, 40}; }, [](Data d) { d.moves[hook].height = {120, 50}; },
        [](Data d) { d.moves[hook].depth = 0; }}},
      {"move jab: chain window starts after the move ends", {[](Data d) { d.moves[jab].next->frame = 10; }},
       {[](Data d) { d.moves[jab].next->frame = 9; }}},
      {"move drink: requires must be a skill level from 0 to 4",
       {[](Data d) { d.moves[drink].requires_skill = 5; }, [](Data d) { d.moves[drink].requires_skill = -1; }},
       {[](Data d) { d.moves[drink].requires_skill = 4; }}},
      {"move hook: price, rally and backstab_mult must be positive",
       {[](Data d) { d.moves[hook].price = -1; }, [](Data d) { d.moves[hook].backstab_mult = 0; },
        [](Data d) { d.moves[hook].rally = RallySpec{0, 60}; }, [](Data d) { d.moves[hook].rally = RallySpec{5, 0}; }}},
      {"move hook: poison and vanish need an amount and a duration",
       {[](Data d) { d.moves[hook].poison = PoisonSpec{0, 60}; }, [](Data d) { d.moves[hook].poison = PoisonSpec{3, 0}; },
        [](Data d) { d.moves[hook].vanish = VanishSpec{0, 50}; }},
       {[](Data d) { d.moves[hook].vanish = VanishSpec{60, -5}; }}},
      {"move hook: heal and raise cannot be negative, ward needs DR and ticks, undead_mult 1 or more",
       {[](Data d) { d.moves[hook].heal = -1; }, [](Data d) { d.moves[hook].raise = -1; },
        [](Data d) { d.moves[hook].undead_mult = 0; }, [](Data d) { d.moves[hook].ward = WardSpec{0, 60}; },
        [](Data d) { d.moves[hook].ward = WardSpec{2, 0}; }}},
      {"move hook: freeze needs a radius and a duration, storm dice",
       {[](Data d) { d.moves[hook].freeze = RadiusTicks{0, 60}; },
        [](Data d) { d.moves[hook].freeze = RadiusTicks{9, 0}; },
        [](Data d) { d.moves[hook].storm = StormSpec{0, 2, DamageType::burning}; }}},
      {"move hook: turn_undead needs a duration, burst a radius",
       {[](Data d) { d.moves[hook].turn_undead = TurnUndeadSpec{0, 5}; },
        [](Data d) { d.moves[hook].burst = BurstSpec{-1, 0, 50}; },
        [](Data d) { d.moves[hook].burst = BurstSpec{1, 0, 0}; }},
       {[](Data d) { d.moves[hook].burst = BurstSpec{0, 3, 50}; }}},
      {"move hook: armor_divisor must be 1 or more", {[](Data d) { d.moves[hook].armor_divisor = 0; }}},
      {"move toss: a projectile needs a speed and a longer range",
       {[](Data d) { d.moves[toss].projectile = ProjectileSpec{0, 300}; },
        [](Data d) { d.moves[toss].projectile = ProjectileSpec{10, 10}; }}},
      {"move hook: invulnerable range is empty", {[](Data d) { d.moves[hook].invulnerable = {5, 5}; }},
       {[](Data d) { d.moves[hook].invulnerable = {5, 0}; }}},
      {"move drink: chain loops back on itself", {[](Data d) { d.moves[drink].next = ChainSpec{drink, 1}; }},
       {[](Data d) { d.moves[hook].next = ChainSpec{toss, 1}, d.moves[toss].next = ChainSpec{drink, 1}; }}},
  });
  // A walk that runs into a loop reports every move it started from.
  expect_cases({{[](Data d) { d.moves[hook].next = ChainSpec{toss, 1}, d.moves[toss].next = ChainSpec{hook, 1}; },
                 {"move jab: chain loops back on itself", "move hook: chain loops back on itself",
                  "move toss: chain loops back on itself"}}});
}

TEST(ValidateData, KindRules) {
  expect_rules({
      {"kind archer: needs a light move", {[](Data d) { d.kinds[archer].light.reset(); }}},
      {"kind archer: a range runs backwards",
       {[](Data d) { d.kinds[archer].silver = {10, 9}; }, [](Data d) { d.kinds[archer].cooldown = {10, 9}; }},
       {[](Data d) { d.kinds[archer].silver = d.kinds[archer].cooldown = {10, 10}; }}},
      {"kind archer: body, HP and think must be positive",
       {[](Data d) { d.kinds[archer].body = {0, 150}; }, [](Data d) { d.kinds[archer].body = {20, -1}; },
        [](Data d) { d.kinds[archer].toughness = 0; }, [](Data d) { d.kinds[archer].st = 0; },
        [](Data d) { d.kinds[archer].think = 0; }},
       {[](Data d) { d.kinds[archer].st = d.kinds[archer].toughness = int_max; },  // HP beyond 32 bits
        [](Data d) { d.kinds[archer].st = d.kinds[archer].toughness = int_min; }}},
      {"kind archer: a ranged or caster role needs a thrown special to shoot",
       {[](Data d) { d.kinds[archer].special.clear(); },
        [](Data d) { d.kinds[archer].role = AiRole::caster, d.kinds[archer].special = {hook, toss}; }},
       {[](Data d) { d.kinds[archer].role = AiRole::brute, d.kinds[archer].special.clear(); }}},
      {"kind archer: a dodge needs its length and a ward its hold, in guard_hold",
       {[](Data d) { d.kinds[archer].guard = GuardKind::ward; },
        [](Data d) { d.kinds[archer].guard = GuardKind::dodge; }},
       {[](Data d) { d.kinds[archer].guard = GuardKind::dodge, d.kinds[archer].guard_hold = 20; }}},
      {"kind archer: keep needs a near and a farther distance",
       {[](Data d) { d.kinds[archer].keep = {0, 500}; }, [](Data d) { d.kinds[archer].keep = {500, 500}; }}},
      {"kind archer: at most 7 specials fit the wheel",
       {[](Data d) { d.kinds[archer].special = {toss, hook, hook, hook, hook, hook, hook, hook}; }},
       {[](Data d) { d.kinds[archer].special = {toss, hook, hook, hook, hook, hook, hook}; }}},
      {"kind fighter: the first special must be free and need no skill, so a new character has one",
       {[](Data d) { d.moves[hook].requires_skill = 1; }, [](Data d) { d.moves[hook].price = 10; }},
       {[](Data d) { d.moves[toss].price = 10; },  // an enemy's special
        [](Data d) { d.kinds[fighter].special = {hook, toss}, d.moves[toss].price = 10; }}},
      {"kind fighter: air move hop is not marked air = yes", {[](Data d) { d.moves[hop].air = false; }}},
      {"kind fighter: starts with gem, a valuable, as gear", {[](Data d) { d.kinds[fighter].gear = {gem}; }}},
      {"kind fighter: two starting items in the weapon slot",
       {[](Data d) { d.kinds[fighter].gear = {sword, helm, sword}; }}},
      {"kind archer: cannot use its starting sword", {[](Data d) { d.kinds[archer].gear = {sword}; }}},
  });
  expect_cases({
      // The missing player class comes first; the locked chest then has no way in either.
      {[](Data d) { d.kinds[fighter].player = false, d.kinds[archer].light.reset(); },
       {"kinds: at least one kind needs player = yes", "kind archer: needs a light move",
        "stage: the locked chest at 500 100 needs two ways in (a class that picks locks and one that forces them)"}},
      // Gear is checked item by item, after every kind's own checks.
      {[](Data d) {
         d.items[gem].classes = {archer};
         d.items[helm].slot = ItemSlot::body, d.items[helm].classes = {archer};
         d.kinds[fighter].gear = {gem, helm, helm, helm};
         d.kinds[archer].light.reset();
       },
       {"kind archer: needs a light move", "kind fighter: starts with gem, a valuable, as gear",
        "kind fighter: cannot use its starting gem", "kind fighter: cannot use its starting helm",
        "kind fighter: two starting items in the body slot", "kind fighter: cannot use its starting helm",
        "kind fighter: two starting items in the body slot", "kind fighter: cannot use its starting helm"}},
  });
}

TEST(ValidateData, ItemRules) {
  const std::string use = "a consumable needs `use` and an effect, and only consumables have them";
  const std::string amounts = "effects need positive amounts; a thrown item only bursts or leaves a hazard";
  expect_rules({
      {"item sword: weight and value cannot be negative, and a valuable is worth something",
       {[](Data d) { d.items[sword].weight = -1; }, [](Data d) { d.items[sword].value = -1; }}},
      {"item gem: weight and value cannot be negative, and a valuable is worth something",
       {[](Data d) { d.items[gem].value = 0; }}},
      {"item sword: only armour has fatigue, and it cannot be negative", {[](Data d) { d.items[sword].fatigue = 1; }},
       {[](Data d) { d.items[helm].slot = ItemSlot::body; }}},
      {"item helm: only armour has fatigue, and it cannot be negative", {[](Data d) { d.items[helm].fatigue = -1; }}},
      {"item helm: only weapons add damage and reach",
       {[](Data d) { d.items[helm].damage = 1; }, [](Data d) { d.items[helm].reach = -1; }}},
      {"item potion: " + use,
       {[](Data d) { d.items[potion].use.reset(); },
        [](Data d) { d.items[potion].heal = 0, d.items[potion].calm = true; }},
       {[](Data d) { d.items[potion].heal = 0, d.items[potion].ward = WardSpec{2, 60}; },
        [](Data d) { d.items[potion].heal = 0, d.items[potion].turn = RadiusTicks{100, 60}; },
        [](Data d) { d.items[bomb].burst.reset(), d.items[bomb].hazard = HazardSpec{1, 0, 60}; }}},
      {"item sword: " + use, {[](Data d) { d.items[sword].use = drink, d.items[sword].heal = 5; }},
       {[](Data d) { d.items[sword].use = drink; }}},
      {"item bomb: " + amounts,
       {[](Data d) { d.items[bomb].burst->dice = 0; }, [](Data d) { d.items[bomb].burst->radius = 0; },
        [](Data d) { d.items[bomb].hazard = HazardSpec{0, 1, 60}; },
        [](Data d) { d.items[bomb].hazard = HazardSpec{1, 1, 0}; },
        [](Data d) { d.items[bomb].heal = -1; }, [](Data d) { d.items[bomb].heal = 5; },
        [](Data d) { d.items[bomb].ward = WardSpec{1, 60}; }, [](Data d) { d.items[bomb].turn = RadiusTicks{50, 60}; }},
       {[](Data d) { d.items[bomb].hazard = HazardSpec{1, 0, 60}; }}},
      {"item potion: " + amounts,
       {[](Data d) { d.items[potion].ward = WardSpec{0, 60}; }, [](Data d) { d.items[potion].ward = WardSpec{1, 0}; },
        [](Data d) { d.items[potion].turn = RadiusTicks{0, 60}; },
        [](Data d) { d.items[potion].turn = RadiusTicks{50, 0}; }}},
  });
  expect_cases({
      // A negative heal is no effect.
      {[](Data d) { d.items[potion].heal = -5; }, {"item potion: " + use, "item potion: " + amounts}},
      // All rules of one item, in order.
      {[](Data d) {
         ItemDef& x = d.items[sword];
         x.slot = ItemSlot::valuable, x.value = 0, x.fatigue = 2, x.use = toss, x.heal = 3;
         d.kinds[fighter].gear = {helm};
       },
       {"item sword: weight and value cannot be negative, and a valuable is worth something",
        "item sword: only armour has fatigue, and it cannot be negative", "item sword: only weapons add damage and reach",
        "item sword: " + use, "item sword: " + amounts}},
  });
}

TEST(ValidateData, LootCampaignNodeAndScalingRules) {
  expect_rules({
      {"loot small: needs rolls and entries with weights above zero",
       {[](Data d) { d.loot[0].rolls = 0; }, [](Data d) { d.loot[0].rolls = -3; },
        [](Data d) { d.loot[0].entries.clear(); }, [](Data d) { d.loot[0].entries[2].weight = 0; }}},
      {"loot small: a silver range runs backwards or is empty",
       {[](Data d) { d.loot[0].entries[0].min = 0; },
        [](Data d) {  // two bad piles, one message
          d.loot[0].entries.push_back(d.loot[0].entries[0]);
          d.loot[0].entries[0].max = 4, d.loot[0].entries[3].min = -1;
        }},
       {[](Data d) { d.loot[0].entries[0].max = 5; }}},
      {"campaign main: optional nodes must be among its nodes, and not its start",
       {[](Data d) { d.campaigns[0].optional = {1}; },
        [](Data d) {
          d.campaigns[0].nodes = {0, 1};
          d.nodes[1].links = {0}, d.nodes[2].links = {2};
          d.campaigns.push_back(CampaignDef{"side", "Side", "", 2, {2}, {}});
        }}},
      {"node n_road: needs at least one route", {[](Data d) { d.nodes[0].links.clear(); }}},
      {"node n_road: at must be within 1000 by 600",
       {[](Data d) { d.nodes[0].at = {1001, 0}; }, [](Data d) { d.nodes[0].at = {0, 601}; },
        [](Data d) { d.nodes[0].at = {-1, 5}; }, [](Data d) { d.nodes[0].at = {5, -1}; }}},
      {"scaling minions: starts at 100 for one player and never shrinks",
       {[](Data d) { d.scaling.minions = {100, 100, 120, 110}; },
        [](Data d) { d.scaling.minions = {100, 130, 120, 130}; },
        [](Data d) { d.scaling.minions = {100, 99, 120, 130}; }, [](Data d) { d.scaling.minions = {90, 100, 100, 100}; }},
       {[](Data d) { d.scaling.minions = {100, 150, 150, 200}; }}},
  });
  expect_cases({
      {[](Data d) { d.campaigns[0].nodes = {0, 2}; },
       {"campaign main: its start must be one of its nodes",
        "campaign main: node n_road links to n_town, which is not on this campaign's map",
        "campaign main: node n_cellar links to n_town, which is not on this campaign's map",
        "node n_town: belongs to no campaign"}},
      {[](Data d) { d.campaigns.clear(); },
       {"region: needs at least one [campaign]", "node n_road: belongs to no campaign",
        "node n_town: belongs to no campaign", "node n_cellar: belongs to no campaign"}},
      // Membership of every node first, then routes and positions node by node.
      {[](Data d) { d.nodes.push_back(NodeDef{"lost", "Lost", "", road, {2000, 0}, {}}), d.nodes[0].links.clear(); },
       {"node lost: belongs to no campaign", "node n_road: needs at least one route",
        "node lost: needs at least one route", "node lost: at must be within 1000 by 600"}},
      {[](Data d) { d.scaling.boss_hp = {100, 100, 100, 99}, d.scaling.elite_hp[0] = 101; },
       {"scaling elite_hp: starts at 100 for one player and never shrinks",
        "scaling boss_hp: starts at 100 for one player and never shrinks"}},
  });
}

TEST(ValidateData, StageTownsChestsAndGates) {
  const std::string order = "gates must run left to right and keep the locked screen inside the stage";
  expect_rules({
      {"stage town: a town has no combat gates", {[](Data d) { d.stages[town].gates = {gate(900, 1000)}; }}},
      {"stage cellar: only a town has a shop, an inn and a trainer",
       {[](Data d) { d.stages[cellar].shop = {potion}; }, [](Data d) { d.stages[cellar].shop_at = Point{1, 1}; },
        [](Data d) { d.stages[cellar].inn_at = Point{1, 1}; },
        [](Data d) { d.stages[cellar].trainer_at = Point{1, 1}; }}},
      {"stage: the locked chest at 500 100 needs two ways in (a class that picks locks and one that forces them)",
       {[](Data d) { d.kinds[fighter].force = false; }, [](Data d) { d.kinds[fighter].lockpick = 0; },
        [](Data d) { d.kinds[fighter].lockpick = 0, d.kinds[archer].lockpick = 5; }},  // an enemy's skill
       {[](Data d) { d.kinds[fighter].force = false, d.stages[road].chests[0].locked = false; }}},
      {"stage: chest at 0 100 is off the floor band", {[](Data d) { d.stages[road].chests[0].x = 0; }},
       {[](Data d) { d.stages[road].chests = {ChestDef{0, 1, 0}, ChestDef{0, 2999, 300}}; }}},
      {"stage: chest at 500 301 is off the floor band", {[](Data d) { d.stages[road].chests[0].z = 301; }}},
      {"stage gate 1: " + order,
       {[](Data d) { d.stages[road].gates = {gate(100, 599)}; }, [](Data d) { d.stages[road].gates = {gate(900, 2401)}; },
        [](Data d) { d.stages[road].gates = {gate(900, 2900)}, d.stages[road].exit_x = 2950; }},  // the bound moves on
       {[](Data d) { d.stages[road].gates = {gate(100, 600)}; },
        [](Data d) { d.stages[road].gates = {gate(900, 2400)}; }}},
      {"stage gate 2: " + order, {[](Data d) { d.stages[road].gates = {gate(900, 1000), gate(900, 1000)}; }}},
      {"stage gate 1: the trigger must be reachable before the screen edge",
       {[](Data d) { d.stages[road].gates = {gate(2041, 1500)}; }},
       {[](Data d) { d.stages[road].gates = {gate(2040, 1500)}; }}},
      {"stage gate 1: every gate needs waves and every wave enemies",
       {[](Data d) { d.stages[road].gates[0].waves.clear(); },
        [](Data d) { d.stages[road].gates[0].waves = {WaveDef{{SpawnDef{1, 0, fighter}}}, WaveDef{}}; }}},
      {"stage gate 2: a wave spawns the player kind",  // once per gate
       {[](Data d) {
         GateDef g = gate(1100, 1200, fighter);
         g.waves.push_back(g.waves[0]);
         d.stages[road].gates = {gate(900, 1000), g};
       }}},
  });
}

TEST(ValidateData, StageExitsDoorsAndObjects) {
  const std::string lever = "must stand on the floor band, before a barrier of this stage";
  expect_rules({
      {"stage road: the exit must lie after the last gate and inside the stage",
       {[](Data d) { d.stages[road].exit_x = 1000; }, [](Data d) { d.stages[road].exit_x = 3000; },
        [](Data d) { d.stages[road].gates.clear(), d.stages[road].exit_x = 599; }},
       {[](Data d) { d.stages[road].exit_x = 1001; },
        [](Data d) { d.stages[road].gates.clear(), d.stages[road].exit_x = 600; }}},
      {"stage cellar: exit_x = 0 needs a door out", {[](Data d) { d.stages[cellar].doors[0].secret = true; }}},
      {"stage road: a door must lead to another area that is not a town",
       {[](Data d) { d.stages[road].doors[0].area = town; }, [](Data d) { d.stages[road].doors[0].area = road; }},
       {[](Data d) { d.stages[cellar].title = "road"; }}},  // a display name is no stage name
      {"stage road: the door at 700 100 must stand on the floor band and arrive inside cellar",
       {[](Data d) { d.stages[road].doors[0].entry_x = 0; }, [](Data d) { d.stages[road].doors[0].entry_x = 1000; }},
       {[](Data d) { d.stages[road].doors[0].entry_x = 999; }}},
      {"stage road: the door at 700 301 must stand on the floor band and arrive inside cellar",
       {[](Data d) { d.stages[road].doors[0].z = 301; }}},
      {"stage road: the lever at 1200 400 " + lever, {[](Data d) { d.stages[road].levers[0].z = 400; }}},
      {"stage road: the lever at 1500 50 " + lever, {[](Data d) { d.stages[road].levers[0].x = 1500; }}},
      {"stage road: the lever at 100 50 " + lever, {[](Data d) { d.stages[road].levers.push_back({100, 50, 1400}); }}},
      {"stage road: the barrier at 2000 needs a lever and must lie inside the stage",
       {[](Data d) { d.stages[road].barriers.push_back(2000); }}},
      {"stage road: the barrier at 3000 needs a lever and must lie inside the stage",
       {[](Data d) { d.stages[road].barriers = {3000}, d.stages[road].levers[0].barrier_x = 3000; }}},
      {"stage road: the trap at -5 100 needs dice and must lie on the floor band",
       {[](Data d) { d.stages[road].traps[0].x = -5; },
        [](Data d) { d.stages[road].traps[0].x = -5, d.stages[road].traps[0].dice = 0; }}},  // one message
      {"stage road: the trap at 1800 100 needs dice and must lie on the floor band",
       {[](Data d) { d.stages[road].traps[0].dice = 0; }}},
      {"stage: barrel at 300 500 is off the floor band", {[](Data d) { d.stages[road].barrels[0].z = 500; }}},
      {"stage: barrel at 300 100 drops nothing", {[](Data d) { d.stages[road].barrels[0].amount = 0; }}},
  });
  expect_cases({
      {[](Data d) { d.stages[road].doors = {door(road, 0, 100, 100, true)}; },  // both door checks
       {"stage road: a door must lead to another area that is not a town",
        "stage road: the door at 0 100 must stand on the floor band and arrive inside road"}},
      {[](Data d) { d.stages[road].barrels[0] = BarrelDef{0, 0, BarrelContents::silver, -1}; },
       {"stage: barrel at 0 0 is off the floor band", "stage: barrel at 0 0 drops nothing"}},
      {[](Data d) { d.stages[cellar].doors.clear(); },
       {"stage cellar: exit_x = 0 needs a door out",
        "node n_cellar: no exit can be reached through the doors of its stage"}},
      {[](Data d) { d.stages[road].exit_x = 0, d.stages[road].gates.clear(); },
       {"node n_road: no exit can be reached through the doors of its stage",
        "node n_cellar: no exit can be reached through the doors of its stage"}},
      // An exit two doors away, the second a secret passage.
      {[](Data d) {
         d.stages.push_back(stage("hall", 1000, 0));
         d.stages[3].doors = {door(cellar, 100, 100, 100), door(road, 200, 100, 100, true)};
         d.stages[cellar].doors[0].area = 3;
       },
       {}},
  });
}

TEST(ValidateData, FaultsComeInOrder) {
  GameData d = valid_data();
  d.nodes[2].links.clear();                 // nodes
  d.stages[cellar].doors.clear();           // stages, node exits
  d.scaling.elite_hp[0] = 99;               // scaling
  d.campaigns[0].optional = {1};            // campaigns
  d.loot[0].rolls = 0;                      // loot
  d.items[sword].fatigue = 1;               // items
  d.kinds[archer].gear = {sword};           // kind gear
  d.kinds[archer].keep = {1, 1};            // kinds
  d.moves[toss].active = 0;                 // moves: rule 1 ...
  d.moves[toss].next = ChainSpec{toss, 0};  // ... and rule 13 of the same move
  d.moves[jab].armor_divisor = 0;
  EXPECT_EQ(validate_data(d),
            (Faults{"move jab: armor_divisor must be 1 or more", "move toss: no active frames",
                    "move toss: chain loops back on itself", "kind archer: keep needs a near and a farther distance",
                    "kind archer: cannot use its starting sword",
                    "item sword: only armour has fatigue, and it cannot be negative",
                    "loot small: needs rolls and entries with weights above zero",
                    "campaign main: optional nodes must be among its nodes, and not its start",
                    "node n_cellar: needs at least one route",
                    "scaling elite_hp: starts at 100 for one player and never shrinks",
                    "stage cellar: exit_x = 0 needs a door out",
                    "node n_cellar: no exit can be reached through the doors of its stage"}));
}

// The readers only give ids in range; a record that points nowhere anyway is
// passed over by the check that needs it and never read out of bounds.
TEST(ValidateData, IdsOutOfRangeAreSkipped) {
  GameData d = valid_data();
  d.moves[hook].next = ChainSpec{200, 1};
  d.kinds[archer].special = {200};
  d.kinds[fighter].air = 200;
  d.kinds[fighter].gear = {999};
  d.items[potion].use = 200;
  d.stages[road].gates[0].waves[0].spawns[0].kind = 200;
  d.stages[cellar].doors[0].area = 99;
  d.nodes[0].stage = 99;
  d.nodes[1].links.push_back(99);
  EXPECT_EQ(validate_data(d), Faults{"node n_cellar: no exit can be reached through the doors of its stage"});
}

TEST(ValidateData, ExtremeNumbersDoNotOverflow) {
  GameData d = valid_data();
  d.moves[jab].startup = d.moves[jab].active = d.moves[jab].recovery = d.moves[jab].next->frame = 65535;
  d.stages[road].length = d.stages[road].view_w = int_max;
  d.stages[road].gates = {gate(int_max, int_max)};
  d.stages[road].exit_x = int_min;
  d.stages[road].chests[0] = ChestDef{0, int_min, int_max, 0, false};
  d.stages[cellar].doors[0].entry_x = int_max;
  EXPECT_EQ(validate_data(d),
            (Faults{"stage: chest at -2147483648 2147483647 is off the floor band",
                    "stage gate 1: gates must run left to right and keep the locked screen inside the stage",
                    "stage road: the exit must lie after the last gate and inside the stage",
                    "stage cellar: the door at 100 100 must stand on the floor band and arrive inside road"}));
}

}  // namespace
}  // namespace velmora
