// The bot's word from scenes set up by hand, one table per decision: guards
// against blows and shots, special scores, the focus bonus and the choice,
// targets, goals, pickups, barrels, traps and the travel goal.
#include "core/bot.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>
#include <vector>

#include "core/actor.h"
#include "core/bot_searches.h"
#include "core/bot_specials.h"
#include "core/game_data.h"

namespace velmora {
namespace {

// The built-in data plus, last so that every built-in id is unchanged: a blow
// of exactly 2d crushing that winds up for 20 frames (a guard against it
// costs 7 at guard_cost 100 and DR 0), and a hall with two doors and a
// secret passage.
class TestData : public ::testing::Environment {
 public:
  void SetUp() override {
    GameData d = builtin_data();
    MoveDef blow = d.moves[*move_id(d.moves, "whirlwind")];
    blow.name = "test_blow";
    blow.startup = 20;
    blow.forward = {10, 80};
    blow.depth = 30;
    blow.damage_base = DamageBase::dice;
    blow.damage_dice = 2;
    blow.damage_add = 0;
    blow.damage_type = DamageType::crushing;
    d.moves.push_back(blow);
    StageDef halls = d.stages[*stage_index(d.stages, "wolf_den")];
    halls.name = "test_halls";
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
constexpr Buttons L = button::left, R = button::right, U = button::up, D = button::down;
constexpr Buttons G = button::guard, A = button::attack;

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

// The party of the named classes on a stage, the bot (slot 0, actor 0) at x,
// z 200 facing right with the camera on it, the other players out of view at
// x 300, then the foes from actor id `players` on; no barrels or pickups, an
// odd tick, and neither FP nor mana unless the row says otherwise.
struct Scene {
  World w;

  Scene(std::vector<std::string_view> classes, const std::vector<Foe>& foes = {},
        std::string_view where = "first_road", std::int32_t x = 1000) {
    std::vector<CharacterSheet> party;
    for (std::string_view c : classes) {
      party.push_back(new_character(kind(c)));
      party.back().slot = static_cast<std::uint8_t>(party.size() - 1);
    }
    w = new_game(stage(where), 5, party);
    w.props.clear();
    w.pickups.clear();
    w.tick = 11;
    w.camera_x = Fx::from_int(x);
    for (std::size_t i = 0; i < w.actors.size(); ++i) place(i, i == 0 ? x : 300, 200);
    bot().fp = bot().mana = 0;
    bot().facing = 1;
    for (const Foe& f : foes) {
      const auto id = static_cast<std::uint16_t>(w.actors.size());
      w.actors.push_back(actor_from_kind(id, kind(f.kind), 1, 0, f.x, f.z, f.facing));
    }
  }

  Actor& bot() { return w.actors[0]; }
  Actor& at(std::size_t i) { return w.actors[i]; }
  void place(std::size_t i, std::int32_t x, std::int32_t z) {
    w.actors[i].x = Fx::from_int(x);
    w.actors[i].z = Fx::from_int(z);
  }
  void lay(PickupContent c, std::int32_t x, std::int32_t z = 200) {
    w.pickups.push_back(Pickup{c, Fx::from_int(x), Fx::from_int(z), 0, 0});
  }
  void barrel(std::int32_t x) { w.props.push_back(Prop{PropContent{}, Fx::from_int(x), Fx::from_int(200), 0, 0}); }
  void all_specials() {
    for (std::uint8_t m : kind_by_id(bot().kind).special) bot().arts.push_back(m);
    bot().skill = 4;
    bot().fp = bot().mana = 50;
  }
  void even() { w.tick = 10; }
  Buttons word(std::size_t slot = 0) const { return bot_input(w, slot); }
};

using Tweak = void (*)(Scene&);

// ---------------------------------------------------------------------------

TEST(BotFrame, TheSlotsLivePresentPlayerIsPlayedAndRestsWhenBlockingOrWinded) {
  Scene s({"fighter"});
  EXPECT_EQ(s.word(1), 0);  // nobody plays slot 1
  EXPECT_EQ(s.word(256), 0);
  s.bot().hp = 1;
  s.lay(PickupContent::food(4), 700);
  EXPECT_EQ(s.word(), L);
  s.bot().state = S::ko;
  EXPECT_EQ(s.word(), 0);
  // A player who left and came back with another class is the slot's actor.
  s.bot().state = S::idle;
  s.bot().gone = 1;
  EXPECT_EQ(s.word(), 0);
  s.w.actors.push_back(actor_from_sheet(1, new_character(kind("thief")), 0, 1000, 200));
  s.w.actors.back().hp = 1;
  EXPECT_EQ(s.word(), L);
  s.w.actors.back().winded = 1;
  EXPECT_EQ(s.word(), 0);
  s.w.actors.back().winded = 0;
  s.w.actors.back().state = S::block;
  EXPECT_EQ(s.word(), 0);
}

// The foe (actor 1) at 1060 winds up the test blow; the bot stands at 1000 on
// an even tick with DR 0. A row without a word expects the foe passed over:
// the word the bot would give if the foe stood idle.
TEST(BotGuard, AgainstABlowByGuardKindPriceAndReadiness) {
  struct Row {
    const char* what;
    std::string_view bot_class;
    Tweak tweak;
    std::optional<Buttons> word;
  };
  const std::vector<Row> rows = {
      {"shield facing the blow", "fighter", [](Scene&) {}, G},
      {"shield turned away turns first", "fighter", [](Scene& s) { s.bot().facing = -1; }, R},
      {"at the foe's x no turn", "fighter", [](Scene& s) { s.bot().facing = -1, s.place(1, 1000, 200); }, G},
      {"in its own attack: nothing", "fighter", [](Scene& s) { s.bot().state = S::attack; }, 0},
      {"the blow already active", "fighter", [](Scene& s) { s.at(1).state_ticks = 20; }, std::nullopt},
      {"just within reach", "fighter", [](Scene& s) { s.place(1, 1120, 200); }, G},
      {"beyond reach", "fighter", [](Scene& s) { s.place(1, 1121, 200); }, std::nullopt},
      {"beyond depth", "fighter", [](Scene& s) { s.place(1, 1060, 261); }, std::nullopt},
      {"the foe faces away", "fighter", [](Scene& s) { s.at(1).facing = 1; }, std::nullopt},
      {"ward paid from fp", "cleric", [](Scene& s) { s.bot().fp = 7; }, G},
      {"ward unpaid: walk away", "cleric", [](Scene& s) { s.bot().fp = 6; }, L},
      {"8 frames left: dash away", "cleric", [](Scene& s) { s.bot().fp = 6, s.at(1).state_ticks = 12; }, L | 128},
      {"ward cooling down", "cleric", [](Scene& s) { s.bot().fp = 9, s.bot().guard_cooldown = 5; }, std::nullopt},
      {"bubble paid with half, no turn", "wizard", [](Scene& s) { s.bot().mana = 4, s.bot().facing = -1; }, G},
      {"bubble unpaid", "wizard", [](Scene& s) { s.bot().mana = 3; }, L},
      {"dodge waits", "thief", [](Scene& s) { s.at(1).state_ticks = 9; }, 0},
      {"dodge 10 frames before", "thief", [](Scene& s) { s.at(1).state_ticks = 10; }, G},
      {"guard still held", "thief", [](Scene& s) { s.at(1).state_ticks = 10, s.bot().prev_buttons = G; }, std::nullopt},
  };
  for (const Row& row : rows) {
    Scene s({row.bot_class}, {{"bandit", 1060}});
    s.bot().dr = 0;
    s.bot().gear = {};
    s.at(1).state = S::attack;
    s.at(1).move = move("test_blow");
    s.even();
    row.tweak(s);
    Scene calm = s;
    calm.at(1).state = S::idle;
    EXPECT_EQ(s.word(), row.word.value_or(calm.word())) << row.what;
  }
}

// A shot of the enemies' side at x 900 flying right toward the bot at 1000.
TEST(BotGuard, AgainstAShotFlyingIn) {
  struct Row {
    const char* what;
    std::string_view bot_class;
    void (*tweak)(Actor&, Projectile&);
    bool guards;
  };
  const std::vector<Row> rows = {
      {"160 away", "fighter", [](Actor&, Projectile& p) { p.x = Fx::from_int(840); }, true},
      {"161 away", "fighter", [](Actor&, Projectile& p) { p.x = Fx::from_int(839); }, false},
      {"already past", "fighter", [](Actor&, Projectile& p) { p.x = Fx::from_int(1010); }, false},
      {"flying away", "fighter", [](Actor&, Projectile& p) { p.facing = -1; }, false},
      {"41 aside", "fighter", [](Actor&, Projectile& p) { p.z = Fx::from_int(241); }, false},
      {"the party's own", "fighter", [](Actor&, Projectile& p) { p.team = 0; }, false},
      {"staggered", "fighter", [](Actor& b, Projectile&) { b.state = S::stun; }, false},
      {"facing away: no turn", "fighter", [](Actor& b, Projectile&) { b.facing = -1; }, true},
      {"ward ready", "cleric", [](Actor& b, Projectile&) { b.fp = 2; }, true},
      {"ward short of fp", "cleric", [](Actor& b, Projectile&) { b.fp = 1; }, false},
      {"bubble short of mana", "wizard", [](Actor& b, Projectile&) { b.mana = 1; }, false},
      {"dodge ready", "thief", [](Actor&, Projectile&) {}, true},
      {"dodge winded", "thief", [](Actor& b, Projectile&) { b.winded = 1; }, false},
  };
  for (const Row& row : rows) {
    Scene s({row.bot_class});
    Projectile p;
    p.x = Fx::from_int(900);
    p.z = Fx::from_int(200);
    p.team = 1;
    p.facing = 1;
    row.tweak(s.bot(), p);
    s.w.projectiles.push_back(p);
    EXPECT_EQ(s.word() == G, row.guards) << row.what;
  }
}

// ---------------------------------------------------------------------------

// One row per rule of the score table, its condition met and (mostly) failed.
// The bot's partner (actor 1) stands out of view; foes follow from actor 2.
TEST(BotSpecials, EachRuleScoresItsSituation) {
  struct Row {
    std::string_view bot_class, special;
    std::vector<Foe> foes;
    Tweak tweak;
    std::optional<SpecialScore> score;
  };
  const std::vector<Foe> three{{"bandit", 1300, 160}, {"bandit", 1300}, {"bandit", 1300, 240}};
  const std::vector<Foe> five{{"bandit", 1300, 160}, {"bandit", 1300}, {"bandit", 1300, 240}, {"wolf", 1400},
                              {"wolf", 1500}};
  const Tweak none = [](Scene&) {};
  const Tweak half = [](Scene& s) { s.bot().hp = s.bot().hp_max / 2; };
  const std::vector<Row> rows = {
      {"cleric", "mend", {}, half, SpecialScore{65, C::support}},
      {"cleric", "mend", {{"bandit", 1100}, {"bandit", 900}}, half, std::nullopt},  // two near, no armor
      {"cleric", "raise_dead", {}, [](Scene& s) { s.at(1).state = S::ko; }, SpecialScore{100, C::support}},
      {"wizard", "mage_armor", three, [](Scene& s) { s.w.fighting = 1; }, SpecialScore{35, C::support}},
      {"fighter", "rally_cry", {}, [](Scene& s) { s.bot().hp = s.bot().hp_max * 6 / 10; },
       SpecialScore{40, C::support}},
      {"thief", "smoke_bomb", {{"bandit", 1100}}, [](Scene& s) { s.bot().hp = 1; }, SpecialScore{90, C::evade}},
      {"thief", "smoke_bomb", {{"bandit", 1150}}, [](Scene& s) { s.bot().hp = 1; }, std::nullopt},
      {"fighter", "challenge", {{"bandit", 1450}}, [](Scene& s) { s.place(1, 1400, 200), s.at(1).hp = 1; },
       SpecialScore{60, C::crowd}},
      {"fighter", "war_cry", three, none, SpecialScore{70, C::crowd}},
      {"fighter", "war_cry", {{"bandit", 1300}, {"bandit", 1300}, {"ogre", 1300}}, none, std::nullopt},
      {"wizard", "sleep_cloud", three, none, SpecialScore{75, C::crowd}},
      {"wizard", "lightning_storm", five, none, SpecialScore{110, C::crowd}},
      {"wizard", "lightning_storm", {{"bandit_chief", 1400}}, [](Scene& s) { s.at(2).hp = 1; },
       SpecialScore{70, C::crowd}},
      {"cleric", "turn_undead", {{"skeleton", 1300}, {"skeleton", 1400}}, none, SpecialScore{70, C::support}},
      {"cleric", "turn_undead", {{"skeleton", 1100}}, none, SpecialScore{55, C::support}},
      {"cleric", "turn_undead", {{"skeleton", 1300}}, none, std::nullopt},
      {"wizard", "frost_nova", {{"bandit", 1100}, {"bandit", 880}, {"bandit", 1171}}, none, SpecialScore{70, C::crowd}},
      {"wizard", "fireball", {{"archer", 1300}, {"bandit", 1380}}, none, SpecialScore{75, C::ranged}},
      {"thief", "knife_throw", {{"bandit", 1300}}, none, SpecialScore{30, C::ranged}},
      {"thief", "knife_throw", {{"bandit", 1471}}, none, std::nullopt},  // beyond range - 50
      {"thief", "fan_of_knives", {{"bandit", 1300}}, none, SpecialScore{40, C::ranged}},
      {"fighter", "whirlwind", {{"bandit", 1100}, {"bandit", 900}}, none, SpecialScore{60, C::crowd}},
      {"fighter", "shield_rush", {{"bandit", 1100}, {"bandit", 1200, 240}, {"bandit", 1201}}, none,
       SpecialScore{70, C::crowd}},
      {"thief", "tumble", {{"bandit", 1150}}, none, SpecialScore{40, C::evade}},
      {"thief", "blackjack", {{"bandit", 1050, 200, 1}}, none, SpecialScore{50, C::strike}},
      {"thief", "backstab", {{"bandit", 1050, 200, 1}}, none, SpecialScore{45, C::strike}},
      {"thief", "poison_blade", {{"ogre", 1050}}, none, SpecialScore{35, C::strike}},
      {"cleric", "holy_smite", {{"skeleton", 1050}}, none, SpecialScore{50, C::strike}},
      {"cleric", "holy_smite", {{"ogre", 1050}}, none, SpecialScore{30, C::strike}},
      {"fighter", "cleave", {{"ogre", 1050}}, none, SpecialScore{35, C::strike}},
      {"fighter", "cleave", {{"bandit", 1050}}, none, std::nullopt},
      {"fighter", "cleave", {{"bandit", 1050}},
       [](Scene& s) { s.at(2).state = S::attack, s.at(2).move = move("test_blow"), s.at(2).state_ticks = 19; },
       SpecialScore{35, C::strike}},
  };
  for (const Row& row : rows) {
    Scene s({row.bot_class, "fighter"}, row.foes);
    row.tweak(s);
    const BotView view(s.w, s.bot());
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
  struct Row {
    const char* what;
    std::string_view bot_class;
    std::vector<Foe> foes;
    Tweak tweak;
    Buttons word;
  };
  const Tweak none = [](Scene&) {};
  const std::vector<Foe> ogre_behind{{"ogre", 940}};
  const std::vector<Row> rows = {
      {"artillery: the storm (165) beats the fireball (157)", "wizard",
       {{"bandit", 1300, 120}, {"bandit", 1300, 160}, {"bandit", 1300}, {"bandit", 1300, 240}, {"bandit", 1300, 280}},
       none, special_word(5)},
      {"equal scores: the first of the list", "fighter", {{"bandit", 1100}, {"bandit", 900, 180}, {"bandit", 900, 220}},
       none, special_word(0)},
      {"an assassin nearly dead vanishes", "thief", {{"bandit", 1050, 200, 1}}, [](Scene& s) { s.bot().hp = 1; },
       special_word(4)},
      {"a shepherd heals three hurt allies", "cleric", {},
       [](Scene& s) {
         for (std::size_t i = 0; i < 3; ++i) s.place(i, 1000 + 40 * static_cast<std::int32_t>(i), 200);
         for (std::size_t i = 0; i < 3; ++i) s.at(i).hp = s.at(i).hp_max / 2;
       },
       special_word(0)},
      {"a cleave turns to the ogre first", "fighter", ogre_behind, none, L},
      {"and is sent once it faces it", "fighter", ogre_behind, [](Scene& s) { s.bot().facing = -1; }, special_word(5)},
      {"none outside idle and walk", "fighter", ogre_behind,
       [](Scene& s) { s.bot().facing = -1, s.bot().state = S::dash; }, A},
      {"an unlearned one is passed over", "fighter", ogre_behind,
       [](Scene& s) { s.bot().facing = -1, s.bot().arts.clear(); }, A},
      {"so is one beyond the pools", "fighter", ogre_behind, [](Scene& s) { s.bot().facing = -1, s.bot().fp = 1; }, A},
  };
  for (const Row& row : rows) {
    Scene s({row.bot_class, "fighter", "fighter"}, row.foes);
    s.all_specials();
    row.tweak(s);
    s.even();
    EXPECT_EQ(s.word(), row.word) << row.what;
    s.w.tick = 11;
    EXPECT_LT(s.word(), button::special) << row.what << " on an odd tick";
  }
}

// ---------------------------------------------------------------------------

// The hurt ally (actor 1) stands at 1600 with a wolf (3) beside it; the
// bandit (2) is nearer the bot.
TEST(BotTargets, TheNearestOrTheFocusChoiceBeyond150) {
  struct Row {
    const char* what;
    std::string_view bot_class;
    std::vector<Foe> foes;
    std::optional<std::size_t> target;
  };
  const std::vector<Row> rows = {
      {"no foe", "fighter", {}, std::nullopt},
      {"vanguard: a foe at 150 is kept", "fighter", {{"bandit", 850}, {"wolf", 1650}}, 2},
      {"vanguard: at 151 the one by the hurt ally", "fighter", {{"bandit", 849}, {"wolf", 1650}}, 3},
      {"distance counts z too", "fighter", {{"bandit", 910, 261}, {"wolf", 1650}}, 3},
      {"shepherd likewise", "cleric", {{"bandit", 849}, {"wolf", 1650}}, 3},
      {"artillery keeps the nearest", "wizard", {{"bandit", 849}, {"wolf", 1650}}, 2},
      {"assassin: a shooter within 449", "thief", {{"bandit", 800}, {"archer", 1449}}, 3},
      {"assassin: none that far", "thief", {{"bandit", 800}, {"archer", 1450}}, 2},
      {"ties: the lower id", "wizard", {{"bandit", 1200}, {"bandit", 800}}, 2},
  };
  for (const Row& row : rows) {
    Scene s({row.bot_class, "fighter"}, row.foes);
    s.place(1, 1600, 200);
    s.at(1).hp = 1;
    EXPECT_EQ(choose_target(BotView(s.w, s.bot())), row.target) << row.what;
  }
  Scene lying({"fighter"}, {{"bandit", 1050}, {"bandit", 1300}});
  lying.at(1).state = S::down;
  EXPECT_EQ(choose_target(BotView(lying.w, lying.bot())), 2u);
}

struct WordRow {
  const char* what;
  std::vector<std::string_view> classes;
  std::vector<Foe> foes;
  Tweak tweak;
  Buttons word;
};

void check_words(const std::vector<WordRow>& rows, std::string_view where = "first_road", std::int32_t x = 1000) {
  for (const WordRow& row : rows) {
    Scene s(row.classes, row.foes, where, x);
    row.tweak(s);
    EXPECT_EQ(s.word(), row.word) << row.what;
  }
}

const Tweak none = [](Scene&) {};
const Tweak even = [](Scene& s) { s.even(); };

TEST(BotGoals, StandOffStrikeInTheWindowOrWalkThere) {
  check_words({
      {"strike on even ticks", {"fighter"}, {{"bandit", 1100}}, even, A},
      {"turn first", {"fighter"}, {{"bandit", 1100}}, [](Scene& s) { s.bot().facing = -1, s.even(); }, R},
      {"115 is in the window", {"fighter"}, {{"bandit", 1115}}, even, A},
      {"116 is not", {"fighter"}, {{"bandit", 1116}}, even, R},
      {"too close: back to 75", {"fighter"}, {{"bandit", 1029}}, even, L},
      {"off the lane: into it", {"fighter"}, {{"bandit", 1080, 221}}, even, D},
      {"far: walk", {"fighter"}, {{"bandit", 1300, 150}}, none, R | U},
      {"artillery with a partner by the foe keeps 330 off", {"wizard", "fighter"}, {{"bandit", 1200}},
       [](Scene& s) { s.place(1, 1250, 200); }, L},
      {"a foe near: it closes in", {"wizard", "fighter"}, {{"bandit", 1200}, {"bandit", 1149, 259}},
       [](Scene& s) { s.place(1, 1250, 200); }, R},
      {"alone: it closes in", {"wizard", "fighter"}, {{"bandit", 1200}}, none, R},
      {"an assassin with a partner goes behind", {"thief", "fighter"}, {{"bandit", 1000, 200, 1}},
       [](Scene& s) { s.place(0, 1080, 230), s.place(1, 1050, 200); }, L | U},
      {"alone it stays on its side", {"thief", "fighter"}, {{"bandit", 1000, 200, 1}},
       [](Scene& s) { s.place(0, 1080, 230); }, U},
  });
}

TEST(BotGoals, PickupsBarrelsTrapsLeversAndTheFarEnd) {
  check_words({
      {"nothing around: the far end", {"fighter"}, {}, none, R},
      {"food when hurt", {"fighter"}, {}, [](Scene& s) { s.bot().hp -= 1, s.lay(PickupContent::food(4), 700); }, L},
      {"no food at full health", {"fighter"}, {}, [](Scene& s) { s.lay(PickupContent::food(4), 700); }, R},
      {"silver always", {"fighter"}, {}, [](Scene& s) { s.lay(PickupContent::silver(4), 700); }, L},
      {"items never", {"fighter"}, {}, [](Scene& s) { s.lay(PickupContent::of_item(0), 700); }, R},
      {"outside the view margin", {"fighter"}, {}, [](Scene& s) { s.lay(PickupContent::silver(4), 459); }, R},
      {"inside it", {"fighter"}, {}, [](Scene& s) { s.lay(PickupContent::silver(4), 460); }, L},
      {"inside both dead zones", {"fighter"}, {}, [](Scene& s) { s.lay(PickupContent::silver(4), 1010, 208); }, 0},
      {"just outside them", {"fighter"}, {}, [](Scene& s) { s.lay(PickupContent::silver(4), 1011, 209); }, R | D},
      {"a barrel: to its near side", {"fighter"}, {}, [](Scene& s) { s.barrel(800); }, L},
      {"and break it", {"fighter"}, {},
       [](Scene& s) {
         s.barrel(800);
         s.place(0, 880, 200);
         s.bot().facing = -1;
         s.even();
       },
       A},
      {"pickups before barrels", {"fighter"}, {},
       [](Scene& s) { s.barrel(800), s.lay(PickupContent::silver(4), 1200); }, R},
  });
  // The dark wood's first trap lies at 1700, 220, on the line to the far end.
  const Tweak seen = [](Scene& s) { s.w.trap_states[0].state = trap_seen; };
  check_words(
      {
          {"food by an unseen trap", {"fighter"}, {},
           [](Scene& s) { s.bot().hp -= 1, s.lay(PickupContent::food(4), 1600); }, L},
          {"food by a seen trap: left alone, the way on moved 80 past the trap", {"fighter"}, {},
           [](Scene& s) { s.bot().hp -= 1, s.lay(PickupContent::food(4), 1600), s.w.trap_states[0].state = trap_seen; },
           R | U},
          {"a seen trap on the way", {"fighter"}, {}, seen, R | U},
          },
      "dark_wood", 1700);
  // The bandit camp's lever at 2800, 50 opens the barrier at 2950.
  check_words(
      {
          {"to the lever", {"fighter"}, {}, none, R | U},
          {"use it on even ticks", {"fighter"}, {}, [](Scene& s) { s.place(0, 2750, 80), s.even(); }, button::use},
          {"nothing on odd ones", {"fighter"}, {}, [](Scene& s) { s.place(0, 2750, 80); }, 0},
          {"pulled: on to the far end", {"fighter"}, {}, [](Scene& s) { s.w.levers_pulled[0] = 1; }, R},
          {"a lever behind is left alone", {"fighter"}, {}, [](Scene& s) { s.place(0, 2950, 200); }, R},
      },
      "bandit_camp", 2000);
}

TEST(BotGoals, TravelGoalTakesLeversThenTheExitThenUnseenDoors) {
  Scene crypt({"fighter"}, {}, "barrow_crypt");
  EXPECT_EQ(travel_goal(crypt.w, 1000), (TravelGoal{{1550, 40}, true}));
  EXPECT_EQ(travel_goal(crypt.w, 1700), (TravelGoal{{3050, 200}, true}));  // past the barrier
  crypt.w.levers_pulled[0] = 1;
  EXPECT_EQ(travel_goal(crypt.w, 1000), (TravelGoal{{3050, 200}, true}));

  Scene wood({"fighter"}, {}, "dark_wood");
  wood.w.door_states[0].found = 1;
  EXPECT_EQ(travel_goal(wood.w, 1000), (TravelGoal{{5200, 200}, false}));  // an exit beats any door

  Scene halls({"fighter"}, {}, "test_halls");
  EXPECT_EQ(travel_goal(halls.w, 1000).at, (FloorPoint{900, 180}));  // the nearer; the secret unfound
  halls.w.door_states[2].found = 1;
  EXPECT_EQ(travel_goal(halls.w, 1000).at, (FloorPoint{600, 180}));
  halls.w.stage_memory[stage("millbrook")] = StageState{};
  halls.w.stage_memory[stage("dark_wood")] = StageState{};
  EXPECT_EQ(travel_goal(halls.w, 1000).at, (FloorPoint{1500, 180}));  // the one stage not seen yet
}

}  // namespace
}  // namespace velmora
