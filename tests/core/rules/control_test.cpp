#include "core/rules/control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "core/data/game_data.h"

namespace velmora {
namespace {

// The built-in data plus, last so that every built-in id is unchanged: a
// shout without wind-up, a horn used through it, and a slash that chains
// into a move needing skill 2.
class TestData : public ::testing::Environment {
 public:
  void SetUp() override {
    GameData d = builtin_data();
    MoveDef snap = d.moves[*move_id(d.moves, "war_cry")];
    snap.name = "snap_shout";
    snap.startup = 0;
    snap.stamina = snap.fp = 0;
    MoveDef skilled = d.moves[*move_id(d.moves, "slash")];
    skilled.name = "skilled_slash";
    skilled.next = ChainSpec{*move_id(d.moves, "cleave"), 8};
    ItemDef horn = d.items[*item_id(d.items, "healing_potion")];
    horn.name = "war_horn";
    horn.use = static_cast<std::uint8_t>(d.moves.size());
    d.moves.push_back(snap);
    d.moves.push_back(skilled);
    d.items.push_back(horn);
    ASSERT_TRUE(install_game_data(std::move(d)).ok());
  }
};

const auto* const test_data = ::testing::AddGlobalTestEnvironment(new TestData);

constexpr std::int32_t cm = 256;
constexpr Buttons none = 0;
using S = ActorState;

std::uint8_t kind(std::string_view name) { return *kind_id(game_data().kinds, name); }
std::uint8_t move(std::string_view name) { return *move_id(game_data().moves, name); }
std::uint16_t item(std::string_view name) { return *item_id(game_data().items, name); }

// One player of a class on a stage (the first road by default, calm), and
// ticks of the actor and movement phases with each tick's events and queues.
class Control : public ::testing::Test {
 protected:
  World w;

  void game(std::string_view class_name, std::string_view stage = "first_road") {
    w = new_game(*stage_index(game_data().stages, stage), 7, {new_character(kind(class_name))});
    w.events.clear();
  }

  std::size_t add_enemy(std::string_view kind_name, std::int32_t x) {
    const auto id = static_cast<std::uint16_t>(w.actors.size());
    w.actors.push_back(actor_from_kind(id, kind(kind_name), 1, 0, x, 150, -1));
    return id;
  }

  Actor& P() { return w.actors[0]; }

  void step(std::size_t i, Buttons b, int n = 1, std::int8_t ai_facing = 0) {
    for (int k = 0; k < n; ++k) {
      w.events.clear();
      w.deferred_moves.clear();
      w.deferred_values.clear();
      actor_step(w, i, b, ai_facing);
      std::vector<std::int32_t> barriers;
      closed_barriers(w, barriers);
      move_actor(w, i, barriers);
    }
  }

  int count(EventKind kind, std::uint16_t actor) const {
    return static_cast<int>(std::count_if(w.events.begin(), w.events.end(),
                                          [&](const Event& e) { return e.kind == kind && e.actor == actor; }));
  }
};

// One tick from a prepared actor: player 0 of a class, or an enemy of another
// kind. Buttons are fresh unless the setup says they were held before; the
// fields wanted are checked, the others not.
struct Want {
  std::optional<ActorState> state = {};
  std::optional<int> ticks = {};
  const char* move = nullptr;
  std::optional<int> vx = {}, vz = {}, facing = {}, invuln = {}, sta = {};
  std::optional<std::vector<Event>> events = {};
  std::function<void(const Actor&, const World&)> more = {};
};

struct Scenario {
  const char* what;
  const char* kind;
  std::function<void(Actor&)> setup;
  Buttons buttons;
  Want want;
  std::int8_t ai_facing = 0;
  bool fighting = false;
};

void in_move(Actor& a, std::string_view name, std::uint16_t ticks) {
  start_move(a, move(name));
  a.state_ticks = ticks;
}

void in_state(Actor& a, ActorState state, std::uint16_t ticks) {
  a.state = state;
  a.state_ticks = ticks;
}

std::vector<Event> just(EventKind kind) { return {Event::of_actor(kind, 0)}; }

// Built when the test runs: names are looked up only once the data is installed.
std::vector<Scenario> scenarios() {
  return {
    // Fresh presses and the order of control: quick item, special, light move.
    {"held attack", "fighter", [](Actor& a) { a.prev_buttons = button::attack; }, button::attack, {.state = S::idle}},
    {"quick item first", "fighter", [](Actor& a) { a.bag = {item("healing_potion")}; a.quick = a.bag[0]; },
     button::quick | button::special | button::attack,
     {.move = "quaff", .events = std::vector{Event::actor_item(EventKind::use, 0, item("healing_potion"))}}},
    {"special before light", "fighter", [](Actor&) {}, button::special | button::attack, {.move = "whirlwind"}},
    {"calm item in a fight", "fighter", [](Actor& a) { a.bag = {item("ration")}; a.quick = a.bag[0]; }, button::quick,
     {.state = S::idle, .events = std::vector{Event::refuse_of(0, RefuseReason::fighting)}}, 0, true},
    {"calm item when calm", "fighter", [](Actor& a) { a.bag = {item("ration")}; a.quick = a.bag[0]; }, button::quick,
     {.move = "eat"}},
    {"spell paid from mana, then fp", "wizard", [](Actor& a) { a.fp = 1; a.mana = 1; }, button::special,
     {.move = "firebolt", .more = [](const Actor& a, const World&) { EXPECT_EQ(a.fp * 10 + a.mana, 0); }}},  // fp 2
    {"start empties the hit list", "fighter", [](Actor& a) { a.hit_list = {5}; }, button::attack,
     {.more = [](const Actor& a, const World&) { EXPECT_TRUE(a.hit_list.empty()); }}},
    {"a light move that winds says so once", "fighter", [](Actor& a) { a.gear = {}; a.sta = 1; }, button::attack,
     {.sta = 0, .events = just(EventKind::winded)}},

    // Jump, dash and guards.
    {"no move without stamina", "fighter", [](Actor& a) { a.sta = 0; }, button::attack, {.state = S::idle}},
    {"jump before guard, rising 14 cm/tick", "fighter", [](Actor&) {}, button::jump | button::guard,
     {.state = S::jump, .more = [](const Actor& a, const World&) { EXPECT_EQ(a.vy.raw, 14 * cm - 179); }}},
    {"jump keeps a faster run", "fighter", [](Actor& a) { a.vx = Fx::from_int(10); a.facing = -1; },
     button::jump | button::right, {.vx = 10 * cm, .facing = 1}},
    {"an air move keeps its way", "fighter",
     [](Actor& a) { in_state(a, S::jump, 3); a.y = Fx::from_int(50); a.vx = Fx::from_int(2); }, button::attack,
     {.move = "leaping_slash", .vx = 2 * cm}},
    {"jump across at ACROSS", "thief", [](Actor&) {}, button::jump | button::down, {.vz = 120 * (7 * 128) / 100}},
    {"no jump without an air move", "bandit", [](Actor&) {}, button::jump, {.state = S::idle}},
    {"dash turns to the input", "fighter", [](Actor& a) { a.gear = {}; a.facing = 1; }, button::dash | button::left,
     {.state = S::dash, .vx = -7 * cm, .invuln = 14, .sta = 110 - 18, .events = just(EventKind::dash)}},
    {"no dash without a dash move", "wizard", [](Actor&) {}, button::dash, {.state = S::idle}},
    {"unless an enemy", "bandit", [](Actor&) {}, button::dash, {.state = S::dash, .vx = -7 * cm}},
    {"dash lasts 18 ticks", "bandit", [](Actor& a) { in_state(a, S::dash, 16); }, none, {.state = S::dash}},
    {"and no more", "bandit", [](Actor& a) { in_state(a, S::dash, 17); }, none, {.state = S::idle}},
    {"dash move from a dash", "fighter", [](Actor& a) { in_state(a, S::dash, 3); }, button::attack,
     {.move = "shoulder_charge"}},
    {"ward needs a fresh press", "cleric", [](Actor& a) { a.prev_buttons = button::guard; }, button::guard,
     {.state = S::idle}},
    {"ward waits out its rest", "cleric", [](Actor& a) { a.guard_cooldown = 2; }, button::guard, {.state = S::idle}},
    {"ward rises as the rest ends", "cleric", [](Actor& a) { a.guard_cooldown = 1; }, button::guard,
     {.state = S::block}},
    {"ward holds guard_hold ticks", "cleric",
     [](Actor& a) { in_state(a, S::block, 38); a.prev_buttons = button::guard; }, button::guard, {.state = S::block}},
    {"then rests", "cleric", [](Actor& a) { in_state(a, S::block, 39); a.prev_buttons = button::guard; }, button::guard,
     {.state = S::idle, .more = [](const Actor& a, const World&) { EXPECT_EQ(a.guard_cooldown, 60); }}},
    {"bubble needs mana", "wizard", [](Actor& a) { a.mana = 0; }, button::guard, {.state = S::idle}},
    {"dodge steps back", "thief", [](Actor& a) { a.gear = {}; a.facing = 1; }, button::guard,  // guard_cost 60
     {.state = S::dodge, .vx = -7 * cm, .invuln = 16, .sta = 100 - 60 * 18 / 100, .events = just(EventKind::dash)}},
    {"dodge ends after guard_hold", "thief", [](Actor& a) { in_state(a, S::dodge, 15); }, none, {.state = S::idle}},
    {"stun ends on time", "bandit", [](Actor& a) { in_state(a, S::stun, 9); a.stun = 10; }, none, {.state = S::idle}},

    // Cancels.
    {"guard cancels a move", "fighter", [](Actor& a) { in_move(a, "slash", 2); }, button::guard, {.state = S::block}},
    {"dash cancels a move", "fighter", [](Actor& a) { in_move(a, "slash", 2); }, button::dash, {.state = S::dash}},
    {"an air move is not cancelled", "fighter",
     [](Actor& a) { in_move(a, "leaping_slash", 2); a.y = Fx::from_int(50); }, button::guard, {.state = S::attack}},
    {"guard and dash do not restart a dash", "bandit", [](Actor& a) { in_state(a, S::dash, 5); },
     button::guard | button::dash, {.ticks = 6}},
    {"guard does not restart a dodge", "thief", [](Actor& a) { in_state(a, S::dodge, 3); }, button::guard,
     {.ticks = 4}},
    {"an enemy that blocks guards out of a dash", "shieldbearer", [](Actor& a) { in_state(a, S::dash, 3); },
     button::guard, {.state = S::block}},
    {"one that never blocks does not", "wolf", [](Actor& a) { in_state(a, S::dash, 3); }, button::guard,
     {.state = S::dash}},

    // Walking (the fighter: Basic Move 5, jog 170 %: 5 x 170 x 128 / 100 = 1088 out of a fight).
    {"walk accelerates and faces", "fighter", [](Actor&) {}, button::left,
     {.state = S::walk, .ticks = 1, .vx = -192, .facing = -1}},  // ACCEL 0.75
    {"opposed buttons brake", "fighter", [](Actor& a) { in_state(a, S::walk, 9); a.vx = Fx::from_raw(-1088); },
     button::left | button::right, {.state = S::idle, .vx = -1088 + 256}},  // BRAKE 1
    {"AI facing turns, the walk does not", "bandit", [](Actor&) {}, button::left,
     {.state = S::walk, .facing = 1}, 3},
    {"stealth speeds the walk", "fighter",
     [](Actor& a) { a.stealth = 9; a.vanish_speed = 50; a.vx = Fx::from_raw(1632); }, button::right,
     {.vx = 5 * 255 * 128 / 100}},  // jog 170 % x 150 %
    {"encumbrance slows it", "fighter",  // 3 mauls: 510 tenths of a pound against 288: level 4
     [](Actor& a) { a.bag = {item("ogre_maul"), item("ogre_maul"), item("ogre_maul")}; a.vx = Fx::from_raw(870); },
     button::right, {.vx = 1088 * 4 / 5}},
    {"across at 75 % along the way", "fighter", [](Actor& a) { a.vz = Fx::from_raw(816); },
     button::right | button::down, {.vz = 75 * 1088 / 100}},
    {"vz brakes without up or down", "fighter", [](Actor& a) { a.vz = Fx::from_raw(1000); }, button::right,
     {.vz = 1000 - 256}},

    // Moves in progress (tumble: startup 2, active 16, recovery 6, invulnerable 1 18, lunge 8, turn).
    {"invulnerable frames and lunge", "thief", [](Actor& a) { in_move(a, "tumble", 0); }, none,
     {.vx = 8 * cm, .invuln = 1}},
    {"then neither", "thief", [](Actor& a) { in_move(a, "tumble", 17); }, none, {.vx = 0, .invuln = 0}},
    {"a turn move ends turned", "thief", [](Actor& a) { in_move(a, "tumble", 23); a.facing = 1; }, none,
     {.state = S::idle, .facing = -1}},
    {"a thrown item is not queued", "fighter",
     [](Actor& a) { a.bag = {item("fire_flask")}; in_move(a, "throw_flask", 7); a.item_in_use = a.bag[0]; }, none,
     {.events = std::vector{Event::swing_of(move("throw_flask"), 0)}, .more = [](const Actor& a, const World& w) {
        EXPECT_TRUE(a.bag.empty());
        EXPECT_TRUE(w.deferred_values.empty());
      }}},
    {"heal is a queued effect", "cleric", [](Actor& a) { in_move(a, "mend", 11); }, none,
     {.more = [](const Actor&, const World& w) { EXPECT_EQ(w.deferred_moves.size(), 1u); }}},
    {"a winded actor does not chain", "fighter",
     [](Actor& a) { in_move(a, "slash", 17); a.chain_queued = a.winded = 1; }, none, {.state = S::idle}},
    {"the next move needs its skill", "fighter", [](Actor& a) { in_move(a, "skilled_slash", 8); }, button::attack,
     {.more = [](const Actor& a, const World&) { EXPECT_EQ(a.chain_queued, 0); }}},
    {"recovery shrinks by half at most", "fighter", [](Actor& a) { in_move(a, "slash", 11); a.skill = 100; }, none,
     {.state = S::attack}},  // ends at 18 - 5
    {"one air attack a jump", "fighter",
     [](Actor& a) { in_state(a, S::jump, 3); a.y = Fx::from_int(50); a.air_attacked = 1; }, button::attack,
     {.state = S::jump}},
    {"an air move ending aloft jumps on", "fighter",
     [](Actor& a) { in_move(a, "leaping_slash", 23); a.y = Fx::from_int(50); }, none, {.state = S::jump}},
    {"a special press ends work", "fighter", [](Actor& a) { in_state(a, S::work, 3); a.work_ticks = 100; },
     button::special, {.state = S::idle}},
    {"a move from hiding breaks it", "fighter", [](Actor& a) { a.stealth = 30; }, button::attack,
     {.more = [](const Actor& a, const World&) { EXPECT_EQ(a.stealth * 10 + a.vanish_strike, 1); }}},

    // Down, getting up, knocked out; landing and friction.
    {"a player gets up", "fighter", [](Actor& a) { in_state(a, S::down, 39); }, none,
     {.state = S::getup, .invuln = 26}},
    {"and stands after 20 ticks", "fighter", [](Actor& a) { in_state(a, S::getup, 19); }, none, {.state = S::idle}},
    {"an enemy without hit points is knocked out", "bandit", [](Actor& a) { in_state(a, S::down, 39); a.hp = 0; },
     none, {.state = S::ko, .more = [](const Actor& a, const World& w) {
              EXPECT_EQ(w.events.at(0), Event::of_actor(EventKind::ko, a.id));
            }}},
    {"and leaves after 90 ticks", "bandit", [](Actor& a) { in_state(a, S::ko, 89); }, none,
     {.more = [](const Actor& a, const World&) { EXPECT_EQ(a.gone, 1); }}},
    {"players stay, the count at its top", "fighter", [](Actor& a) { in_state(a, S::ko, 65535); }, none,
     {.state = S::ko, .ticks = 65535}},
    {"a fall lands down, juggle cleared", "fighter",
     [](Actor& a) { in_state(a, S::fall, 3); a.y = Fx::from_raw(100); a.vy = Fx::from_raw(-256); a.juggle = 2; }, none,
     {.state = S::down, .vx = 0, .events = just(EventKind::down),
      .more = [](const Actor& a, const World&) { EXPECT_EQ(a.juggle, 0); }}},
    {"an air move lands", "fighter",
     [](Actor& a) { in_move(a, "leaping_slash", 5); a.y = Fx::from_raw(100); a.vy = Fx::from_raw(-256); }, none,
     {.state = S::idle, .events = just(EventKind::land)}},
    {"friction while down", "fighter", [](Actor& a) { in_state(a, S::down, 3); a.vx = Fx::from_raw(300); }, none,
     {.vx = 172}},
    {"and stops within 0.5 cm/tick", "bandit",
     [](Actor& a) { in_state(a, S::stun, 3); a.stun = 9; a.vx = Fx::from_raw(-128); }, none, {.vx = 0}},
  };
}

template <class T, class U>
void expect(const std::optional<T>& want, const U& got, const char* field) {
  if (want) {
    EXPECT_EQ(got, *want) << field;
  }
}

TEST_F(Control, OneTickFromAPreparedActor) {
  for (const Scenario& s : scenarios()) {
    SCOPED_TRACE(s.what);
    const bool player = kind_by_id(kind(s.kind)).player;
    game(player ? s.kind : "fighter");
    const std::size_t i = player ? 0 : add_enemy(s.kind, 800);
    w.camera_x = w.actors[i].x;
    w.fighting = s.fighting ? 1 : 0;
    s.setup(w.actors[i]);
    step(i, s.buttons, 1, s.ai_facing);
    const Actor& a = w.actors[i];
    const Want& x = s.want;
    expect(x.state, a.state, "state");
    expect(x.ticks, a.state_ticks, "state_ticks");
    expect(x.vx, a.vx.raw, "vx");
    expect(x.vz, a.vz.raw, "vz");
    expect(x.facing, a.facing, "facing");
    expect(x.invuln, a.invuln, "invuln");
    expect(x.sta, a.sta, "sta");
    expect(x.events, w.events, "events");
    if (x.move) {
      EXPECT_EQ(a.move, move(x.move));
    }
    if (x.more) x.more(a, w);
  }
}

TEST_F(Control, StaminaCostsScaleWithWornFatigueAndWindOnce) {
  game("fighter");
  P().gear = {item("steel_helm"), item("steel_helm"), item("leather_armor")};  // 5 + 5 + 10 = 20 %
  const std::int32_t full = P().sta;
  step(0, button::jump);
  EXPECT_EQ(P().sta, full - 12);
  EXPECT_EQ(P().stamina_delay, 36);

  P().sta = 10;
  EXPECT_FALSE(spend_stamina(P(), 5));  // 6: 4 left
  EXPECT_FALSE(spend_stamina(P(), 3));  // 3: 1 left
  EXPECT_TRUE(spend_stamina(P(), 1));   // 1: none left, winded now
  EXPECT_EQ(P().sta, 0);
  EXPECT_FALSE(spend_stamina(P(), 1));
}

TEST_F(Control, StaminaRecoversAtTheStateRateAfterThePause) {
  game("fighter");
  P().gear = {item("steel_helm"), item("steel_helm"), item("leather_armor")};  // a point costs 120
  for (const auto& [state, rate] : {std::pair{S::idle, 100}, std::pair{S::stun, 100}, std::pair{S::down, 100},
                                     std::pair{S::getup, 100}, std::pair{S::walk, 50}, std::pair{S::jump, 0},
                                     std::pair{S::attack, 0}, std::pair{S::dash, 0}, std::pair{S::block, 0}}) {
    in_state(P(), state, 0);
    P().stun = 50;
    P().sta = 50;
    P().stamina_regen = 0;
    actor_step(w, 0, none, 0);
    EXPECT_EQ(P().stamina_regen, rate) << static_cast<int>(state);
  }
  P().sta = P().sta_max;  // full: the accumulator empties
  P().stamina_regen = 77;
  actor_step(w, 0, none, 0);
  EXPECT_EQ(P().stamina_regen, 0);

  to_idle(P());
  P().gear = {};
  P().sta = 0;
  spend_stamina(P(), 0);  // even a spend of nothing pauses recovery
  step(0, none, 36);
  EXPECT_EQ(P().sta, 0);
  step(0, none, 4);
  EXPECT_EQ(P().sta, 4);
}

TEST_F(Control, WindedCannotActWalksAtHalfSpeedAndRecovers) {
  game("fighter");
  w.fighting = 1;
  World fresh = w;
  P().winded = 1;
  P().sta = 1;
  for (Buttons b : {button::attack, button::jump, button::dash}) {
    step(0, b);
    EXPECT_EQ(P().state, S::idle) << b;
    step(0, none);
  }
  step(0, button::right, 30);
  EXPECT_EQ(P().vx.raw, 320);  // Basic Move 5 in a fight: 5 x 128, halved
  std::swap(w, fresh);
  step(0, button::right, 30);
  EXPECT_EQ(P().vx.raw, 640);

  // Recovered once 3 x stamina reaches the maximum, but not while paused;
  // each of these ticks recovers one point first.
  P().gear = {};
  P().sta_max = 120;
  for (const auto& [sta, pause, winded] : {std::tuple{39, 0, 0}, std::tuple{38, 0, 1}, std::tuple{39, 2, 1}}) {
    to_idle(P());
    P().winded = 1;
    P().sta = sta;
    P().stamina_regen = 0;
    P().stamina_delay = static_cast<std::uint16_t>(pause);
    step(0, none);
    EXPECT_EQ(P().winded, winded) << sta << " " << pause;
  }
}

TEST_F(Control, RegenerationPeriodsInAndOutOfAFight) {
  // Wizard, IQ 14, no worn fatigue: fp every 60 or 240 ticks, mana every
  // 2400 / 14 = 171 ticks in a fight and a quarter of that out of one.
  for (const auto& [fighting, pool, period] : {std::tuple{0, &Actor::fp, 60}, std::tuple{1, &Actor::fp, 240},
                                               std::tuple{0, &Actor::mana, 42}, std::tuple{1, &Actor::mana, 171}}) {
    game("wizard");
    w.fighting = static_cast<std::uint8_t>(fighting);
    P().*pool -= 2;
    const std::int32_t low = P().*pool;
    step(0, none, period - 1);
    EXPECT_EQ(P().*pool, low) << period;
    step(0, none);
    EXPECT_EQ(P().*pool, low + 1) << period;
  }
  game("wizard");
  P().mana -= 1;
  step(0, button::guard, 60);  // none while in the bubble
  EXPECT_EQ(P().state, S::block);
  EXPECT_EQ(P().mana, P().mana_max - 1);
}

TEST_F(Control, ChainedMoveStartsOnTheTickThePreviousEnds) {
  // Slash chains into backslash from frame 8 and ends at 5 + 3 + 10 = 18;
  // skill opens the window up to 2 frames early and cuts recovery by skill.
  for (const auto& [skill, end] : {std::pair{0, 18}, std::pair{3, 15}}) {
    const int first = 8 - std::min(skill, 2);
    for (int press : {first - 1, first}) {
      game("fighter");
      P().skill = skill;
      step(0, button::attack);
      step(0, none, press - 1);
      step(0, button::attack);
      EXPECT_EQ(P().chain_queued, press == first ? 1 : 0) << "skill " << skill << " T " << press;
    }
    step(0, none, end - first - 1);
    EXPECT_EQ(P().move, move("slash")) << "skill " << skill;
    step(0, none);
    EXPECT_EQ(P().move, move("backslash")) << "skill " << skill;
    EXPECT_EQ(P().state_ticks, 0);
  }
}

TEST_F(Control, FirstActiveFrameQueuesEffectsThenSwingsEvenWithoutWindUp) {
  for (const auto& [name, startup] : {std::pair{"turn_undead", 12}, std::pair{"snap_shout", 1}}) {
    game("cleric");
    start_move(P(), move(name));
    step(0, none, startup - 1);
    EXPECT_TRUE(w.deferred_moves.empty()) << name;
    step(0, none);  // T = max(startup, 1)
    EXPECT_EQ(w.deferred_moves, std::vector<DeferredMove>{(DeferredMove{0, move(name)})}) << name;
    EXPECT_EQ(w.events, std::vector<Event>{Event::swing_of(move(name), 0)}) << name;
    step(0, none);
    EXPECT_TRUE(w.deferred_moves.empty()) << name;
  }
}

TEST_F(Control, QuickItemIsSpentAtTheFirstActiveFrameUnlessGoneMeanwhile) {
  game("fighter");
  const std::uint16_t potion = item("healing_potion");
  P().bag = {potion, item("ration"), potion};
  P().quick = potion;
  step(0, button::quick);
  EXPECT_EQ(P().item_in_use, potion);
  step(0, none, 10);  // quaff startup 10: the first potion goes
  EXPECT_EQ(P().bag, (ItemList{item("ration"), potion}));
  EXPECT_EQ(w.deferred_values, std::vector<DeferredValue>{(DeferredValue{0, potion})});

  for (const bool sold : {false, true}) {  // the horn's move has an effect of its own too
    game("fighter");
    P().bag = {item("war_horn")};
    P().quick = item("war_horn");
    step(0, button::quick);
    if (sold) P().bag.clear();
    step(0, none);
    EXPECT_EQ(w.deferred_values.size(), sold ? 0u : 1u);
    EXPECT_EQ(w.deferred_moves.size(), sold ? 0u : 1u);
    EXPECT_EQ(count(EventKind::swing, 0), 1);
  }
}

TEST_F(Control, QuickSelectionCyclesDistinctConsumables) {
  game("fighter");
  const std::uint16_t potion = item("healing_potion"), ration = item("ration"), flask = item("fire_flask");
  P().bag = {potion, item("dagger"), potion, ration, flask};
  cycle_quick_item(P(), 1);  // none counts as position 0
  EXPECT_EQ(P().quick, ration);
  cycle_quick_item(P(), 1);
  cycle_quick_item(P(), 1);
  EXPECT_EQ(P().quick, potion);  // wrapped
  cycle_quick_item(P(), -1);
  EXPECT_EQ(P().quick, flask);

  P().bag = {potion, ration};  // the quick item left the bag: the first consumable
  step(0, none);
  EXPECT_EQ(P().quick, potion);
  step(0, button::quick_previous);
  EXPECT_EQ(P().quick, ration);
  P().bag = {item("dagger")};
  cycle_quick_item(P(), 1);
  EXPECT_FALSE(P().quick.has_value());
}

TEST_F(Control, SpecialsNeedLearningSkillAndFatigueAndAnEmptyListDoesNothing) {
  const Buttons art2 = static_cast<Buttons>(2 << button::art_shift);
  game("fighter");
  step(0, art2);  // rally_cry has a price: not learned yet
  EXPECT_EQ(P().special, 0);
  step(0, art2 | button::special);  // the first special instead
  EXPECT_EQ(P().move, move("whirlwind"));
  EXPECT_EQ(P().fp, P().fp_max - 1);

  game("fighter");
  P().arts.push_back(move("rally_cry"));
  step(0, art2);
  EXPECT_EQ(P().special, 1);
  P().fp = 2;  // rally_cry costs 3
  step(0, button::special);
  EXPECT_EQ(P().state, S::idle);
  P().fp = 3;
  step(0, none);
  step(0, button::special);
  EXPECT_EQ(P().move, move("rally_cry"));

  const std::size_t cutpurse = add_enemy("cutpurse", 800);
  step(cutpurse, button::special | static_cast<Buttons>(3 << button::art_shift));
  EXPECT_EQ(w.actors[cutpurse].state, S::idle);
}

TEST_F(Control, AFreshGuardCancelsAMoveIntoABlockThatCountsFromZeroAndStopsTheWalk) {
  game("fighter");
  step(0, button::down, 2);
  ASSERT_NE(P().vz.raw, 0);
  step(0, button::attack);
  step(0, button::guard);
  EXPECT_EQ(P().state, S::block);
  EXPECT_EQ(P().state_ticks, 0);  // the parry window counts from here
  step(0, button::guard);
  EXPECT_EQ(P().state_ticks, 1);
  step(0, none);
  EXPECT_EQ(P().state, S::idle);

  step(0, button::down, 40);  // long in the walk
  step(0, button::down | button::guard);
  EXPECT_EQ(P().state, S::block);
  EXPECT_EQ(P().state_ticks, 0);
  EXPECT_EQ(P().vz.raw, 0);
}

TEST_F(Control, BandCameraWindowAndClosedBarriers) {
  game("fighter");
  const std::size_t bandit = add_enemy("bandit", 1300);
  P().x = Fx::from_int(1160);  // camera at 600: the window ends at 600 + 570
  P().vx = Fx::from_int(20);
  P().z = Fx::from_int(5);
  P().vz = Fx::from_int(-20);
  w.actors[bandit].vx = Fx::from_int(20);
  move_actor(w, 0, {});
  move_actor(w, bandit, {});
  EXPECT_EQ(P().x.raw, 1170 * cm);
  EXPECT_EQ(P().z.raw, 0);
  EXPECT_EQ(w.actors[bandit].x.raw, 1320 * cm);  // enemies are not held by the camera

  game("fighter", "barrow_crypt");
  std::vector<std::int32_t> barriers;
  closed_barriers(w, barriers);
  ASSERT_EQ(barriers, (std::vector<std::int32_t>{1700}));
  const std::size_t left = add_enemy("bandit", 1660);
  const std::size_t right = add_enemy("bandit", 1740);
  w.actors[left].vx = Fx::from_int(60);  // both would cross it
  w.actors[right].vx = Fx::from_int(-60);
  move_actor(w, left, barriers);
  move_actor(w, right, barriers);
  EXPECT_EQ(w.actors[left].x.raw, 1675 * cm);
  EXPECT_EQ(w.actors[right].x.raw, 1725 * cm);
  w.levers_pulled.assign(w.levers_pulled.size(), 1);
  closed_barriers(w, barriers);
  EXPECT_TRUE(barriers.empty());
}

TEST_F(Control, EncumbranceLevelsAgainstTheBasicLift) {
  game("fighter");
  P().gear = {item("leather_armor"), std::nullopt, std::nullopt};  // 100 tenths of a pound
  P().st = 5;                                                     // basic lift 50
  EXPECT_EQ(encumbrance_level(P()), 4);                           // up to 2 x 50
  P().bag = {item("leather_armor")};  // 200: up to 4 x 50
  EXPECT_EQ(encumbrance_level(P()), 2);
  EXPECT_EQ(encumbrance_penalty(P()), -3);
  P().st = 0;
  EXPECT_EQ(encumbrance_level(P()), 1);
  P().st = 2'000'000'000;  // 2 x ST² needs 64 bits
  EXPECT_EQ(encumbrance_level(P()), 5);
}

}  // namespace
}  // namespace velmora
