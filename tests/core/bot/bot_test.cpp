// The bot's word from scenes set up by hand, one table per decision: guards
// against blows and shots, special scores and the choice, targets, goals,
// pickups, barrels, traps and the travel goal.
#include "core/bot/bot.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>
#include <vector>

#include "core/bot/bot_arts.h"
#include "core/bot/bot_searches.h"
#include "core/data/game_data.h"
#include "core/world/actor.h"

namespace velmora {
namespace {

// The built-in data plus, last so that every built-in id stays: a blow of 2d+1
// crushing that winds up for 20 frames (a guard against it costs 8 at DR 0),
// a heal with armour, a ward of DR 10, a lance reaching 600 without a lunge,
// and a hall with two levers on one barrier, two doors and a secret passage.
// The cleric's guard costs 90 %, so its price rounds up.
class TestData : public ::testing::Environment {
 public:
  void SetUp() override {
    GameData d = builtin_data();
    auto copy = [&](std::string_view from, const char* name) -> MoveDef& {
      d.moves.push_back(d.moves[*move_id(d.moves, from)]);
      d.moves.back().name = name;
      return d.moves.back();
    };
    MoveDef& blow = copy("whirlwind", "test_blow");
    blow.startup = 20, blow.forward = {10, 80}, blow.depth = 30, blow.damage_base = DamageBase::dice;
    blow.damage_dice = 2, blow.damage_add = 1, blow.damage_type = DamageType::crushing;
    copy("mend", "test_heal").armor = true;
    copy("bless", "test_ward").ward->dr = 10;
    copy("slash", "test_lance").forward = {10, 600};
    d.kinds[*kind_id(d.kinds, "cleric")].guard_cost = 90;
    StageDef halls = d.stages[*stage_index(d.stages, "wolf_den")];
    halls.name = "test_halls";
    halls.levers = {{1200, 200, 2000}, {1300, 200, 2000}};
    halls.doors = {DoorDef{"Road", *stage_index(d.stages, "first_road"), 1500, 180, 300, false},
                   DoorDef{"Wood", *stage_index(d.stages, "dark_wood"), 900, 180, 300, false},
                   DoorDef{"", *stage_index(d.stages, "millbrook"), 600, 180, 300, true}};
    d.stages.push_back(halls);
    ASSERT_TRUE(install_game_data(std::move(d)).ok());
  }
};

const auto* const test_data = ::testing::AddGlobalTestEnvironment(new TestData);

using S = ActorState;
using C = SpecialCategory;
using Score = std::optional<SpecialScore>;
constexpr Buttons L = button::left, R = button::right, U = button::up, D = button::down;
constexpr Buttons G = button::guard, A = button::attack;
constexpr Buttons passed = 0xffff;  // the foe is passed over: the word without its blow
constexpr Score none;

std::uint8_t kind(std::string_view name) { return *kind_id(game_data().kinds, name); }
std::uint8_t move(std::string_view name) { return *move_id(game_data().moves, name); }
std::size_t stage(std::string_view name) { return *stage_index(game_data().stages, name); }
constexpr Buttons special_word(int position) { return static_cast<Buttons>(512 + (position + 1) * 8192); }

struct Foe {
  std::string_view kind;
  std::int32_t x;
  std::int32_t z = 200;
  std::int8_t facing = -1;
};

// The party of the named classes, the bot (slot 0, actor 0) at x, z 200
// facing right with the camera on it, the other players out of view at x
// 300, then the foes; no barrels or pickups, an odd tick, no FP or mana.
struct Scene {
  World w;

  Scene(const std::vector<std::string_view>& classes, const std::vector<Foe>& foes = {},
        std::string_view where = "first_road", std::int32_t x = 1000) {
    std::vector<CharacterSheet> party;
    for (std::string_view c : classes) {
      party.push_back(new_character(kind(c)));
      party.back().slot = static_cast<std::uint8_t>(party.size() - 1);
    }
    w = new_game(stage(where), 5, party);
    w.props.clear(), w.pickups.clear();
    w.tick = 11, w.camera_x = Fx::from_int(x);
    for (std::size_t i = 0; i < w.actors.size(); ++i) place(i, i == 0 ? x : 300);
    b().fp = b().mana = 0, b().facing = 1;
    for (const Foe& f : foes) {
      const auto id = static_cast<std::uint16_t>(w.actors.size());
      w.actors.push_back(actor_from_kind(id, kind(f.kind), 1, 0, f.x, f.z, f.facing));
    }
  }

  Actor& b() { return w.actors[0]; }  // the bot
  Actor& a(std::size_t i) { return w.actors[i]; }
  void place(std::size_t i, std::int32_t x, std::int32_t z = 200) {
    a(i).x = Fx::from_int(x), a(i).z = Fx::from_int(z);
  }
  void lay(PickupContent c, std::int32_t x, std::int32_t z = 200) {
    w.pickups.push_back(Pickup{c, Fx::from_int(x), Fx::from_int(z), 0, 0});
  }
  void barrel(std::int32_t x, std::int32_t z = 200) {
    w.props.push_back(Prop{PropContent{}, Fx::from_int(x), Fx::from_int(z), 0, 0});
  }
  void even() { w.tick = 10; }
  void see_trap() { w.trap_states[0].state = trap_seen; }
};

using Tweak = void (*)(Scene&);
#define DO(...) +[]([[maybe_unused]] Scene& s) { __VA_ARGS__; }

struct Row {
  const char* what;
  std::vector<std::string_view> classes;
  std::vector<Foe> foes;
  Tweak tweak;
  Buttons word;
};

void check(const std::vector<Row>& rows, Tweak setup = DO(), std::string_view where = "first_road",
           std::int32_t x = 1000) {
  for (const Row& row : rows) {
    Scene s(row.classes, row.foes, where, x);
    setup(s);
    row.tweak(s);
    Scene calm = s;
    if (calm.w.actors.size() > 1) calm.a(1).state = S::idle;
    const Buttons expected = row.word == passed ? bot_input(calm.w, 0) : row.word;
    EXPECT_EQ(bot_input(s.w, 0), expected) << row.what;
  }
}

const std::vector<std::string_view> fighter{"fighter"}, cleric{"cleric"}, wizard{"wizard"}, thief{"thief"};

TEST(BotFrame, TheSlotsPresentPlayerIsPlayedAndRestsWhenBlockingOrWinded) {
  Scene s(fighter);
  EXPECT_EQ(bot_input(s.w, 1), 0);  // nobody plays slot 1
  s.b().hp = 1;
  s.lay(PickupContent::food(4), 700);
  EXPECT_EQ(bot_input(s.w, 0), L);
  s.b().state = S::ko;
  EXPECT_EQ(bot_input(s.w, 0), 0);
  // A player who left and came back with another class is the slot's actor.
  s.b().state = S::idle, s.b().gone = 1;
  EXPECT_EQ(bot_input(s.w, 0), 0);
  s.w.actors.push_back(actor_from_sheet(1, new_character(kind("thief")), 0, 1000, 200));
  s.a(1).hp = 1;
  EXPECT_EQ(bot_input(s.w, 0), L);
  s.a(1).winded = 1;
  EXPECT_EQ(bot_input(s.w, 0), 0);
  s.a(1).winded = 0, s.a(1).state = S::block;
  EXPECT_EQ(bot_input(s.w, 0), 0);
}

// The foe (actor 1) at 1060 winds up the test blow at the bot at 1000 (DR 0,
// an even tick).
TEST(BotGuard, AgainstABlowByGuardKindPriceAndReadiness) {
  const std::vector<Foe> foe{{"bandit", 1060}};
  check({{"shield facing the blow", fighter, foe, DO(), G},
         {"shield turned away turns first", fighter, foe, DO(s.b().facing = -1), R},
         {"at the foe's x no turn", fighter, foe, DO(s.b().facing = -1, s.place(1, 1000)), G},
         {"in its own attack: nothing", fighter, foe, DO(s.b().state = S::attack), 0},
         {"the blow already active", fighter, foe, DO(s.a(1).state_ticks = 20), passed},
         {"just within reach", fighter, foe, DO(s.place(1, 1120)), G},
         {"beyond reach", fighter, foe, DO(s.place(1, 1121)), passed},
         {"beyond depth", fighter, foe, DO(s.place(1, 1060, 261)), passed},
         {"the foe faces away", fighter, foe, DO(s.a(1).facing = 1), passed},
         {"ward paid from fp", cleric, foe, DO(s.b().fp = 8), G},
         {"ward unpaid (the price rounds up): walk away", cleric, foe, DO(s.b().fp = 7), L},
         {"8 frames left: dash away", cleric, foe, DO(s.b().fp = 7, s.a(1).state_ticks = 12), L | 128},
         {"but not out of stamina", cleric, foe, DO(s.b().fp = 7, s.a(1).state_ticks = 12, s.b().sta = 0), L},
         {"ward cooling down", cleric, foe, DO(s.b().fp = 9, s.b().guard_cooldown = 5), passed},
         {"unpaid while dashing: guard", cleric, foe, DO(s.b().fp = 2, s.b().state = S::dash), G},
         {"bubble paid with half, no turn", wizard, foe, DO(s.b().mana = 2, s.b().dr = 4, s.b().facing = -1), G},
         {"bubble unpaid", wizard, foe, DO(s.b().mana = 1, s.b().dr = 4), L},
         {"dodge waits", thief, foe, DO(s.a(1).state_ticks = 9), 0},
         {"dodge 10 frames before", thief, foe, DO(s.a(1).state_ticks = 10), G},
         {"guard still held", thief, foe, DO(s.a(1).state_ticks = 10, s.b().prev_buttons = G), passed}},
        DO(s.b().dr = 0, s.b().gear = {}, s.a(1).state = S::attack, s.a(1).move = move("test_blow"), s.even()));
}

// A shot of the enemies' side at x 900 flying right toward the bot at 1000;
// a bot that does not guard walks on to the far end.
TEST(BotGuard, AgainstAShotFlyingIn) {
  check({{"160 away", fighter, {}, DO(), G},
         {"161 away", fighter, {}, DO(s.w.projectiles[0].x = Fx::from_int(839)), R},
         {"already past", fighter, {}, DO(s.w.projectiles[0].x = Fx::from_int(1001)), R},
         {"flying away", fighter, {}, DO(s.w.projectiles[0].facing = -1), R},
         {"41 aside", fighter, {}, DO(s.w.projectiles[0].z = Fx::from_int(241)), R},
         {"the party's own", fighter, {}, DO(s.w.projectiles[0].team = 0), R},
         {"staggered", fighter, {}, DO(s.b().state = S::stun), R},
         {"ward ready", cleric, {}, DO(s.b().fp = 2), G},
         {"dodge ready", thief, {}, DO(), G},
         {"dodge winded: rests", thief, {}, DO(s.b().winded = 1), 0}},
        DO(Projectile p; p.x = Fx::from_int(840), p.z = Fx::from_int(200), p.team = 1, p.facing = 1;
           s.w.projectiles.push_back(p)));
}

// One or more rows per rule of the score table, at the edges of its
// condition. The bot's partner (actor 1) stands out of view; foes follow.
TEST(BotSpecials, EachRuleScoresItsSituation) {
  struct Rule {
    std::string_view bot_class, special;
    std::vector<Foe> foes;
    Score score;
    Tweak tweak = DO();
  };
  const std::vector<Foe> three{{"bandit", 1300, 160}, {"bandit", 1300}, {"bandit", 1300, 240}};
  const std::vector<Foe> five{{"bandit", 1300, 160}, {"bandit", 1300}, {"bandit", 1300, 240}, {"wolf", 1400},
                              {"wolf", 1500}};
  const std::vector<Foe> two_near{{"bandit", 1100}, {"bandit", 900}}, behind{{"bandit", 1050, 200, 1}};
  using SS = SpecialScore;
  const std::vector<Rule> rows = {
      {"cleric", "mend", {}, SS{65, C::support}, DO(s.b().hp = 5, s.b().hp_max = 10)},
      {"cleric", "mend", two_near, none, DO(s.b().hp = 1)},
      {"cleric", "test_heal", two_near, SS{65, C::support}, DO(s.b().hp = 1)},
      {"cleric", "mend", {}, none, DO(s.a(1).hp = 1)},  // the hurt ally is out of view
      {"cleric", "raise_dead", {}, SS{100, C::support}, DO(s.a(1).state = S::ko)},
      {"wizard", "mage_armor", three, SS{35, C::support}, DO(s.w.fighting = 1)},
      {"wizard", "mage_armor", three, none},
      {"cleric", "test_ward", two_near, SS{80, C::support}, DO(s.b().hp = 1)},
      {"fighter", "rally_cry", {}, SS{40, C::support}, DO(s.b().hp = 8)},
      {"fighter", "rally_cry", five, SS{40, C::support}},
      {"thief", "smoke_bomb", {{"bandit", 1100}}, SS{90, C::evade}, DO(s.b().hp = 1)},
      {"thief", "smoke_bomb", {{"bandit", 1100}}, none, DO(s.b().hp = 4)},
      {"thief", "smoke_bomb", {{"bandit", 1150}}, none, DO(s.b().hp = 1)},
      {"fighter", "challenge", {{"bandit", 1549}}, SS{60, C::crowd}, DO(s.place(1, 1400), s.a(1).hp = 4, s.b().hp = 8)},
      {"fighter", "war_cry", {{"bandit", 1300}, {"bandit", 1300}, {"bandit", 1300}, {"ogre", 1300}}, SS{70, C::crowd}},
      {"fighter", "war_cry", {{"bandit", 1300}, {"bandit", 1300}, {"bandit_chief", 1300}, {"bandit", 1300},
       {"bandit", 1700}}, none, DO(s.a(5).state = S::fall)},
      {"wizard", "sleep_cloud", three, SS{75, C::crowd}},
      {"wizard", "lightning_storm", five, SS{110, C::crowd}},
      {"wizard", "lightning_storm", {{"bandit_chief", 1400}}, SS{70, C::crowd}, DO(s.a(2).hp = s.a(2).hp_max / 3)},
      {"cleric", "turn_undead", {{"skeleton", 1300}, {"skeleton", 1400}}, SS{70, C::support}},
      {"cleric", "turn_undead", {{"skeleton", 1100}}, SS{55, C::support}},
      {"cleric", "turn_undead", {{"skeleton", 1300}}, none},
      {"wizard", "frost_nova", {{"bandit", 1100}, {"bandit", 880}, {"bandit", 1171}}, SS{70, C::crowd}},
      {"wizard", "frost_nova", {{"bandit", 1100}, {"bandit", 880}, {"bandit", 1050}},
       none, DO(s.a(3).invuln = 5, s.a(4).state = S::fall, s.a(4).juggle = 2)},
      {"wizard", "fireball", {{"archer", 1300}, {"bandit", 1380}}, SS{75, C::ranged}},
      {"thief", "knife_throw", {{"bandit", 1300}}, SS{30, C::ranged}},
      {"thief", "knife_throw", {{"bandit", 1471}}, none},  // beyond range - 50
      {"thief", "knife_throw", {{"bandit", 1300}, {"bandit", 1100}}, none},
      {"thief", "fan_of_knives", {{"bandit", 1300}}, SS{40, C::ranged}},
      {"fighter", "whirlwind", two_near, SS{60, C::crowd}},
      {"fighter", "shield_rush", {{"bandit", 1100}, {"bandit", 1200, 240}, {"bandit", 1201}}, SS{70, C::crowd}},
      {"fighter", "test_lance", {{"bandit", 1100}, {"bandit", 1590}}, SS{70, C::ranged}},
      {"thief", "tumble", {{"bandit", 1150}}, SS{40, C::evade}},
      {"thief", "tumble", {{"bandit", 1150, 200, 1}}, none},
      {"fighter", "bull_rush", {{"bandit", 1180}}, SS{35, C::strike}},
      {"fighter", "bull_rush", {{"bandit", 1179}}, none},
      {"thief", "blackjack", behind, SS{50, C::strike}},
      {"thief", "blackjack", {{"bandit_chief", 1050, 200, 1}}, none},
      {"thief", "backstab", behind, SS{45, C::strike}},
      {"thief", "backstab", {{"bandit", 1050}}, none},
      {"thief", "poison_blade", {{"ogre", 1050}}, SS{35, C::strike}},
      {"thief", "poison_blade", {{"bandit", 1050}}, none, DO(s.a(2).hp = 20)},
      {"cleric", "holy_smite", {{"skeleton", 1050}}, SS{50, C::strike}},
      {"cleric", "holy_smite", {{"ogre", 1050}}, SS{30, C::strike}},
      {"fighter", "cleave", {{"ogre", 1050, 240}}, SS{35, C::strike}},
      {"fighter", "cleave", {{"bandit", 1050}}, none},
      {"fighter", "cleave", {{"bandit", 1050}}, SS{35, C::strike},
       DO(s.a(2).state = S::attack, s.a(2).move = move("test_blow"), s.a(2).state_ticks = 19)},
      {"fighter", "backslash", {{"ogre", 1050}}, none},    // a stagger of 25
  };
  for (const Rule& row : rows) {
    Scene s({row.bot_class, "fighter"}, row.foes);
    row.tweak(s);
    const BotView view(s.w, s.b());
    EXPECT_EQ(score_special(view, special_counts(view), move_def(move(row.special))), row.score)
        << row.bot_class << " " << row.special << ", row " << (&row - rows.data());
  }
}

TEST(BotSpecials, TheFocusFavoursItsCategories) {
  EXPECT_EQ(with_focus(FocusKind::plain, {60, C::crowd}), 60);
  EXPECT_EQ(with_focus(FocusKind::vanguard, {60, C::crowd}), 90);
  EXPECT_EQ(with_focus(FocusKind::assassin, {90, C::evade}), 135);
  EXPECT_EQ(with_focus(FocusKind::assassin, {35, C::strike}), 52);
  EXPECT_EQ(with_focus(FocusKind::shepherd, {105, C::support}), 157);
  EXPECT_EQ(with_focus(FocusKind::artillery, {30, C::ranged}), 45);
  EXPECT_EQ(with_focus(FocusKind::artillery, {110, C::crowd}), 165);
}

// Every special learned and affordable, on an even tick; on the odd tick
// after it no special is pressed.
TEST(BotSpecials, TheBestSpecialIsSentOnEvenTicksAfterAiming) {
  const std::vector<Foe> ogre{{"ogre", 1060}}, bandit{{"bandit", 1300}};
  const std::vector<std::string_view> wizards{"wizard", "fighter", "fighter"}, clerics{"cleric", "fighter", "fighter"};
  const std::vector<Row> rows = {
      {"artillery: the storm (165) beats the fireball (157)", wizards,
       {{"bandit", 1300, 120}, {"bandit", 1300, 160}, {"bandit", 1300}, {"bandit", 1300, 240}, {"bandit", 1300, 280}},
       DO(), special_word(5)},
      {"equal scores: the first; a sweep needs no aim", fighter,
       {{"bandit", 1100}, {"bandit", 900, 180}, {"bandit", 900, 220}}, DO(s.b().facing = -1), special_word(0)},
      {"an assassin nearly dead vanishes", thief, {{"bandit", 1050, 200, 1}}, DO(s.b().hp = 1), special_word(4)},
      {"a shepherd heals three hurt allies, unaimed", clerics, bandit,
       DO(for (std::size_t i = 0; i < 3; ++i) s.place(i, 1000 + 40 * static_cast<std::int32_t>(i)), s.a(i).hp = 5;
          s.b().facing = -1),
       special_word(0)},
      {"the least score, 30, is enough", thief, bandit, DO(s.b().arts.clear()), special_word(0)},
      {"a foe 35 aside in a narrow move's band is faced first", thief, {{"bandit", 1300}, {"bandit", 850, 235}},
       DO(s.b().arts.clear()), L},
      {"a cleave turns to the ogre first", fighter, ogre, DO(s.b().facing = -1), R},
      {"and is sent once it faces it", fighter, ogre, DO(), special_word(5)},
      {"none outside idle and walk", fighter, ogre, DO(s.b().state = S::dash), A},
      {"an unlearned one is passed over", fighter, ogre, DO(s.b().arts.clear()), A},
      {"so is one beyond the pools", fighter, ogre, DO(s.b().fp = 1), A},
  };
  const Tweak learned = DO(for (std::uint8_t m : kind_by_id(s.b().kind).special) s.b().arts.push_back(m);
                           s.b().skill = 4, s.b().fp = s.b().mana = 50, s.even());
  check(rows, learned);
  for (const Row& row : rows) {
    Scene s(row.classes, row.foes);
    learned(s), row.tweak(s), s.w.tick = 11;
    EXPECT_LT(bot_input(s.w, 0), button::special) << row.what << " on an odd tick";
  }
}

// The hurt ally (actor 1) stands at 1600 with a wolf (3) beside it; the
// bandit (2) is nearer the bot.
TEST(BotTargets, TheNearestOrTheFocusChoiceBeyond150) {
  struct Target {
    const char* what;
    std::string_view bot_class;
    std::vector<Foe> foes;
    std::optional<std::size_t> target;
    Tweak tweak = DO();
  };
  const std::vector<Foe> apart{{"bandit", 849}, {"wolf", 1650}};
  const std::vector<Target> rows = {
      {"no foe", "fighter", {}, std::nullopt},
      {"vanguard: a foe at 150 is kept", "fighter", {{"bandit", 850}, {"wolf", 1650}}, 2},
      {"vanguard: at 151 the one by the hurt ally", "fighter", apart, 3},
      {"but not by one at half", "fighter", apart, 2, DO(s.a(1).hp = 6, s.a(1).hp_max = 12)},
      {"shepherd likewise", "cleric", apart, 3},
      {"artillery keeps the nearest", "wizard", apart, 2},
      {"assassin: a shooter within 449", "thief", {{"bandit", 800}, {"archer", 1449}}, 3},
      {"a caster is one", "thief", {{"bandit", 800}, {"hedge_witch", 1449}}, 3},
      {"assassin: none that far", "thief", {{"bandit", 800}, {"archer", 1450}}, 2},
      {"ties: the lower id", "wizard", {{"bandit", 1200}, {"bandit", 800}}, 2},
      {"a foe lying down is passed over", "wizard", {{"bandit", 1050}, {"bandit", 1300}}, 3,
       DO(s.a(2).state = S::down)},
  };
  for (const Target& row : rows) {
    Scene s({row.bot_class, "fighter"}, row.foes);
    s.place(1, 1600), s.a(1).hp = 1;
    row.tweak(s);
    EXPECT_EQ(choose_target(BotView(s.w, s.b())), row.target) << row.what;
  }
}

TEST(BotGoals, StandOffStrikeInTheWindowOrWalkThere) {
  const std::vector<std::string_view> wizards{"wizard", "fighter"}, thieves{"thief", "fighter"};
  const Tweak partner = DO(s.place(1, 1399));
  check({
      {"strike on even ticks", fighter, {{"bandit", 1100, 220}}, DO(s.even()), A},
      {"nothing on odd ones", fighter, {{"bandit", 1100, 220}}, DO(), 0},
      {"turn first", fighter, {{"bandit", 1100}}, DO(s.b().facing = -1, s.even()), R},
      {"unless busy", fighter, {{"bandit", 1100}}, DO(s.b().facing = -1, s.b().state = S::dash, s.even()), A},
      {"115 is in the window", fighter, {{"bandit", 1115}}, DO(s.even()), A},
      {"116 is not", fighter, {{"bandit", 1116}}, DO(s.even()), R},
      {"too close: back to 75", fighter, {{"bandit", 1029}}, DO(s.even()), L},
      {"off the lane: into it, 75 off", fighter, {{"bandit", 1085, 230}}, DO(s.even()), D},
      {"at the same x: to its left", fighter, {{"bandit", 1000, 300}}, DO(), L | D},
      {"artillery with a partner by the foe keeps 330 off", wizards, {{"bandit", 1200}}, partner, L},
      {"a foe 60 aside is not near", wizards, {{"bandit", 1200}, {"bandit", 1149, 260}}, partner, L},
      {"59 aside it is: close in", wizards, {{"bandit", 1200}, {"bandit", 1149, 259}}, partner, R},
      {"an assassin with a partner goes behind", thieves, {{"bandit", 1000, 200, 1}},
       DO(s.place(0, 1080, 230), s.place(1, 1050)), L | U},
      {"alone it stays on its side", thieves, {{"bandit", 1000, 200, 1}}, DO(s.place(0, 1080, 230)), U},
  });
}

TEST(BotGoals, PickupsBarrelsTrapsLeversAndTheFarEnd) {
  check({
      {"food when hurt", fighter, {}, DO(s.b().hp -= 1, s.lay(PickupContent::food(4), 700)), L},
      {"no food at full health", fighter, {}, DO(s.lay(PickupContent::food(4), 700)), R},
      {"unless taken", fighter, {}, DO(s.lay(PickupContent::silver(4), 700), s.w.pickups[0].taken = 1), R},
      {"items never", fighter, {}, DO(s.lay(PickupContent::of_item(0), 700)), R},
      {"outside the view margin", fighter, {}, DO(s.lay(PickupContent::silver(4), 459)), R},
      {"inside it", fighter, {}, DO(s.lay(PickupContent::silver(4), 460)), L},
      {"inside both dead zones", fighter, {}, DO(s.lay(PickupContent::silver(4), 1010, 208)), 0},
      {"just outside them", fighter, {}, DO(s.lay(PickupContent::silver(4), 1011, 209)), R | D},
      {"70 from it", fighter, {}, DO(s.barrel(1080), s.place(0, 1000, 230)), U},
      {"at its x: to its left", fighter, {}, DO(s.barrel(1000, 260)), L | D},
      {"and break it", fighter, {}, DO(s.barrel(800), s.place(0, 880), s.b().facing = -1, s.even()), A},
      {"not a broken one", fighter, {}, DO(s.barrel(800), s.w.props[0].broken = 1), R},
      {"pickups before barrels", fighter, {}, DO(s.barrel(800), s.lay(PickupContent::silver(4), 1200)), R},
  });
  // The dark wood's first trap lies at 1700, 220, on the line to the far end.
  check({{"food by an unseen trap", fighter, {}, DO(s.b().hp -= 1, s.lay(PickupContent::food(4), 1600)), L},
         {"food by a seen trap: left alone, the way on moved 80 past the trap", fighter, {},
          DO(s.b().hp -= 1, s.lay(PickupContent::food(4), 1581, 359), s.see_trap()), R | U},
         {"a barrel by a seen trap", fighter, {}, DO(s.barrel(1600), s.see_trap()), R | U},
         {"a seen trap 119 off in x", fighter, {}, DO(s.place(0, 1819, 149), s.see_trap()), R | U},
         {"silver whose line passes 59 from a seen trap", fighter, {},
          DO(s.lay(PickupContent::silver(4), 1500, 161), s.place(0, 1700, 150), s.see_trap()), L | U}},
        DO(), "dark_wood", 1700);
  // The bandit camp's lever at 2800, 50 opens the barrier at 2950.
  check({{"use it on even ticks", fighter, {}, DO(s.place(0, 2750, 80), s.even()), button::use},
         {"nothing on odd ones", fighter, {}, DO(s.place(0, 2750, 80)), 0},
         {"pulled: on to the far end", fighter, {}, DO(s.w.levers_pulled[0] = 1), R},
         {"past the lever, its barrier ahead", fighter, {}, DO(s.place(0, 2900)), L | U},
         {"past the barrier: left alone", fighter, {}, DO(s.place(0, 2950)), R}},
        DO(), "bandit_camp", 2000);
}

TEST(BotGoals, TravelGoalTakesLeversThenTheExitThenUnseenDoors) {
  Scene crypt(fighter, {}, "barrow_crypt");
  EXPECT_EQ(travel_goal(crypt.w, 1000), (TravelGoal{{1550, 40}, true}));
  crypt.w.levers_pulled[0] = 1;
  EXPECT_EQ(travel_goal(crypt.w, 1000), (TravelGoal{{3050, 200}, true}));

  Scene wood(fighter, {}, "dark_wood");
  wood.w.door_states[0].found = 1;
  EXPECT_EQ(travel_goal(wood.w, 1000), (TravelGoal{{5200, 200}, false}));  // an exit beats any door

  Scene halls(fighter, {}, "test_halls");
  EXPECT_EQ(travel_goal(halls.w, 1000), (TravelGoal{{1200, 200}, true}));
  halls.w.levers_pulled[0] = 1;  // the second lever's barrier is open too
  EXPECT_EQ(travel_goal(halls.w, 1000).at, (FloorPoint{900, 180}));  // the nearer; the secret unfound
  halls.w.door_states[2].found = 1;
  EXPECT_EQ(travel_goal(halls.w, 1000).at, (FloorPoint{600, 180}));
  halls.w.stage_memory[stage("millbrook")] = StageState{};
  halls.w.stage_memory[stage("dark_wood")] = StageState{};
  EXPECT_EQ(travel_goal(halls.w, 1000).at, (FloorPoint{1500, 180}));  // the one stage not seen yet
}

}  // namespace
}  // namespace velmora
