#include "core/validation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "core/game_data.h"

namespace velmora {
namespace {

constexpr std::int32_t int_max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t int_min = std::numeric_limits<std::int32_t>::min();

// Move ids of the fixture.
constexpr std::uint8_t jab = 0, hook = 1, toss = 2, drink = 3, hop = 4;
// Kind ids.
constexpr std::uint8_t fighter = 0, archer = 1;
// Item ids.
constexpr std::uint16_t sword = 0, helm = 1, gem = 2, potion = 3, bomb = 4;
// Stage indexes.
constexpr std::size_t road = 0, cellar = 1, town = 2;

MoveDef move(std::string name) {
  MoveDef m;
  m.name = std::move(name);
  m.startup = 3;
  m.active = 2;
  m.recovery = 5;
  m.forward = {0, 40};
  m.height = {50, 120};
  m.depth = 20;
  return m;
}

KindDef kind(std::string name) {
  KindDef k;
  k.name = std::move(name);
  k.st = 10;
  k.body = {20, 150};
  k.light = jab;
  k.think = 10;
  return k;
}

ItemDef item(std::string name, ItemSlot slot) {
  ItemDef i;
  i.name = std::move(name);
  i.slot = slot;
  i.weight = 10;
  i.value = 5;
  return i;
}

StageDef stage(std::string name, std::int32_t length, std::int32_t exit_x) {
  StageDef s;
  s.name = std::move(name);
  s.length = length;
  s.depth = 300;
  s.view_w = 1200;
  s.exit_x = exit_x;
  return s;
}

DoorDef door(std::size_t area, std::int32_t x, std::int32_t z, std::int32_t entry_x, bool secret = false) {
  DoorDef d;
  d.title = secret ? "" : "Door";
  d.area = area;
  d.x = x;
  d.z = z;
  d.entry_x = entry_x;
  d.secret = secret;
  return d;
}

GateDef gate(std::int32_t trigger_x, std::int32_t center_x, std::uint8_t spawn_kind = archer) {
  GateDef g;
  g.trigger_x = trigger_x;
  g.center_x = center_x;
  g.waves = {WaveDef{{SpawnDef{1, 100, spawn_kind}}}};
  return g;
}

void add_moves(GameData& d) {
  d.moves = {move("jab"), move("hook"), move("toss"), move("drink"), move("hop")};
  d.moves[jab].next = ChainSpec{hook, 9};
  d.moves[toss].projectile = ProjectileSpec{10, 300};
  d.moves[hop].air = true;
}

void add_kinds(GameData& d) {
  KindDef f = kind("fighter");
  f.player = true;
  f.force = true;
  f.lockpick = 3;
  f.air = hop;
  f.special = {hook};
  f.gear = {sword, helm, potion, potion};
  KindDef a = kind("archer");
  a.role = AiRole::ranged;
  a.special = {toss};
  d.kinds = {f, a};
}

void add_items(GameData& d) {
  ItemDef s = item("sword", ItemSlot::weapon);
  s.damage = 2;
  s.reach = 10;
  s.classes = {fighter};
  ItemDef h = item("helm", ItemSlot::head);
  h.fatigue = 5;
  ItemDef g = item("gem", ItemSlot::valuable);
  ItemDef p = item("potion", ItemSlot::consumable);
  p.use = drink;
  p.heal = 10;
  ItemDef b = item("bomb", ItemSlot::consumable);
  b.use = toss;
  b.burst = BurstSpec{2, 0, 80, DamageType::crushing};
  d.items = {s, h, g, p, b};
}

void add_loot(GameData& d) {
  LootTable t;
  t.name = "small";
  t.rolls = 1;
  t.entries = {LootEntry{LootKind::silver, 0, 5, 10, 0, 3}, LootEntry{LootKind::item, gem, 0, 0, 0, 1},
               LootEntry{LootKind::food, 0, 0, 0, 10, 1}};
  d.loot = {t};
}

void add_stages(GameData& d) {
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
  t.town = true;
  t.shop = {potion};
  t.shop_at = Point{400, 100};
  t.inn_at = Point{800, 100};
  t.trainer_at = Point{1200, 100};
  d.stages = {r, c, t};
}

void add_region(GameData& d) {
  d.nodes = {NodeDef{"n_road", "Road", "", road, {100, 100}, {1}},
             NodeDef{"n_town", "Town", "", town, {1000, 600}, {0, 2}},
             NodeDef{"n_cellar", "Cellar", "", cellar, {0, 0}, {1}}};
  d.campaigns = {CampaignDef{"main", "Main", "", 1, {0, 1, 2}, {2}}};
}

// A small data set that passes every check; each test breaks one thing. The
// town node's stage has no exit and no door: town nodes are not searched.
GameData valid_data() {
  GameData d;
  add_moves(d);
  add_kinds(d);
  add_items(d);
  add_loot(d);
  add_stages(d);
  add_region(d);
  return d;
}

struct Case {
  const char* what;
  std::function<void(GameData&)> change;
  Faults expected;  // empty: the change is still valid
};

void expect_cases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    GameData d = valid_data();
    c.change(d);
    EXPECT_EQ(validate_data(d), c.expected) << c.what;
  }
}

TEST(ValidateData, FixtureIsValid) { EXPECT_EQ(validate_data(valid_data()), Faults{}); }

TEST(ValidateData, MoveRules) {
  auto m = [](std::uint8_t id, std::function<void(MoveDef&)> f) {
    return [id, f](GameData& d) { f(d.moves[id]); };
  };
  expect_cases({
      {"no active frames", m(hook, [](MoveDef& x) { x.active = 0; }), {"move hook: no active frames"}},
      {"forward backwards", m(hook, [](MoveDef& x) { x.forward = {40, 40}; }), {"move hook: empty hit volume"}},
      {"height backwards", m(hook, [](MoveDef& x) { x.height = {120, 50}; }), {"move hook: empty hit volume"}},
      {"no depth", m(hook, [](MoveDef& x) { x.depth = 0; }), {"move hook: empty hit volume"}},
      {"chain at the end", m(jab, [](MoveDef& x) { x.next->frame = 10; }),
       {"move jab: chain window starts after the move ends"}},
      {"chain on the last frame", m(jab, [](MoveDef& x) { x.next->frame = 9; }), {}},
      {"requires 5", m(drink, [](MoveDef& x) { x.requires_skill = 5; }),
       {"move drink: requires must be a skill level from 0 to 4"}},
      {"requires -1", m(drink, [](MoveDef& x) { x.requires_skill = -1; }),
       {"move drink: requires must be a skill level from 0 to 4"}},
      {"requires 4", m(toss, [](MoveDef& x) { x.requires_skill = 4; }), {}},
      {"negative price", m(hook, [](MoveDef& x) { x.price = -1; }),
       {"move hook: price, rally and backstab_mult must be positive"}},
      {"backstab_mult 0", m(hook, [](MoveDef& x) { x.backstab_mult = 0; }),
       {"move hook: price, rally and backstab_mult must be positive"}},
      {"rally without hp", m(hook, [](MoveDef& x) { x.rally = RallySpec{0, 60}; }),
       {"move hook: price, rally and backstab_mult must be positive"}},
      {"rally without ticks", m(hook, [](MoveDef& x) { x.rally = RallySpec{5, 0}; }),
       {"move hook: price, rally and backstab_mult must be positive"}},
      {"poison without damage", m(hook, [](MoveDef& x) { x.poison = PoisonSpec{0, 60}; }),
       {"move hook: poison and vanish need an amount and a duration"}},
      {"poison without ticks", m(hook, [](MoveDef& x) { x.poison = PoisonSpec{3, 0}; }),
       {"move hook: poison and vanish need an amount and a duration"}},
      {"vanish without ticks", m(hook, [](MoveDef& x) { x.vanish = VanishSpec{0, 50}; }),
       {"move hook: poison and vanish need an amount and a duration"}},
      {"vanish percent is free", m(hook, [](MoveDef& x) { x.vanish = VanishSpec{60, -5}; }), {}},
      {"negative heal", m(hook, [](MoveDef& x) { x.heal = -1; }),
       {"move hook: heal and raise cannot be negative, ward needs DR and ticks, undead_mult 1 or more"}},
      {"negative raise", m(hook, [](MoveDef& x) { x.raise = -1; }),
       {"move hook: heal and raise cannot be negative, ward needs DR and ticks, undead_mult 1 or more"}},
      {"undead_mult 0", m(hook, [](MoveDef& x) { x.undead_mult = 0; }),
       {"move hook: heal and raise cannot be negative, ward needs DR and ticks, undead_mult 1 or more"}},
      {"ward without dr", m(hook, [](MoveDef& x) { x.ward = WardSpec{0, 60}; }),
       {"move hook: heal and raise cannot be negative, ward needs DR and ticks, undead_mult 1 or more"}},
      {"freeze without radius", m(hook, [](MoveDef& x) { x.freeze = RadiusTicks{0, 60}; }),
       {"move hook: freeze needs a radius and a duration, storm dice"}},
      {"freeze without ticks", m(hook, [](MoveDef& x) { x.freeze = RadiusTicks{100, 0}; }),
       {"move hook: freeze needs a radius and a duration, storm dice"}},
      {"storm without dice", m(hook, [](MoveDef& x) { x.storm = StormSpec{0, 2, DamageType::burning}; }),
       {"move hook: freeze needs a radius and a duration, storm dice"}},
      {"turn_undead without ticks", m(hook, [](MoveDef& x) { x.turn_undead = TurnUndeadSpec{0, 5}; }),
       {"move hook: turn_undead needs a duration, burst a radius"}},
      {"burst with negative dice", m(hook, [](MoveDef& x) { x.burst = BurstSpec{-1, 0, 50, DamageType::cutting}; }),
       {"move hook: turn_undead needs a duration, burst a radius"}},
      {"burst without radius", m(hook, [](MoveDef& x) { x.burst = BurstSpec{1, 0, 0, DamageType::cutting}; }),
       {"move hook: turn_undead needs a duration, burst a radius"}},
      {"burst of no dice", m(hook, [](MoveDef& x) { x.burst = BurstSpec{0, 3, 50, DamageType::cutting}; }), {}},
      {"armor_divisor 0", m(hook, [](MoveDef& x) { x.armor_divisor = 0; }),
       {"move hook: armor_divisor must be 1 or more"}},
      {"projectile without speed", m(toss, [](MoveDef& x) { x.projectile = ProjectileSpec{0, 300}; }),
       {"move toss: a projectile needs a speed and a longer range"}},
      {"projectile range not past speed", m(toss, [](MoveDef& x) { x.projectile = ProjectileSpec{10, 10}; }),
       {"move toss: a projectile needs a speed and a longer range"}},
      {"invulnerable empty", m(hook, [](MoveDef& x) { x.invulnerable = {5, 5}; }),
       {"move hook: invulnerable range is empty"}},
      {"invulnerable open end", m(hook, [](MoveDef& x) { x.invulnerable = {5, 0}; }), {}},
  });
}

TEST(ValidateData, MoveChainLoops) {
  expect_cases({
      {"chain into itself", [](GameData& d) { d.moves[drink].next = ChainSpec{drink, 1}; },
       {"move drink: chain loops back on itself"}},
      {"a chain into a move that loops", [](GameData& d) { d.moves[hook].next = ChainSpec{hook, 1}; },
       {"move jab: chain loops back on itself", "move hook: chain loops back on itself"}},
      {"two moves naming each other", [](GameData& d) { d.moves[hook].next = ChainSpec{jab, 1}; },
       {"move jab: chain loops back on itself", "move hook: chain loops back on itself"}},
      {"a chain that runs into a loop further on",
       [](GameData& d) {
         d.moves[hook].next = ChainSpec{toss, 1};
         d.moves[toss].next = ChainSpec{hook, 1};
       },
       {"move jab: chain loops back on itself", "move hook: chain loops back on itself",
        "move toss: chain loops back on itself"}},
      {"a long chain that ends",
       [](GameData& d) {
         d.moves[hook].next = ChainSpec{toss, 1};
         d.moves[toss].next = ChainSpec{drink, 1};
       },
       {}},
  });
}

TEST(ValidateData, KindRules) {
  auto k = [](std::uint8_t id, std::function<void(KindDef&)> f) {
    return [id, f](GameData& d) { f(d.kinds[id]); };
  };
  expect_cases({
      {"no light move", k(archer, [](KindDef& x) { x.light.reset(); }), {"kind archer: needs a light move"}},
      {"silver backwards", k(archer, [](KindDef& x) { x.silver = {10, 9}; }), {"kind archer: a range runs backwards"}},
      {"cooldown backwards", k(archer, [](KindDef& x) { x.cooldown = {10, 9}; }),
       {"kind archer: a range runs backwards"}},
      {"equal ranges", k(archer, [](KindDef& x) { x.silver = x.cooldown = {10, 10}; }), {}},
      {"no width", k(archer, [](KindDef& x) { x.body = {0, 150}; }),
       {"kind archer: body, HP and think must be positive"}},
      {"no toughness", k(archer, [](KindDef& x) { x.toughness = 0; }),
       {"kind archer: body, HP and think must be positive"}},
      {"no strength", k(archer, [](KindDef& x) { x.st = 0; }),
       {"kind archer: body, HP and think must be positive"}},
      {"HP beyond 32 bits", k(archer, [](KindDef& x) { x.st = x.toughness = int_max; }), {}},
      {"no think", k(archer, [](KindDef& x) { x.think = 0; }),
       {"kind archer: body, HP and think must be positive"}},
      {"ranged without special", k(archer, [](KindDef& x) { x.special.clear(); }),
       {"kind archer: a ranged or caster role needs a thrown special to shoot"}},
      {"caster with a melee special", k(archer, [](KindDef& x) {
         x.role = AiRole::caster;
         x.special = {hook, toss};
       }),
       {"kind archer: a ranged or caster role needs a thrown special to shoot"}},
      {"brute without special", k(archer, [](KindDef& x) {
         x.role = AiRole::brute;
         x.special.clear();
       }), {}},
      {"ward guard without hold", k(archer, [](KindDef& x) { x.guard = GuardKind::ward; }),
       {"kind archer: a dodge needs its length and a ward its hold, in guard_hold"}},
      {"dodge without length", k(archer, [](KindDef& x) { x.guard = GuardKind::dodge; }),
       {"kind archer: a dodge needs its length and a ward its hold, in guard_hold"}},
      {"dodge with length", k(archer, [](KindDef& x) {
         x.guard = GuardKind::dodge;
         x.guard_hold = 20;
       }), {}},
      {"keep from zero", k(archer, [](KindDef& x) { x.keep = {0, 500}; }),
       {"kind archer: keep needs a near and a farther distance"}},
      {"keep flat", k(archer, [](KindDef& x) { x.keep = {500, 500}; }),
       {"kind archer: keep needs a near and a farther distance"}},
      {"eight specials", k(archer, [](KindDef& x) { x.special = {toss, hook, hook, hook, hook, hook, hook, hook}; }),
       {"kind archer: at most 7 specials fit the wheel"}},
      {"seven specials", k(archer, [](KindDef& x) { x.special = {toss, hook, hook, hook, hook, hook, hook}; }), {}},
      {"first player special needs skill", [](GameData& d) { d.moves[hook].requires_skill = 1; },
       {"kind fighter: the first special must be free and need no skill, so a new character has one"}},
      {"first player special costs", [](GameData& d) { d.moves[hook].price = 10; },
       {"kind fighter: the first special must be free and need no skill, so a new character has one"}},
      {"an enemy's special may cost", [](GameData& d) { d.moves[toss].price = 10; }, {}},
      {"a later player special may cost", [](GameData& d) {
         d.kinds[fighter].special = {hook, toss};
         d.moves[toss].price = 10;
       }, {}},
      {"air move not marked", [](GameData& d) { d.moves[hop].air = false; },
       {"kind fighter: air move hop is not marked air = yes"}},
  });
}

TEST(ValidateData, KindsNeedAPlayer) {
  GameData d = valid_data();
  d.kinds[fighter].player = false;
  d.kinds[archer].light.reset();
  // The missing player class comes before any kind's own faults; the locked
  // chest then has no way in either.
  EXPECT_EQ(validate_data(d), (Faults{"kinds: at least one kind needs player = yes", "kind archer: needs a light move",
                                      "stage: the locked chest at 500 100 needs two ways in (a class that picks "
                                      "locks and one that forces them)"}));
}

TEST(ValidateData, KindGear) {
  auto gear = [](std::vector<std::uint16_t> ids) { return [ids](GameData& d) { d.kinds[fighter].gear = ids; }; };
  expect_cases({
      {"a valuable", gear({gem}), {"kind fighter: starts with gem, a valuable, as gear"}},
      {"two weapons", gear({sword, helm, sword}), {"kind fighter: two starting items in the weapon slot"}},
      {"three helmets", gear({helm, helm, helm}),
       {"kind fighter: two starting items in the head slot", "kind fighter: two starting items in the head slot"}},
      {"another class's item", [](GameData& d) { d.kinds[archer].gear = {sword}; },
       {"kind archer: cannot use its starting sword"}},
      {"checks in order, item by item", [](GameData& d) {
         d.items[gem].classes = {archer};
         d.items[helm].slot = ItemSlot::body;
         d.items[helm].classes = {archer};
         d.kinds[fighter].gear = {gem, helm, helm};
       },
       {"kind fighter: starts with gem, a valuable, as gear", "kind fighter: cannot use its starting gem",
        "kind fighter: cannot use its starting helm", "kind fighter: two starting items in the body slot",
        "kind fighter: cannot use its starting helm"}},
  });
}

TEST(ValidateData, ItemRules) {
  auto it = [](std::uint16_t id, std::function<void(ItemDef&)> f) {
    return [id, f](GameData& d) { f(d.items[id]); };
  };
  const std::string worth = "weight and value cannot be negative, and a valuable is worth something";
  const std::string fatigue = "only armour has fatigue, and it cannot be negative";
  const std::string use = "a consumable needs `use` and an effect, and only consumables have them";
  const std::string amounts = "effects need positive amounts; a thrown item only bursts or leaves a hazard";
  expect_cases({
      {"negative weight", it(sword, [](ItemDef& x) { x.weight = -1; }), {"item sword: " + worth}},
      {"negative value", it(sword, [](ItemDef& x) { x.value = -1; }), {"item sword: " + worth}},
      {"worthless valuable", it(gem, [](ItemDef& x) { x.value = 0; }), {"item gem: " + worth}},
      {"tiring weapon", it(sword, [](ItemDef& x) { x.fatigue = 1; }), {"item sword: " + fatigue}},
      {"tiring body armour", it(helm, [](ItemDef& x) { x.slot = ItemSlot::body; }), {}},
      {"negative fatigue", it(helm, [](ItemDef& x) { x.fatigue = -1; }), {"item helm: " + fatigue}},
      {"helm with damage", it(helm, [](ItemDef& x) { x.damage = 1; }), {"item helm: only weapons add damage and reach"}},
      {"gem with reach", it(gem, [](ItemDef& x) { x.reach = -1; }), {"item gem: only weapons add damage and reach"}},
      {"consumable without use", it(potion, [](ItemDef& x) { x.use.reset(); }), {"item potion: " + use}},
      {"consumable without effect", it(potion, [](ItemDef& x) { x.heal = 0, x.calm = true; }), {"item potion: " + use}},
      {"a negative heal is no effect", it(potion, [](ItemDef& x) { x.heal = -5; }),
       {"item potion: " + use, "item potion: " + amounts}},
      {"ward is an effect", it(potion, [](ItemDef& x) { x.heal = 0, x.ward = WardSpec{2, 60}; }), {}},
      {"turn is an effect", it(potion, [](ItemDef& x) { x.heal = 0, x.turn = RadiusTicks{100, 60}; }), {}},
      {"hazard is an effect", it(bomb, [](ItemDef& x) { x.burst.reset(), x.hazard = HazardSpec{1, 0, 60}; }), {}},
      {"sword with use and effect", it(sword, [](ItemDef& x) { x.use = drink, x.heal = 5; }), {"item sword: " + use}},
      {"sword with use only", it(sword, [](ItemDef& x) { x.use = drink; }), {}},
      {"burst without dice", it(bomb, [](ItemDef& x) { x.burst->dice = 0; }), {"item bomb: " + amounts}},
      {"burst without radius", it(bomb, [](ItemDef& x) { x.burst->radius = 0; }), {"item bomb: " + amounts}},
      {"hazard without dice", it(bomb, [](ItemDef& x) { x.hazard = HazardSpec{0, 1, 60}; }), {"item bomb: " + amounts}},
      {"hazard without ticks", it(bomb, [](ItemDef& x) { x.hazard = HazardSpec{1, 1, 0}; }), {"item bomb: " + amounts}},
      {"ward without dr", it(potion, [](ItemDef& x) { x.ward = WardSpec{0, 60}; }), {"item potion: " + amounts}},
      {"ward without ticks", it(potion, [](ItemDef& x) { x.ward = WardSpec{1, 0}; }), {"item potion: " + amounts}},
      {"turn without radius", it(potion, [](ItemDef& x) { x.turn = RadiusTicks{0, 60}; }), {"item potion: " + amounts}},
      {"turn without ticks", it(potion, [](ItemDef& x) { x.turn = RadiusTicks{50, 0}; }), {"item potion: " + amounts}},
      {"negative heal", it(bomb, [](ItemDef& x) { x.heal = -1; }), {"item bomb: " + amounts}},
      {"thrown heal", it(bomb, [](ItemDef& x) { x.heal = 5; }), {"item bomb: " + amounts}},
      {"thrown ward", it(bomb, [](ItemDef& x) { x.ward = WardSpec{1, 60}; }), {"item bomb: " + amounts}},
      {"thrown hazard", it(bomb, [](ItemDef& x) { x.hazard = HazardSpec{1, 0, 60}; }), {}},
      {"all rules of one item in order", [](GameData& d) {
         ItemDef& x = d.items[sword];
         x.slot = ItemSlot::valuable;
         x.value = 0;
         x.fatigue = 2;
         x.use = toss;
         x.heal = 3;
         d.kinds[fighter].gear = {helm};
       },
       {"item sword: " + worth, "item sword: " + fatigue, "item sword: only weapons add damage and reach",
        "item sword: " + use, "item sword: " + amounts}},
  });
}

TEST(ValidateData, LootRules) {
  const Faults empty = {"loot small: needs rolls and entries with weights above zero"};
  const Faults silver = {"loot small: a silver range runs backwards or is empty"};
  expect_cases({
      {"no rolls", [](GameData& d) { d.loot[0].rolls = 0; }, empty},
      {"negative rolls", [](GameData& d) { d.loot[0].rolls = -3; }, empty},
      {"no entries", [](GameData& d) { d.loot[0].entries.clear(); }, empty},
      {"an entry of no weight", [](GameData& d) { d.loot[0].entries[2].weight = 0; }, empty},
      {"silver from zero", [](GameData& d) { d.loot[0].entries[0].min = 0; }, silver},
      {"silver backwards", [](GameData& d) { d.loot[0].entries[0].max = 4; }, silver},
      {"two bad piles, one message", [](GameData& d) {
         d.loot[0].entries.push_back(d.loot[0].entries[0]);
         d.loot[0].entries[0].max = 4;
         d.loot[0].entries[3].min = -1;
       }, silver},
      {"a single coin", [](GameData& d) { d.loot[0].entries[0].max = 5; }, {}},
  });
}

TEST(ValidateData, CampaignRules) {
  expect_cases({
      {"start off the map", [](GameData& d) { d.campaigns[0].nodes = {0, 2}; },
       {"campaign main: its start must be one of its nodes",
        "campaign main: node n_road links to n_town, which is not on this campaign's map",
        "campaign main: node n_cellar links to n_town, which is not on this campaign's map",
        "node n_town: belongs to no campaign"}},
      {"optional off the map",
       [](GameData& d) {
         d.campaigns[0].nodes = {0, 1};
         d.nodes[1].links = {0};
         d.campaigns.push_back(CampaignDef{"side", "Side", "", 2, {2}, {}});
         d.nodes[2].links = {2};
       },
       {"campaign main: optional nodes must be among its nodes, and not its start"}},
      {"optional start", [](GameData& d) { d.campaigns[0].optional = {1}; },
       {"campaign main: optional nodes must be among its nodes, and not its start"}},
      {"links leave the map",
       [](GameData& d) {
         d.campaigns.push_back(CampaignDef{"side", "Side", "", 2, {2}, {}});
         d.campaigns[0].nodes = {0, 1};
         d.campaigns[0].optional.clear();
       },
       {"campaign main: node n_town links to n_cellar, which is not on this campaign's map",
        "campaign side: node n_cellar links to n_town, which is not on this campaign's map"}},
      {"no campaign", [](GameData& d) { d.campaigns.clear(); },
       {"region: needs at least one [campaign]", "node n_road: belongs to no campaign",
        "node n_town: belongs to no campaign", "node n_cellar: belongs to no campaign"}},
  });
}

TEST(ValidateData, NodeRules) {
  expect_cases({
      {"no route", [](GameData& d) { d.nodes[0].links.clear(); }, {"node n_road: needs at least one route"}},
      {"x past the map", [](GameData& d) { d.nodes[0].at = {1001, 0}; }, {"node n_road: at must be within 1000 by 600"}},
      {"y past the map", [](GameData& d) { d.nodes[0].at = {0, 601}; }, {"node n_road: at must be within 1000 by 600"}},
      {"negative x", [](GameData& d) { d.nodes[0].at = {-1, 5}; }, {"node n_road: at must be within 1000 by 600"}},
      {"membership first, then routes and positions", [](GameData& d) {
         d.nodes.push_back(NodeDef{"lost", "Lost", "", road, {2000, 0}, {}});
         d.nodes[0].links.clear();
       },
       {"node lost: belongs to no campaign", "node n_road: needs at least one route",
        "node lost: needs at least one route", "node lost: at must be within 1000 by 600"}},
  });
}

TEST(ValidateData, ScalingRules) {
  auto scale = [](std::array<std::int32_t, 4> minions) { return [minions](GameData& d) { d.scaling.minions = minions; }; };
  const Faults shrinks = {"scaling minions: starts at 100 for one player and never shrinks"};
  expect_cases({
      {"shrinks at four", scale({100, 100, 120, 110}), shrinks},
      {"below 100 for two", scale({100, 99, 120, 130}), shrinks},
      {"not 100 for one", scale({90, 100, 100, 100}), shrinks},
      {"grows and holds", scale({100, 150, 150, 200}), {}},
      {"every key in order", [](GameData& d) {
         d.scaling.boss_hp = {100, 100, 100, 99};
         d.scaling.elite_hp = {101, 101, 101, 101};
       },
       {"scaling elite_hp: starts at 100 for one player and never shrinks",
        "scaling boss_hp: starts at 100 for one player and never shrinks"}},
  });
}

TEST(ValidateData, StageTownsAndChests) {
  auto st = [](std::size_t id, std::function<void(StageDef&)> f) {
    return [id, f](GameData& d) { f(d.stages[id]); };
  };
  const std::string services = "only a town has a shop, an inn and a trainer";
  expect_cases({
      {"gate in town", st(town, [](StageDef& x) { x.gates = {gate(900, 1000)}; }),
       {"stage town: a town has no combat gates"}},
      {"shop out of town", st(cellar, [](StageDef& x) { x.shop = {potion}; }), {"stage cellar: " + services}},
      {"shopkeeper out of town", st(cellar, [](StageDef& x) { x.shop_at = Point{100, 100}; }),
       {"stage cellar: " + services}},
      {"inn out of town", st(cellar, [](StageDef& x) { x.inn_at = Point{100, 100}; }), {"stage cellar: " + services}},
      {"trainer out of town", st(cellar, [](StageDef& x) { x.trainer_at = Point{100, 100}; }),
       {"stage cellar: " + services}},
      {"no one forces locks", [](GameData& d) { d.kinds[fighter].force = false; },
       {"stage: the locked chest at 500 100 needs two ways in (a class that picks locks and one that forces them)"}},
      {"no one picks locks", [](GameData& d) { d.kinds[fighter].lockpick = 0; },
       {"stage: the locked chest at 500 100 needs two ways in (a class that picks locks and one that forces them)"}},
      {"an enemy's lockpicking does not count",
       [](GameData& d) {
         d.kinds[fighter].lockpick = 0;
         d.kinds[archer].lockpick = 5;
       },
       {"stage: the locked chest at 500 100 needs two ways in (a class that picks locks and one that forces them)"}},
      {"open chests need no way in", [](GameData& d) {
         d.kinds[fighter].force = false;
         d.stages[road].chests[0].locked = false;
       }, {}},
      {"chest at x 0", st(road, [](StageDef& x) { x.chests[0].x = 0; }), {"stage: chest at 0 100 is off the floor band"}},
      {"chest behind the band", st(road, [](StageDef& x) { x.chests[0].z = 301; }),
       {"stage: chest at 500 301 is off the floor band"}},
      {"chest on the band's edges", st(road, [](StageDef& x) { x.chests = {ChestDef{0, 1, 0}, ChestDef{0, 2999, 300}}; }),
       {}},
  });
}

TEST(ValidateData, StageGates) {
  auto gates = [](std::vector<GateDef> g) { return [g](GameData& d) { d.stages[road].gates = g; }; };
  const std::string order = "gates must run left to right and keep the locked screen inside the stage";
  const std::string trigger = "the trigger must be reachable before the screen edge";
  expect_cases({
      {"gate left of half a screen", gates({gate(100, 599)}), {"stage gate 1: " + order}},
      {"gate at half a screen", gates({gate(100, 600)}), {}},
      {"locked screen past the end", gates({gate(900, 2401)}), {"stage gate 1: " + order}},
      {"locked screen to the end", gates({gate(900, 2400)}), {}},
      {"second gate on the first", gates({gate(900, 1000), gate(900, 1000)}), {"stage gate 2: " + order}},
      {"trigger at the edge", gates({gate(2040, 1500)}), {}},
      {"trigger past the edge", gates({gate(2041, 1500)}), {"stage gate 1: " + trigger}},
      {"no waves", [](GameData& d) { d.stages[road].gates[0].waves.clear(); },
       {"stage gate 1: every gate needs waves and every wave enemies"}},
      {"an empty wave", [](GameData& d) { d.stages[road].gates[0].waves.push_back(WaveDef{}); },
       {"stage gate 1: every gate needs waves and every wave enemies"}},
      {"player kind in a wave", gates({gate(900, 1000), gate(1100, 1200, fighter)}),
       {"stage gate 2: a wave spawns the player kind"}},
      {"player kind twice, one message", [](GameData& d) {
         GateDef& g = d.stages[road].gates[0];
         g.waves = {WaveDef{{SpawnDef{1, 0, fighter}, SpawnDef{-1, 0, fighter}}}, WaveDef{{SpawnDef{1, 0, fighter}}}};
       },
       {"stage gate 1: a wave spawns the player kind"}},
      {"an empty wave hides the player kind", [](GameData& d) {
         d.stages[road].gates[0].waves = {WaveDef{{SpawnDef{1, 0, fighter}}}, WaveDef{}};
       },
       {"stage gate 1: every gate needs waves and every wave enemies"}},
      {"gate numbers run per stage", [](GameData& d) {
         d.stages[cellar].view_w = 400;
         d.stages[cellar].gates = {gate(100, 300), gate(600, 0)};
       },
       {"stage gate 2: " + order, "stage gate 2: " + trigger}},
  });
}

TEST(ValidateData, StageExits) {
  auto st = [](std::size_t id, std::function<void(StageDef&)> f) {
    return [id, f](GameData& d) { f(d.stages[id]); };
  };
  const std::string exit = "the exit must lie after the last gate and inside the stage";
  expect_cases({
      {"exit on the last gate", st(road, [](StageDef& x) { x.exit_x = 1000; }), {"stage road: " + exit}},
      {"exit just past the last gate", st(road, [](StageDef& x) { x.exit_x = 1001; }), {}},
      {"exit at the end", st(road, [](StageDef& x) { x.exit_x = 3000; }), {"stage road: " + exit}},
      {"exit before half a screen without gates", st(road, [](StageDef& x) { x.gates.clear(), x.exit_x = 599; }),
       {"stage road: " + exit}},
      {"exit at half a screen without gates", st(road, [](StageDef& x) { x.gates.clear(), x.exit_x = 600; }), {}},
      {"exit behind a misplaced gate", st(road, [](StageDef& x) { x.gates = {gate(900, 2900)}, x.exit_x = 2950; }),
       {"stage gate 1: gates must run left to right and keep the locked screen inside the stage"}},
      {"no exit and only a secret passage", st(cellar, [](StageDef& x) { x.doors[0].secret = true; }),
       {"stage cellar: exit_x = 0 needs a door out"}},
      {"no exit and no door", st(cellar, [](StageDef& x) { x.doors.clear(); }),
       {"stage cellar: exit_x = 0 needs a door out", "node n_cellar: no exit can be reached through the doors of its stage"}},
  });
}

TEST(ValidateData, StageDoors) {
  auto doors = [](std::size_t id, std::vector<DoorDef> list) {
    return [id, list](GameData& d) { d.stages[id].doors = list; };
  };
  const std::string target = "stage road: a door must lead to another area that is not a town";
  expect_cases({
      {"door into a town", doors(road, {door(town, 700, 100, 100)}), {target}},
      {"door into its own stage", doors(road, {door(road, 700, 100, 100)}), {target}},
      {"secret passage into a town", doors(road, {door(town, 700, 100, 100, true)}), {target}},
      {"both door checks", doors(road, {door(road, 0, 100, 100)}),
       {target, "stage road: the door at 0 100 must stand on the floor band and arrive inside road"}},
      {"door off the band", doors(road, {door(cellar, 700, 301, 100)}),
       {"stage road: the door at 700 301 must stand on the floor band and arrive inside cellar"}},
      {"arriving at 0", doors(road, {door(cellar, 700, 100, 0)}),
       {"stage road: the door at 700 100 must stand on the floor band and arrive inside cellar"}},
      {"arriving past the target's end", doors(road, {door(cellar, 700, 100, 1000)}),
       {"stage road: the door at 700 100 must stand on the floor band and arrive inside cellar"}},
      {"arriving at the target's last x", doors(road, {door(cellar, 700, 100, 999)}), {}},
      {"the stage's display name is not its name", [](GameData& d) { d.stages[cellar].title = "road"; }, {}},
  });
}

TEST(ValidateData, StageLeversBarriersTrapsBarrels) {
  auto st = [](std::function<void(StageDef&)> f) { return [f](GameData& d) { f(d.stages[road]); }; };
  const std::string lever = "must stand on the floor band, before a barrier of this stage";
  expect_cases({
      {"lever off the band", st([](StageDef& x) { x.levers[0].z = 400; }), {"stage road: the lever at 1200 400 " + lever}},
      {"lever at its barrier", st([](StageDef& x) { x.levers[0].x = 1500; }), {"stage road: the lever at 1500 50 " + lever}},
      {"lever for no barrier",
       st([](StageDef& x) { x.levers.push_back(LeverDef{100, 50, 1400}); }),
       {"stage road: the lever at 100 50 " + lever}},
      {"barrier without a lever", st([](StageDef& x) { x.barriers.push_back(2000); }),
       {"stage road: the barrier at 2000 needs a lever and must lie inside the stage"}},
      {"barrier at the end",
       st([](StageDef& x) {
         x.barriers = {3000};
         x.levers[0].barrier_x = 3000;
       }),
       {"stage road: the barrier at 3000 needs a lever and must lie inside the stage"}},
      {"trap without dice", st([](StageDef& x) { x.traps[0].dice = 0; }),
       {"stage road: the trap at 1800 100 needs dice and must lie on the floor band"}},
      {"trap off the band", st([](StageDef& x) { x.traps[0].x = -5; }),
       {"stage road: the trap at -5 100 needs dice and must lie on the floor band"}},
      {"barrel off the band", st([](StageDef& x) { x.barrels[0].z = 500; }),
       {"stage: barrel at 300 500 is off the floor band"}},
      {"empty food barrel", st([](StageDef& x) { x.barrels[0].amount = 0; }), {"stage: barrel at 300 100 drops nothing"}},
      {"empty silver barrel",
       st([](StageDef& x) { x.barrels[0] = BarrelDef{0, 0, BarrelContents::silver, -1}; }),
       {"stage: barrel at 0 0 is off the floor band", "stage: barrel at 0 0 drops nothing"}},
  });
}

TEST(ValidateData, NodeExits) {
  const std::string cut_off = "node n_cellar: no exit can be reached through the doors of its stage";
  expect_cases({
      {"doors only into stages without exits",
       [](GameData& d) {
         d.stages[road].exit_x = 0;
         d.stages[road].gates.clear();
       },
       {"node n_road: no exit can be reached through the doors of its stage", cut_off}},
      {"an exit two doors away",
       [](GameData& d) {
         StageDef hall = stage("hall", 1000, 0);
         hall.doors = {door(road, 100, 100, 100)};
         d.stages.push_back(hall);
         d.stages[cellar].doors = {door(3, 100, 100, 100)};
       },
       {}},
      {"a secret passage counts",
       [](GameData& d) {
         d.stages[cellar].doors.push_back(door(road, 200, 100, 100, true));
         d.stages[cellar].doors[0].area = 3;
         StageDef hall = stage("hall", 1000, 0);
         hall.doors = {door(cellar, 100, 100, 100)};
         d.stages.push_back(hall);
       },
       {}},
  });
}

TEST(ValidateData, FaultsComeInOrder) {
  GameData d = valid_data();
  d.nodes[2].links.clear();          // nodes
  d.stages[cellar].doors.clear();    // stages, node exits
  d.scaling.elite_hp[0] = 99;        // scaling
  d.campaigns[0].optional = {1};     // campaigns
  d.loot[0].rolls = 0;               // loot
  d.items[sword].fatigue = 1;        // items
  d.kinds[archer].gear = {sword};    // kind gear
  d.kinds[archer].keep = {1, 1};     // kinds
  d.moves[toss].active = 0;          // moves: rule 1 ...
  d.moves[toss].next = ChainSpec{toss, 0};  // ... and rule 13 of the same move
  d.moves[jab].armor_divisor = 0;
  EXPECT_EQ(validate_data(d), (Faults{
                                  "move jab: armor_divisor must be 1 or more",
                                  "move toss: no active frames",
                                  "move toss: chain loops back on itself",
                                  "kind archer: keep needs a near and a farther distance",
                                  "kind archer: cannot use its starting sword",
                                  "item sword: only armour has fatigue, and it cannot be negative",
                                  "loot small: needs rolls and entries with weights above zero",
                                  "campaign main: optional nodes must be among its nodes, and not its start",
                                  "node n_cellar: needs at least one route",
                                  "scaling elite_hp: starts at 100 for one player and never shrinks",
                                  "stage cellar: exit_x = 0 needs a door out",
                                  "node n_cellar: no exit can be reached through the doors of its stage",
                              }));
}

// The readers only give ids in range; a record that points nowhere anyway is
// passed over by the check that needs it, and the data are never read out of
// bounds.
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
  d.moves[jab].startup = d.moves[jab].active = d.moves[jab].recovery = 65535;
  d.moves[jab].next->frame = 65535;
  d.stages[road].length = int_max;
  d.stages[road].view_w = int_max;
  d.stages[road].gates = {gate(int_max, int_max)};
  d.stages[road].exit_x = int_min;
  d.stages[road].chests[0] = ChestDef{0, int_min, int_max, 0, false};
  d.stages[cellar].doors[0].entry_x = int_max;
  EXPECT_EQ(validate_data(d), (Faults{
                                  "stage: chest at -2147483648 2147483647 is off the floor band",
                                  "stage gate 1: gates must run left to right and keep the locked screen inside the stage",
                                  "stage road: the exit must lie after the last gate and inside the stage",
                                  "stage cellar: the door at 100 100 must stand on the floor band and arrive inside road",
                              }));
}

}  // namespace
}  // namespace velmora
