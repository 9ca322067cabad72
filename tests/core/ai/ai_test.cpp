// The enemy AI: each role's decision from set-up scenes, the input of a tick
// (timers, held block, guard reaction, think cycle, targets, the word of a
// steer, the order of the draws) and a whole wave fought by the AI. Scenes
// play in an open arena 6000 cm long and 300 deep whose camera sits at
// 2000 cm with a 1200 cm view, so goals are held within 1500..2500.
#include "core/ai/ai.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/base/panic.h"
#include "core/data/game_data.h"
#include "core/replay/replay.h"
#include "core/rules/sim.h"
#include "core/world/state_hash.h"

namespace velmora {
namespace {

// The arena, a stage whose one wave brings every role, and kinds copied to
// draw only what a test asks for (no jitter, no block unless named).
struct Ids {
  std::uint64_t arena = 0, proving = 0;
  std::uint8_t brute = 0, blocker = 0, slow = 0, steady = 0, lobber = 0;
};

const Ids& ids() {
  static const Ids k = [] {
    GameData d = builtin_data();
    auto copy = [&d](const char* from, auto edit) {
      KindDef kind = d.kinds[*kind_id(d.kinds, from)];
      kind.name += std::to_string(d.kinds.size()), kind.jitter = 0, kind.block = 0;
      edit(kind);
      d.kinds.push_back(kind);
      return static_cast<std::uint8_t>(d.kinds.size() - 1);
    };
    const std::uint8_t bull_rush = *move_id(d.moves, "bull_rush");
    Ids k{d.stages.size(), d.stages.size() + 1, copy("bandit", [](KindDef&) {}),
          copy("bandit", [](KindDef& c) { c.block = 100; }),
          copy("bandit", [](KindDef& c) { c.cooldown = {70000, 90000}; }),
          copy("cutpurse", [](KindDef& c) { c.stand.chance = 0; }),
          copy("archer", [&](KindDef& c) { c.special = {bull_rush}; })};  // a special that throws nothing
    StageDef stage;
    stage.name = "arena", stage.length = 6000, stage.depth = 300, stage.view_w = 1200;
    d.stages.push_back(stage);
    GateDef gate{.waves = {WaveDef{}}, .trigger_x = 200, .center_x = 700};
    std::int32_t z = 15;
    for (auto [kind, side] : {std::pair{"bandit", 1}, {"cutpurse", -1}, {"archer", 1}, {"hedge_witch", 1},
                              {"shieldbearer", 1}, {"wolf", -1}}) {
      gate.waves[0].spawns.push_back(SpawnDef{side, z += 45, *kind_id(d.kinds, kind)});
    }
    stage.name = "proving", stage.gates = {gate};
    d.stages.push_back(stage);
    VELMORA_CHECK(install_game_data(std::move(d)).ok(), "AI test data installed before first use");
    return k;
  }();
  return k;
}

std::uint8_t kind_named(const char* name) { return ids(), *kind_id(game_data().kinds, name); }
std::uint8_t move_named(const char* name) { return *move_id(game_data().moves, name); }

void place(Actor& a, std::int32_t x, std::int32_t z) { a.x = Fx::from_int(x), a.z = Fx::from_int(z); }

std::vector<CharacterSheet> party_of(std::size_t players) {
  ids();  // the test data goes in before anything reads game data
  std::vector<CharacterSheet> party(players, new_character(default_class()));
  for (std::size_t i = 0; i < players; ++i) party[i].slot = static_cast<std::uint8_t>(i);
  return party;
}

// Players far off at x 5000, the camera on 2000.
World arena(std::size_t players = 3) {
  World w = new_game(ids().arena, 7, party_of(players));
  w.camera_x = Fx::from_int(2000);
  for (Actor& a : w.actors) place(a, 5000, 150);
  return w;
}

std::size_t add_enemy(World& w, std::uint8_t kind, std::int32_t x, std::int32_t z = 150) {
  w.actors.push_back(actor_from_kind(static_cast<std::uint16_t>(w.actors.size()), kind, 1, 255, x, z, -1));
  return w.actors.size() - 1;
}

// A generator whose next `chance` draws come out as listed.
Rng rng_where(std::vector<std::pair<bool, std::int32_t>> draws) {
  for (std::uint64_t state = 1;; ++state) {
    Rng probe{state};
    if (std::all_of(draws.begin(), draws.end(), [&](auto d) { return chance(probe, d.second) == d.first; })) {
      return Rng{state};
    }
  }
}

// ---------------------------------------------------------------------------
// Roles

struct Other {  // another enemy; x 0: none
  std::uint8_t kind = 0;
  std::int32_t x = 0, z = 150;
  bool ko = false;
};

// The deciding enemy (actor 3, id 3 unless set) at (x, z), engaged, about
// player 0 at (tx, tz) facing tf, swinging a move or getting up (busy);
// players 1 and 2 far off unless placed.
struct Scene {
  std::int32_t tx = 0, tz = 150;
  std::int8_t tf = -1;
  const char* swing = nullptr;
  bool busy = false;
  std::int32_t x = 2000, z = 150, id = -1, hp = 0, fp = -1;
  std::uint16_t cooldown = 0, stand = 0, retreat = 0, armed = 0, engaged = 1, winded = 0;
  Other a = {}, b = {};
  std::int32_t p1x = 5000, p1z = 150, p1_stealth = 0, p2x = 5000, p2z = 150;
};

struct RoleRow {
  const char* name;
  std::uint8_t kind;
  Scene s;
  std::optional<bool> roll;  // the role's one draw (stand roll, or the brute's charge); none: no draw
  AiSteer want;
  std::array<int, 3> marks = {};  // stand, armed, retreat afterwards
};

AiSteer go(std::int32_t x, std::int32_t z, Buttons b, std::int8_t facing = 1) { return AiSteer{1, x, z, b, facing}; }
AiSteer dash(Buttons b, std::int8_t side) { return AiSteer{0, 0, 0, static_cast<Buttons>(button::dash | b), side}; }

std::size_t build(World& w, std::uint8_t kind, const Scene& s) {
  Actor& t = w.actors[0];
  place(t, s.tx, s.tz);
  t.facing = s.tf;
  if (s.swing != nullptr) t.state = ActorState::attack, t.move = move_named(s.swing);
  if (s.busy) t.state = ActorState::getup;
  place(w.actors[1], s.p1x, s.p1z);
  w.actors[1].stealth = static_cast<std::uint16_t>(s.p1_stealth);
  place(w.actors[2], s.p2x, s.p2z);
  const std::size_t e = add_enemy(w, kind, s.x, s.z);
  for (const Other& o : {s.a, s.b}) {
    if (o.x != 0) w.actors[add_enemy(w, o.kind, o.x, o.z)].state = o.ko ? ActorState::ko : ActorState::idle;
  }
  Actor& a = w.actors[e];
  a.id = s.id >= 0 ? static_cast<std::uint16_t>(s.id) : a.id;
  a.hp = s.hp != 0 ? s.hp : a.hp, a.fp = s.fp >= 0 ? s.fp : a.fp;
  a.ai_cooldown = s.cooldown, a.ai_stand = s.stand, a.ai_retreat = s.retreat;
  a.ai_stand_armed = static_cast<std::uint8_t>(s.armed), a.ai_engaged = static_cast<std::uint8_t>(s.engaged);
  a.winded = static_cast<std::uint8_t>(s.winded);
  return e;
}

AiSteer decide_role(World& w, std::size_t e) {
  const AiTarget t = ai_target_of(w.actors[0]);
  switch (kind_by_id(w.actors[e].kind).role) {
    case AiRole::brute: return ai_brute(w, e, t);
    case AiRole::guard: return ai_guard(w, e, t);
    case AiRole::skirmisher: return ai_skirmisher(w, e, t);
    default: return ai_shooter(w, e, t);
  }
}

// Bandit: jab 10..60 (used to 50), depth 25, mean 35; bull_rush charges on
// 300. Shieldbearer: spear 20..120 (to 110), mean 70. Cutpurse: stab 10..80
// (to 70), depth 22, mean 45; flee_hp 40 of 10 hp; stand 300 90. Archer: keep
// 350 600, arrow range 700, jab. Hedge witch: keep 400 650, witch_bolt costs
// 2 FP, range 600.
TEST(Roles, DecisionsFromScenes) {
  const std::uint8_t B = kind_named("bandit"), G = kind_named("shieldbearer"), S = kind_named("cutpurse"),
                     A = kind_named("archer"), W = kind_named("hedge_witch");
  const Other ally{ids().brute, 2600}, archer{A, 2200, 100};
  const std::array<int, 3> armed{0, 1, 0}, stands{90, 1, 0}, cool{0, 1, 30}, dashed{0, 1, 150};
  const std::vector<RoleRow> rows = {
      {"brute at FROM: strikes from mid reach", B, {.tx = 2010}, {}, go(1975, 150, 16)},
      {"brute at TO-10 and depth", B, {.tx = 2050, .tz = 175}, {}, go(2015, 175, 16)},
      {"brute one past TO-10", B, {.tx = 2051}, {}, go(2016, 150, 0)},
      {"brute left, one too deep", B, {.tx = 1960, .tz = 176}, {}, go(1995, 176, 0, -1)},
      {"brute on top: stays, faces right", B, {.tx = 2000}, {}, go(2000, 150, 0)},
      {"brute cooling", B, {.tx = 2040, .cooldown = 5}, {}, go(2005, 150, 0)},
      {"brute, target busy", B, {.tx = 2040, .busy = true}, {}, go(2005, 150, 0)},
      {"brute far, in line: charges", B, {.tx = 2500, .tz = 210}, true, go(2465, 210, 512)},
      {"brute far, roll fails", B, {.tx = 2500, .tz = 90}, false, go(2465, 90, 0)},
      {"brute at 401 rolls", B, {.tx = 2401}, false, go(2366, 150, 0)},
      {"brute at 400: no roll", B, {.tx = 2400}, {}, go(2365, 150, 0)},
      {"brute out of line: no roll", B, {.tx = 2500, .tz = 211}, {}, go(2465, 211, 0)},
      {"brute waits, id 2: 380, deeper", B, {.tx = 2500, .id = 2, .engaged = 0}, {}, go(2120, 240, 0)},
      {"brute waits: 300, band", B, {.tx = 1500, .tz = 50, .engaged = 0}, {}, go(1800, 0, 0, -1)},
      {"brute waits, id 4: 340", B, {.tx = 2200, .tz = 250, .id = 4, .engaged = 0}, {}, go(1860, 300, 0)},
      {"brute waits on top", B, {.tx = 2000, .engaged = 0}, {}, go(2000, 60, 0)},
      {"guard, a knocked-out archer: brute", G, {.tx = 2300, .a = {A, 2200, 100, true}}, {}, go(2230, 150, 0)},
      {"guard, threat level with archer", G, {.tx = 2200, .a = archer}, {}, go(2310, 125, 0)},
      {"guard, nearer threat left", G, {.tx = 2300, .a = archer, .p1x = 2100, .p1z = 100}, {}, go(2090, 100, 0)},
      {"guard, vanished", G, {.tx = 2300, .a = archer, .p1x = 2100, .p1z = 100, .p1_stealth = 9}, {}, go(2310, 125, 0)},
      {"guard, boss ties witch", G, {.tx = 2300, .a = {kind_named("bandit_chief"), 1800}, .b = {W, 2200}}, {},
       go(1910, 150, 0)},
      {"guard strikes its target", G, {.tx = 2110, .a = archer}, {}, go(2090, 125, 16)},
      {"guard cooling", G, {.tx = 2110, .cooldown = 1, .a = archer}, {}, go(2090, 125, 0)},
      {"skirm 60 off: behind, aside", S, {.tx = 2050, .x = 2035}, {}, go(2095, 90, 16)},
      {"skirm, target busy", S, {.tx = 2050, .busy = true}, {}, go(2095, 90, 0)},
      {"skirm, behind off screen", S, {.tx = 2480, .x = 2430}, {}, go(2435, 150, 16)},
      {"skirm unengaged circles, disarms", S, {.tx = 2050, .armed = 1, .engaged = 0}, {}, go(1690, 40, 0)},
      {"skirm cooling, roll fails", S, {.tx = 2050, .cooldown = 10}, false, go(1835, 80, 0), armed},
      {"skirm cooling, roll holds", S, {.tx = 2050, .cooldown = 10}, true, go(2005, 150, 0), {90, 0, 0}},
      {"skirm cooling, armed", S, {.tx = 2050, .cooldown = 10, .armed = 1}, {}, go(1835, 80, 0), armed},
      {"skirm low, roll fails: flees", S, {.tx = 2050, .hp = 3, .a = ally}, false, go(1600, 0, 0), armed},
      {"skirm 4 of 10 is not low", S, {.tx = 2050, .hp = 4, .a = ally}, {}, go(2095, 90, 16)},
      {"skirm low, last standing", S, {.tx = 2050, .hp = 1}, {}, go(2095, 90, 16)},
      {"skirm low, roll holds", S, {.tx = 2050, .hp = 3, .a = ally}, true, go(2005, 150, 16), stands},
      {"back turned", S, {.tx = 2050, .tf = 1, .swing = "slash", .hp = 3, .a = ally}, {}, go(2005, 150, 16), stands},
      {"skirm low, swing at nearer ally", S, {.tx = 2050, .swing = "slash", .hp = 3, .a = {ids().brute, 2080}}, {},
       go(2005, 150, 16), stands},
      {"skirm low, ally as near", S, {.tx = 2050, .swing = "slash", .hp = 3, .a = {ids().brute, 2100}}, false,
       go(1600, 0, 0), armed},
      {"skirm low, harmless swing", S, {.tx = 2050, .tf = 1, .swing = "rally_cry", .hp = 3, .a = ally}, false,
       go(1600, 0, 0), armed},
      {"skirm cooling ends stand", S, {.tx = 2050, .hp = 3, .cooldown = 5, .stand = 30, .armed = 1, .a = ally}, {},
       go(1600, 0, 0), armed},
      {"even flees deep", S, {.tx = 2050, .id = 6, .hp = 3, .armed = 1, .a = ally}, {}, go(1600, 300, 0), armed},
      {"skirm cornered 39", S, {.tx = 1589, .x = 1539, .hp = 3, .armed = 1, .a = ally}, {}, go(1500, 0, 16), armed},
      {"skirm cornered, cooling", S, {.tx = 1589, .x = 1539, .hp = 3, .cooldown = 5, .armed = 1, .a = ally}, {},
       go(1500, 0, 0), armed},
      {"skirm 40 from edge", S, {.tx = 1590, .x = 1540, .hp = 3, .armed = 1, .a = ally}, {}, go(1500, 0, 0), armed},
      {"skirm stand chance 0", ids().steady, {.tx = 2050, .hp = 3, .a = ally}, {}, go(1600, 0, 0), armed},
      {"archer far: mid band, fires, disarms", A, {.tx = 2500, .armed = 1}, {}, go(2025, 150, 512)},
      {"archer at NEAR: not pressed", A, {.tx = 2350, .armed = 1}, {}, go(1875, 150, 512)},
      {"archer unengaged holds fire", A, {.tx = 2500, .engaged = 0}, {}, go(2025, 150, 0)},
      {"archer 21 out of line", A, {.tx = 2500, .tz = 171}, {}, go(2025, 171, 0)},
      {"archer beyond range-40", A, {.tx = 2661}, {}, go(2186, 150, 0)},
      {"archer cooling", A, {.tx = 2500, .cooldown = 4}, {}, go(2025, 150, 0)},
      {"archer, target busy", A, {.tx = 2500, .busy = true}, {}, go(2025, 150, 0)},
      {"archer pressed, roll fails: aside", A, {.tx = 2300}, false, go(1825, 20, 512), armed},
      {"archer pressed, roll holds: stands", A, {.tx = 2300}, true, go(2000, 150, 0), stands},
      {"vanished crowd", A, {.tx = 2300, .armed = 1, .p1x = 2050, .p1_stealth = 5}, {}, go(1825, 20, 512), armed},
      {"archer at NEAR-120 fires", A, {.tx = 2230, .armed = 1}, {}, go(1755, 20, 512), armed},
      {"archer standing strikes", A, {.tx = 2040, .stand = 30}, {}, go(2000, 150, 16), {30, 0, 0}},
      {"archer standing, cooling", A, {.tx = 2040, .cooldown = 3, .stand = 30}, {}, go(2000, 150, 0), {30, 0, 0}},
      {"archer standing, band clamp", A, {.tx = 2040, .tz = 310, .stand = 30}, {}, go(2000, 300, 0), {30, 0, 0}},
      {"archer crowded: dashes", A, {.tx = 2050, .armed = 1}, {}, dash(button::left, -1), dashed},
      {"archer 150 off: no crowd", A, {.tx = 2150, .armed = 1}, {}, go(1675, 20, 0), armed},
      {"archer 60 across: no crowd", A, {.tx = 2100, .tz = 210, .armed = 1}, {}, go(1625, 210, 0), armed},
      {"archer retreat running", A, {.tx = 2050, .retreat = 30, .armed = 1}, {}, go(1575, 20, 0), cool},
      {"archer winded", A, {.tx = 2050, .armed = 1, .winded = 1}, {}, go(1575, 20, 0), armed},
      {"archer back to edge fights", A, {.tx = 1550, .x = 1500, .armed = 1}, {}, go(1500, 20, 16), armed},
      {"archer 40 to go: held back", A, {.tx = 1590, .x = 1540, .retreat = 30, .armed = 1}, {}, go(1500, 20, 0), cool},
      {"archer lane: less dz", A, {.tx = 2300, .armed = 1, .p1x = 1900, .p1z = 145, .p2x = 2100, .p2z = 195}, {},
       dash(button::right, 1), dashed},
      {"lane: lower x", A, {.tx = 2300, .armed = 1, .p1x = 2100, .p2x = 1900}, {}, dash(button::right, 1), dashed},
      {"archer even id deeper", A, {.tx = 2300, .id = 4, .armed = 1}, {}, go(1825, 280, 512), armed},
      {"even id to edge", A, {.tx = 2300, .tz = 170, .z = 170, .id = 4, .armed = 1}, {}, go(1825, 300, 512), armed},
      {"even id, far edge", A, {.tx = 2300, .tz = 250, .z = 250, .id = 4, .armed = 1}, {}, go(1825, 120, 512), armed},
      {"archer odd id at 130", A, {.tx = 2300, .tz = 130, .z = 130, .armed = 1}, {}, go(1825, 0, 512), armed},
      {"archer 50 across: no aside", A, {.tx = 2300, .tz = 200, .armed = 1}, {}, go(1825, 200, 0), armed},
      {"lobber never fires", ids().lobber, {.tx = 2500}, {}, go(2025, 150, 0)},
      {"witch at its FP cost fires", W, {.tx = 2500, .fp = 2}, {}, go(1975, 150, 512)},
      {"witch short: far + 100", W, {.tx = 2500, .fp = 1}, {}, go(1750, 150, 0)},
      {"witch short, in staff reach", W, {.tx = 2060, .fp = 1, .retreat = 30, .armed = 1}, {}, go(1500, 20, 16), cool},
  };
  for (const RoleRow& r : rows) {
    World w = arena();
    const std::size_t e = build(w, r.kind, r.s);
    const KindDef& kind = kind_by_id(r.kind);
    w.rng = r.roll ? rng_where({{*r.roll, kind.role == AiRole::brute ? 300 : kind.stand.chance}}) : Rng{99};
    const Rng before = w.rng;
    const AiSteer got = decide_role(w, e);
    EXPECT_EQ(got, r.want) << r.name << ": goal " << got.goal_x << " " << got.goal_z << " buttons " << got.buttons;
    const Actor& a = w.actors[e];
    EXPECT_EQ((std::array<int, 3>{a.ai_stand, a.ai_stand_armed, a.ai_retreat}), r.marks) << r.name;
    EXPECT_EQ(w.rng != before, r.roll.has_value()) << r.name;
  }
}

// ---------------------------------------------------------------------------
// The input of a tick

// An engaged enemy (actor 3) at (2000, 150) and player 0 at (tx, 150).
struct Duel {
  World w = arena();
  std::size_t e = 0;
  Actor& enemy() { return w.actors[e]; }
  Actor& player() { return w.actors[0]; }
};

Duel duel(std::uint8_t kind, std::int32_t tx) {
  Duel d;
  place(d.player(), tx, 150);
  d.e = add_enemy(d.w, kind, 2000);
  d.enemy().ai_engaged = 1;
  return d;
}

// The calm brute thinks every 15th tick (think 14); the attack of a think
// goes out once, its walk is held, and a target that moves is seen at the
// next think only.
TEST(Input, ThinksEveryThinkPlusOneTicksAndHoldsOnlyItsWalk) {
  Duel d = duel(ids().brute, 2040);
  std::vector<AiInput> words;
  std::vector<std::size_t> thinks;
  for (std::size_t t = 0; t < 31; ++t) {
    if (t == 5) place(d.player(), 2300, 150);
    words.push_back(enemy_input(d.w, d.e));
    if (d.enemy().ai_think == 14) thinks.push_back(t);
  }
  EXPECT_EQ(thinks, (std::vector<std::size_t>{0, 15, 30}));
  std::vector<AiInput> want(31, AiInput{button::right, 1});
  want[0] = AiInput{button::attack, 1};
  std::fill(want.begin() + 1, want.begin() + 15, AiInput{0, 1});
  EXPECT_EQ(words, want);
}

TEST(Input, TimersHeldBlockBusyAndGoneEnemies) {
  Duel d = duel(ids().brute, 2040);
  Actor& a = d.enemy();
  auto marks = [&] { return std::vector<int>{a.ai_cooldown, a.ai_retreat, a.ai_stand, a.ai_stand_armed, a.ai_think}; };
  a.ai_cooldown = 2, a.ai_retreat = 1, a.ai_stand = 2, a.ai_stand_armed = 1, a.ai_think = 6;
  a.ai_buttons = button::left, a.state = ActorState::stun;
  EXPECT_EQ(enemy_input(d.w, d.e), AiInput{}) << "a stunned enemy drops its word";
  EXPECT_EQ(marks(), (std::vector<int>{1, 0, 1, 1, 0}));
  EXPECT_EQ(a.ai_buttons, 0);
  enemy_input(d.w, d.e);
  EXPECT_EQ(marks(), (std::vector<int>{0, 0, 0, 0, 0})) << "the armed mark clears as the stand runs out";
  a.state = ActorState::block, a.ai_think = 3, a.ai_buttons = button::guard, a.ai_side = -1;
  EXPECT_EQ(enemy_input(d.w, d.e), (AiInput{button::guard, -1}));
  EXPECT_EQ(a.ai_think, 2);
  a.ai_think = 0;
  EXPECT_EQ(enemy_input(d.w, d.e), AiInput{}) << "a block whose time is up is let go";
  a.gone = 1, a.ai_cooldown = 9;
  const World before = d.w;
  EXPECT_EQ(enemy_input(d.w, d.e), AiInput{});
  EXPECT_EQ(d.w, before) << "a gone enemy is left as it is";
}

// The blocker (block 100) between thinks, holding a walk right; player 0 at
// (px, pz) two ticks into a slash (startup 5, active 3, reach to 90, depth 25).
TEST(Input, GuardReactionMeetsEachNewThreatOnce) {
  struct Row {  // the enemy's state, the threat it already met, its block roll, the side it guards on (0: none)
    const char* name;
    std::int32_t px = 1950, pz = 150, facing = 1;
    const char* move = "slash";
    std::uint16_t state_ticks = 2, gone = 0;
    ActorState state = ActorState::idle;
    std::optional<std::uint16_t> met = {};
    std::optional<bool> roll = {};
    std::int8_t guards = 0;
    bool thinks_on = true;
    std::optional<std::uint16_t> threat = 0;
  };
  const std::vector<Row> rows = {
      {.name = "roll holds: guards", .roll = true, .guards = -1},
      {.name = "level with it: guards right", .px = 2000, .roll = true, .guards = 1},
      {.name = "roll fails: walks on", .roll = false},
      {.name = "a threat already met: no roll", .met = 0},
      {.name = "facing away: the mark clears", .facing = -1, .met = 0, .threat = {}},
      {.name = "a harmless move", .move = "rally_cry", .threat = {}},
      {.name = "at its first active frame", .state_ticks = 5, .threat = {}},
      {.name = "one beyond reach + 40", .px = 1869, .threat = {}},
      {.name = "at reach + 40", .px = 1870, .roll = true, .guards = -1},
      {.name = "one beyond depth + 30", .pz = 206, .threat = {}},
      {.name = "at depth + 30", .pz = 205, .roll = true, .guards = -1},
      {.name = "a player who has left", .gone = 1, .threat = {}},
      {.name = "knocked about: no roll", .state = ActorState::stun, .thinks_on = false, .threat = {}},
  };
  for (const Row& r : rows) {
    Duel d = duel(ids().blocker, r.px);
    Actor& e = d.enemy();
    Actor& p = d.player();
    place(p, r.px, r.pz);
    p.state = ActorState::attack, p.move = move_named(r.move), p.state_ticks = r.state_ticks;
    p.facing = static_cast<std::int8_t>(r.facing), p.gone = static_cast<std::uint8_t>(r.gone);
    e.ai_think = 5, e.ai_buttons = button::right, e.ai_side = 1, e.state = r.state, e.ai_threat = r.met;
    d.w.rng = r.roll ? rng_where({{*r.roll, 100}}) : Rng{5};
    const Rng before = d.w.rng;
    const AiInput want = r.guards != 0 ? AiInput{button::guard, r.guards}
                         : r.thinks_on ? AiInput{button::right, 1}
                                       : AiInput{};
    EXPECT_EQ(enemy_input(d.w, d.e), want) << r.name;
    EXPECT_EQ(e.ai_threat, r.threat) << r.name;
    EXPECT_EQ(d.w.rng != before, r.roll.has_value()) << r.name;
    EXPECT_EQ(e.ai_think, r.guards != 0 ? 5 - 2 + 3 + 4 : r.thinks_on ? 4 : 0) << r.name << ": up till the blow ends";
  }
}

// Four players far off unless placed; the calm brute at (2000, 150) thinks.
TEST(Input, TargetNearestInSightTiesToLowerIdAndTheTaunterFirst) {
  struct P {
    std::int32_t x = 5000, z = 150;
    std::uint16_t stealth = 0;
    std::uint8_t gone = 0;
    ActorState state = ActorState::idle;
  };
  struct Row {
    const char* name;
    std::array<P, 4> players;
    std::optional<std::uint16_t> taunt, lock;  // lock none: no target, word 0
  };
  const std::vector<Row> rows = {
      {"nearest by |dx| + |dz|", {P{2200}, P{1950, 250}}, {}, 1},
      {"a tie goes to the lower id", {P{}, P{2100}, P{1900}}, {}, 1},
      {"vanished, gone and knocked out are passed over",
       {P{2400}, P{2050, 150, 5}, P{1950, 150, 0, 1}, P{2000, 160, 0, 0, ActorState::ko}}, {}, 0},
      {"the taunter, though farther and vanished", {P{}, P{2050}, P{2400, 150, 10}}, 2, 2},
      {"a taunter who has left: the nearest", {P{}, P{2050}, P{2400, 150, 0, 1}}, 2, 1},
      {"a knocked-out taunter: the nearest", {P{}, P{2050}, P{2400, 150, 0, 0, ActorState::ko}}, 2, 1},
      {"nobody in sight", {P{2050, 150, 5}, P{2060, 150, 5}, P{2070, 150, 5}, P{2080, 150, 5}}, {}, {}},
  };
  for (const Row& r : rows) {
    World w = arena(4);
    for (std::size_t i = 0; i < 4; ++i) {
      place(w.actors[i], r.players[i].x, r.players[i].z);
      w.actors[i].stealth = r.players[i].stealth, w.actors[i].gone = r.players[i].gone;
      w.actors[i].state = r.players[i].state;
    }
    Actor& a = w.actors[add_enemy(w, ids().brute, 2000)];
    a.ai_engaged = 1, a.ai_buttons = button::up, a.ai_target = r.taunt;
    const AiInput got = enemy_input(w, 4);
    EXPECT_EQ(a.ai_think, 14) << r.name;
    EXPECT_EQ(a.ai_lock, r.lock) << r.name;
    if (!r.lock) {
      EXPECT_EQ(std::make_pair(got, a.ai_buttons), std::make_pair(AiInput{}, Buttons{0})) << r.name;
    }
  }
}

// A calm shooter, armed and cooling down, backs off from player 0 at 2300;
// taunted, it walks in like a brute.
TEST(Input, ATauntedShooterFightsLikeABrute) {
  for (bool taunted : {false, true}) {
    Duel d = duel(ids().lobber, 2300);
    d.enemy().ai_stand_armed = 1, d.enemy().ai_cooldown = 30;
    if (taunted) d.enemy().ai_target = 0;
    EXPECT_EQ(enemy_input(d.w, d.e).buttons & (button::left | button::right), taunted ? button::right : button::left);
  }
}

// Steers turned into words by an enemy at (2000, 150).
TEST(Input, WordOfASteer) {
  struct Row {
    AiSteer steer;
    Buttons word, held;
    std::array<int, 2> cooldown = {0, 0};  // the range it is drawn in; 0 0: not drawn
    std::uint8_t kind = ids().brute;
    std::optional<bool> jitter = {};  // the bandit's roll of 100
  };
  constexpr Buttons left = button::left, right = button::right, up = button::up, down = button::down;
  const std::uint8_t bandit = kind_named("bandit");
  const std::vector<Row> rows = {
      {go(1988, 150, 0), 0, 0},         {go(1987, 150, 0), left, left},   {go(2012, 150, 0), 0, 0},
      {go(2013, 150, 0), right, right}, {go(2000, 142, 0), 0, 0},         {go(2000, 141, 0), up, up},
      {go(2000, 158, 0), 0, 0},         {go(2000, 159, 0), down, down},   {go(1900, 100, 0, -1), left | up, left | up},
      {go(2500, 150, button::attack), button::attack, 0, {50, 100}},
      {go(2500, 150, button::special), button::special, 0, {50, 100}},
      {dash(left, -1), button::dash | left, left},
      {AiSteer{0, 2500, 150, 0, 1}, 0, 0},
      {go(2400, 150, 0), 0, 0, {}, bandit, true},
      {go(2400, 150, 0), right, right, {}, bandit, false},
      {go(2400, 150, button::attack), button::attack, 0, {65535, 65535}, ids().slow},
  };
  for (const Row& r : rows) {
    Duel d = duel(r.kind, 2300);
    if (r.jitter) d.w.rng = rng_where({{*r.jitter, 100}});
    const Rng before = d.w.rng;
    Actor& a = d.enemy();
    EXPECT_EQ(ai_steer_word(d.w, d.e, ai_target_of(d.player()), r.steer), (AiInput{r.word, r.steer.facing}))
        << r.steer.goal_x << " " << r.steer.goal_z;
    EXPECT_EQ(std::make_tuple(a.ai_buttons, a.ai_side, a.ai_lock), std::make_tuple(r.held, r.steer.facing, 0));
    EXPECT_TRUE(a.ai_cooldown >= r.cooldown[0] && a.ai_cooldown <= r.cooldown[1]) << a.ai_cooldown;
    EXPECT_EQ(d.w.rng != before, r.jitter || r.cooldown[1] != 0);
  }
}

// A hedge witch (block 200, stand 200, jitter 50, cooldown 80..140) with a
// slash winding up at it from 50 cm: the block roll fails, the stand roll
// follows, then the jitter roll of its walk or the cooldown of its strike.
TEST(Input, DrawsBlockThenStandThenJitterOrCooldown) {
  for (bool stands : {false, true}) {
    Duel d = duel(kind_named("hedge_witch"), 1950);
    d.enemy().ai_retreat = 30;  // no dash
    d.player().state = ActorState::attack, d.player().move = move_named("slash");
    d.w.rng = rng_where({{false, 200}, {stands, 200}});
    Rng want = d.w.rng;
    chance(want, 200), chance(want, 200);
    const std::int64_t cooldown = stands ? range(want, 80, 140) : (chance(want, 50), 0);
    EXPECT_EQ(enemy_input(d.w, d.e).buttons & button::attack, stands ? button::attack : 0);
    EXPECT_EQ(std::make_pair(d.w.rng, std::int64_t{d.enemy().ai_cooldown}), std::make_pair(want, cooldown));
  }
}

// The proving stage's one wave (bandit, cutpurse, archer, hedge witch,
// shieldbearer, wolf) against players who stand idle, recorded.
struct Fight {
  World world;
  ReplayRecord record;
  std::set<std::uint8_t> kinds_swinging;
};

Fight fight_wave(std::size_t players) {
  Fight f{new_game(ids().proving, 5, party_of(players)), new_replay_record(ids().proving, 5, party_of(players)), {}};
  const std::array<Buttons, 4> idle{};
  for (int t = 0; t < 36000 && f.world.over == GameStatus::playing; ++t) {
    record_tick(f.record, idle);
    tick(f.world, idle);
    for (const Event& e : f.world.events) {
      if (e.kind == EventKind::swing) f.kinds_swinging.insert(f.world.actors[e.actor].kind);
    }
  }
  f.record.end = ReplayEnd{f.world.tick, state_hash(f.world)};
  return f;
}

TEST(Wave, EveryRoleAgainstIdlePlayersWipesThemTheSameWayEveryRun) {
  for (std::size_t players : {1, 2}) {
    const Fight first = fight_wave(players);
    const Fight again = fight_wave(players);
    EXPECT_EQ(first.world.over, GameStatus::wiped) << players;
    EXPECT_EQ(std::make_pair(first.world.tick, state_hash(first.world)),
              std::make_pair(again.world.tick, state_hash(again.world)));
    for (const char* name : {"cutpurse", "wolf", "archer", "hedge_witch"}) {
      EXPECT_EQ(first.kinds_swinging.count(kind_named(name)), 1u) << name << " struck or shot";
    }
    for (const Actor& a : first.world.actors) EXPECT_TRUE(a.team == 0 || a.ai_lock) << kind_by_id(a.kind).name;
    EXPECT_EQ(play_back(first.record), first.world) << "the replay reaches the same world";
  }
}

}  // namespace
}  // namespace velmora
