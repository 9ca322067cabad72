// The bot's word from scenes set up by hand: guards against blows and shots,
// special scores and the focus bonus, the choice among specials, targets,
// goals, pickups, barrels and the travel goal.
#include "core/bot.h"

#include <gtest/gtest.h>

#include <functional>
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
    blow.armor_divisor = 1;
    d.moves.push_back(blow);
    StageDef halls = d.stages[*stage_index(d.stages, "wolf_den")];
    halls.name = "test_halls";
    halls.gates.clear();
    const auto road = *stage_index(d.stages, "first_road");
    const auto wood = *stage_index(d.stages, "dark_wood");
    const auto town = *stage_index(d.stages, "millbrook");
    halls.doors = {DoorDef{"Road", road, 1500, 180, 300, false}, DoorDef{"Wood", wood, 900, 180, 300, false},
                   DoorDef{"", town, 600, 180, 300, true}};
    d.stages.push_back(halls);
    ASSERT_TRUE(install_game_data(std::move(d)).ok());
  }
};

const auto* const test_data = ::testing::AddGlobalTestEnvironment(new TestData);

using S = ActorState;

std::uint8_t kind(std::string_view name) { return *kind_id(game_data().kinds, name); }
std::uint8_t move(std::string_view name) { return *move_id(game_data().moves, name); }
std::size_t stage(std::string_view name) { return *stage_index(game_data().stages, name); }

constexpr Buttons special_word(int position) { return static_cast<Buttons>(512 + (position + 1) * 8192); }

// A scene: the party of the named classes on a stage, the bot (slot 0) at
// x 1000, z 200 facing right with the camera on it, the other players out of
// view at x 300, no barrels or pickups, an odd tick (no special, no strike)
// and neither FP nor mana (nothing affordable) unless a row says otherwise.
struct Scene {
  World w;

  explicit Scene(std::vector<std::string_view> classes, std::string_view where = "first_road", std::int32_t x = 1000) {
    std::vector<CharacterSheet> party;
    for (std::size_t i = 0; i < classes.size(); ++i) {
      party.push_back(new_character(kind(classes[i])));
      party.back().slot = static_cast<std::uint8_t>(i);
    }
    w = new_game(stage(where), 5, party);
    w.props.clear();
    w.pickups.clear();
    w.tick = 11;
    w.camera_x = Fx::from_int(x);
    for (std::size_t i = 0; i < w.actors.size(); ++i) place(i, i == 0 ? x : 300, 200);
    bot().fp = bot().mana = 0;
    bot().facing = 1;
  }

  Actor& bot() { return w.actors[0]; }
  Actor& at(std::size_t i) { return w.actors[i]; }

  void place(std::size_t i, std::int32_t x, std::int32_t z) {
    w.actors[i].x = Fx::from_int(x);
    w.actors[i].z = Fx::from_int(z);
  }

  std::size_t foe(std::string_view name, std::int32_t x, std::int32_t z = 200, std::int8_t facing = -1) {
    const auto id = static_cast<std::uint16_t>(w.actors.size());
    w.actors.push_back(actor_from_kind(id, kind(name), 1, 0, x, z, facing));
    return id;
  }

  // Every special of the class learned and affordable.
  void all_specials() {
    for (std::uint8_t m : kind_by_id(bot().kind).special) bot().arts.push_back(m);
    bot().skill = 4;
    bot().fp = bot().mana = 50;
  }

  void even() { w.tick = 10; }
  Buttons word(std::size_t slot = 0) const { return bot_input(w, slot); }
};

// ---------------------------------------------------------------------------
// The bot's actor

TEST(BotFrame, OnlyALivePresentPlayerOfTheSlotIsPlayed) {
  Scene s({"fighter"});
  EXPECT_EQ(s.word(1), 0);  // nobody plays slot 1
  EXPECT_EQ(s.word(300), 0);
  s.bot().hp = 1;
  s.w.pickups.push_back(Pickup{PickupContent::food(4), Fx::from_int(700), Fx::from_int(200), 0, 0});
  EXPECT_EQ(s.word(), button::left);  // hurt: to the food
  s.bot().state = S::ko;
  EXPECT_EQ(s.word(), 0);

  // A player who left and came back with another class is the slot's actor.
  s.bot().state = S::idle;
  s.bot().gone = 1;
  EXPECT_EQ(s.word(), 0);
  CharacterSheet thief = new_character(kind("thief"));
  s.w.actors.push_back(actor_from_sheet(1, thief, 0, 1000, 200));
  s.w.actors.back().hp = 1;
  EXPECT_EQ(s.word(), button::left);
}

TEST(BotFrame, ABlockingOrWindedBotRests) {
  Scene s({"fighter"});
  s.foe("bandit", 1300);
  EXPECT_EQ(s.word(), button::right);
  s.bot().winded = 1;
  EXPECT_EQ(s.word(), 0);
  s.bot().winded = 0;
  s.bot().state = S::block;
  EXPECT_EQ(s.word(), 0);
}

// ---------------------------------------------------------------------------
// Guards

constexpr std::optional<Buttons> passed_over = std::nullopt;  // as if the foe did not strike

struct BlowRow {
  const char* what;
  std::string_view bot_class;
  std::function<void(Scene&, Actor& bot, Actor& foe)> setup;
  std::optional<Buttons> word;
};

TEST(BotGuard, AgainstABlowByGuardKindPriceAndReadiness) {
  const std::vector<BlowRow> rows = {
      {"shield facing the blow", "fighter", [](Scene&, Actor&, Actor&) {}, button::guard},
      {"shield turned away turns first", "fighter", [](Scene&, Actor& b, Actor&) { b.facing = -1; }, button::right},
      {"at the foe's x no turn is needed", "fighter",
       [](Scene& s, Actor& b, Actor&) {
         b.facing = -1;
         s.place(1, 1000, 200);
       },
       button::guard},
      {"staggered guards at once", "fighter",
       [](Scene&, Actor& b, Actor&) {
         b.facing = -1;
         b.state = S::stun;
       },
       button::guard},
      {"in an attack of its own: nothing", "fighter", [](Scene&, Actor& b, Actor&) { b.state = S::attack; }, 0},
      {"the blow already active", "fighter", [](Scene&, Actor&, Actor& f) { f.state_ticks = 20; }, passed_over},
      {"just within reach", "fighter", [](Scene& s, Actor&, Actor&) { s.place(1, 1120, 200); }, button::guard},
      {"beyond reach", "fighter", [](Scene& s, Actor&, Actor&) { s.place(1, 1121, 200); }, passed_over},
      {"beyond depth", "fighter", [](Scene& s, Actor&, Actor&) { s.place(1, 1060, 261); }, passed_over},
      {"the foe faces away", "fighter", [](Scene&, Actor&, Actor& f) { f.facing = 1; }, passed_over},
      {"ward paid from fp", "cleric", [](Scene&, Actor& b, Actor&) { b.fp = 7; }, button::guard},
      {"ward unpaid: walk away", "cleric", [](Scene&, Actor& b, Actor&) { b.fp = 6; }, button::left},
      {"ward unpaid, 8 frames left: dash away", "cleric",
       [](Scene&, Actor& b, Actor& f) {
         b.fp = 6;
         f.state_ticks = 12;
       },
       button::left | button::dash},
      {"ward unpaid and winded: no dash", "cleric",
       [](Scene&, Actor& b, Actor& f) {
         b.fp = 6;
         b.winded = 1;
         f.state_ticks = 12;
       },
       button::left},
      {"ward cooling down", "cleric",
       [](Scene&, Actor& b, Actor&) {
         b.fp = 9;
         b.guard_cooldown = 5;
       },
       passed_over},
      {"bubble paid with half the price, facing away", "wizard",
       [](Scene&, Actor& b, Actor&) {
         b.mana = 4;
         b.facing = -1;
       },
       button::guard},
      {"bubble unpaid", "wizard", [](Scene&, Actor& b, Actor&) { b.mana = 3; }, button::left},
      {"dodge waits for the blow", "thief", [](Scene&, Actor&, Actor&) {}, 0},
      {"dodge 11 frames before: still waiting", "thief", [](Scene&, Actor&, Actor& f) { f.state_ticks = 9; }, 0},
      {"dodge 10 frames before", "thief", [](Scene&, Actor&, Actor& f) { f.state_ticks = 10; }, button::guard},
      {"dodge with guard still held", "thief",
       [](Scene&, Actor& b, Actor& f) {
         f.state_ticks = 10;
         b.prev_buttons = button::guard;
       },
       passed_over},
      {"dodge out of stamina", "thief",
       [](Scene&, Actor& b, Actor& f) {
         f.state_ticks = 10;
         b.sta = 0;
       },
       passed_over},
  };
  for (const BlowRow& row : rows) {
    Scene s({row.bot_class});
    s.bot().dr = 0;
    s.bot().gear = {};
    const std::size_t f = s.foe("bandit", 1060);
    s.at(f).state = S::attack;
    s.at(f).move = move("test_blow");
    s.at(f).state_ticks = 0;
    s.even();
    row.setup(s, s.bot(), s.at(f));
    Buttons expected = 0;
    if (row.word) {
      expected = *row.word;
    } else {
      Scene calm = s;
      calm.at(f).state = S::idle;
      expected = calm.word();
    }
    EXPECT_EQ(s.word(), expected) << row.what;
  }
}

struct ShotRow {
  const char* what;
  std::string_view bot_class;
  std::function<void(Actor& bot, Projectile& p)> setup;
  bool guards;
};

TEST(BotGuard, AgainstAShotFlyingIn) {
  const std::vector<ShotRow> rows = {
      {"shield, 100 away", "fighter", [](Actor&, Projectile&) {}, true},
      {"160 away", "fighter", [](Actor&, Projectile& p) { p.x = Fx::from_int(840); }, true},
      {"161 away", "fighter", [](Actor&, Projectile& p) { p.x = Fx::from_int(839); }, false},
      {"already past", "fighter", [](Actor&, Projectile& p) { p.x = Fx::from_int(1010); }, false},
      {"flying the other way", "fighter", [](Actor&, Projectile& p) { p.facing = -1; }, false},
      {"40 aside", "fighter", [](Actor&, Projectile& p) { p.z = Fx::from_int(240); }, true},
      {"41 aside", "fighter", [](Actor&, Projectile& p) { p.z = Fx::from_int(241); }, false},
      {"the party's own", "fighter", [](Actor&, Projectile& p) { p.team = 0; }, false},
      {"no guard from a stagger", "fighter", [](Actor& b, Projectile&) { b.state = S::stun; }, false},
      {"facing away, no turn", "fighter", [](Actor& b, Projectile&) { b.facing = -1; }, true},
      {"ward ready", "cleric", [](Actor& b, Projectile&) { b.fp = 2; }, true},
      {"ward short of fp", "cleric", [](Actor& b, Projectile&) { b.fp = 1; }, false},
      {"bubble ready", "wizard", [](Actor& b, Projectile&) { b.mana = 2; }, true},
      {"bubble short of mana", "wizard", [](Actor& b, Projectile&) { b.mana = 1; }, false},
      {"dodge ready", "thief", [](Actor&, Projectile&) {}, true},
      {"dodge winded", "thief", [](Actor& b, Projectile&) { b.winded = 1; }, false},
  };
  for (const ShotRow& row : rows) {
    Scene s({row.bot_class});
    Projectile p;
    p.x = Fx::from_int(900);
    p.z = Fx::from_int(200);
    p.team = 1;
    p.facing = 1;
    p.owner = 0;
    row.setup(s.bot(), p);
    s.w.projectiles.push_back(p);
    EXPECT_EQ(s.word() == button::guard, row.guards) << row.what;
  }
}

// ---------------------------------------------------------------------------
// Special scores

struct ScoreRow {
  std::string_view bot_class;
  std::string_view special;
  std::function<void(Scene&)> setup;
  std::optional<SpecialScore> score;
};

using C = SpecialCategory;

void three_bandits(Scene& s) {
  for (int z : {160, 200, 240}) s.foe("bandit", 1300, z);
}

TEST(BotSpecials, EachRuleScoresItsSituation) {
  const auto hurt = [](Actor& a, int tenths) { a.hp = a.hp_max * tenths / 10; };
  const std::vector<ScoreRow> rows = {
      {"cleric", "mend", [&](Scene& s) { hurt(s.bot(), 5); }, SpecialScore{65, C::support}},
      {"cleric", "mend",
       [&](Scene& s) {
         hurt(s.bot(), 5);
         s.foe("bandit", 1100);
         s.foe("bandit", 900);
       },
       std::nullopt},
      {"cleric", "raise_dead", [](Scene& s) { s.at(1).state = S::ko; }, SpecialScore{100, C::support}},
      {"wizard", "mage_armor",
       [](Scene& s) {
         three_bandits(s);
         s.w.fighting = 1;
       },
       SpecialScore{35, C::support}},
      {"wizard", "mage_armor",
       [](Scene& s) {
         three_bandits(s);
         s.w.fighting = 0;
       },
       std::nullopt},
      {"fighter", "rally_cry", [&](Scene& s) { hurt(s.bot(), 6); }, SpecialScore{40, C::support}},
      {"fighter", "rally_cry",
       [&](Scene& s) {
         hurt(s.bot(), 6);
         s.bot().temp_hp = 3;
       },
       std::nullopt},
      {"fighter", "rally_cry",
       [](Scene& s) {
         three_bandits(s);
         s.foe("wolf", 1400);
       },
       SpecialScore{40, C::support}},
      {"thief", "smoke_bomb",
       [&](Scene& s) {
         hurt(s.bot(), 2);
         s.foe("bandit", 1100);
       },
       SpecialScore{90, C::evade}},
      {"fighter", "challenge",
       [](Scene& s) {
         s.place(1, 1400, 200);
         s.at(1).hp = 1;
         s.foe("bandit", 1450);
       },
       SpecialScore{60, C::crowd}},
      {"fighter", "war_cry", three_bandits, SpecialScore{70, C::crowd}},
      {"fighter", "war_cry",
       [](Scene& s) {
         s.foe("bandit", 1300);
         s.foe("bandit", 1300);
         s.foe("ogre", 1300);
       },
       std::nullopt},
      {"wizard", "sleep_cloud", three_bandits, SpecialScore{75, C::crowd}},
      {"wizard", "lightning_storm",
       [](Scene& s) {
         three_bandits(s);
         s.foe("bandit", 1400);
         s.foe("bandit", 1500);
       },
       SpecialScore{110, C::crowd}},
      {"wizard", "lightning_storm",
       [](Scene& s) { s.at(s.foe("bandit_chief", 1400)).hp = 1; }, SpecialScore{70, C::crowd}},
      {"cleric", "turn_undead",
       [](Scene& s) {
         s.foe("skeleton", 1300);
         s.foe("skeleton", 1400);
       },
       SpecialScore{70, C::support}},
      {"cleric", "turn_undead", [](Scene& s) { s.foe("skeleton", 1100); }, SpecialScore{55, C::support}},
      {"cleric", "turn_undead", [](Scene& s) { s.foe("skeleton", 1300); }, std::nullopt},
      {"wizard", "frost_nova",
       [](Scene& s) {
         s.foe("bandit", 1100);
         s.foe("bandit", 880);
         s.foe("bandit", 1171);  // beyond the radius
       },
       SpecialScore{70, C::crowd}},
      {"wizard", "fireball", [](Scene& s) { s.foe("archer", 1300); }, SpecialScore{60, C::ranged}},
      {"thief", "knife_throw", [](Scene& s) { s.foe("bandit", 1300); }, SpecialScore{30, C::ranged}},
      {"thief", "knife_throw",
       [](Scene& s) {
         s.foe("bandit", 1300);
         s.foe("bandit", 900);
       },
       std::nullopt},
      {"thief", "fan_of_knives", [](Scene& s) { s.foe("bandit", 1300); }, SpecialScore{40, C::ranged}},
      {"fighter", "whirlwind",
       [](Scene& s) {
         s.foe("bandit", 1100);
         s.foe("bandit", 900);
       },
       SpecialScore{60, C::crowd}},
      {"fighter", "shield_rush",
       [](Scene& s) {
         s.foe("bandit", 1100);
         s.foe("bandit", 1200, 240);
         s.foe("bandit", 1201);  // beyond the lunge
       },
       SpecialScore{70, C::crowd}},
      {"thief", "tumble", [](Scene& s) { s.foe("bandit", 1150); }, SpecialScore{40, C::evade}},
      {"thief", "tumble", [](Scene& s) { s.foe("bandit", 1150, 200, 1); }, std::nullopt},
      {"thief", "blackjack", [](Scene& s) { s.foe("bandit", 1050, 200, 1); }, SpecialScore{50, C::strike}},
      {"thief", "blackjack", [](Scene& s) { s.foe("bandit", 1050); }, std::nullopt},
      {"thief", "backstab", [](Scene& s) { s.foe("bandit", 1050, 200, 1); }, SpecialScore{45, C::strike}},
      {"thief", "poison_blade", [](Scene& s) { s.foe("ogre", 1050); }, SpecialScore{35, C::strike}},
      {"thief", "poison_blade", [](Scene& s) { s.foe("bandit", 1050); }, std::nullopt},
      {"cleric", "holy_smite", [](Scene& s) { s.foe("skeleton", 1050); }, SpecialScore{50, C::strike}},
      {"cleric", "holy_smite", [](Scene& s) { s.foe("ogre", 1050); }, SpecialScore{30, C::strike}},
      {"cleric", "holy_smite", [](Scene& s) { s.foe("bandit", 1050); }, std::nullopt},
      {"fighter", "cleave", [](Scene& s) { s.foe("ogre", 1050); }, SpecialScore{35, C::strike}},
      {"fighter", "cleave", [](Scene& s) { s.foe("bandit", 1050); }, std::nullopt},
      {"fighter", "cleave",
       [](Scene& s) {
         Actor& b = s.at(s.foe("bandit", 1050));
         b.state = S::attack;
         b.move = move("test_blow");
         b.state_ticks = 19;
       },
       SpecialScore{35, C::strike}},
      {"fighter", "cleave", [](Scene& s) { s.foe("ogre", 1111); }, std::nullopt},  // out of reach
  };
  for (const ScoreRow& row : rows) {
    Scene s({row.bot_class, "fighter"});
    row.setup(s);
    const BotView view(s.w, s.bot());
    EXPECT_EQ(score_special(view, special_counts(view), move_def(move(row.special))), row.score)
        << row.bot_class << " " << row.special << " scene " << (&row - rows.data());
  }
}

TEST(BotSpecials, TheFocusFavoursItsCategories) {
  struct Row {
    FocusKind focus;
    SpecialScore score;
    std::int64_t after;
  };
  for (const Row& row : std::vector<Row>{
           {FocusKind::plain, {60, C::crowd}, 60},
           {FocusKind::vanguard, {60, C::crowd}, 90},
           {FocusKind::vanguard, {35, C::strike}, 35},
           {FocusKind::assassin, {90, C::evade}, 135},
           {FocusKind::assassin, {35, C::strike}, 52},
           {FocusKind::assassin, {30, C::ranged}, 30},
           {FocusKind::shepherd, {105, C::support}, 157},
           {FocusKind::artillery, {30, C::ranged}, 45},
           {FocusKind::artillery, {110, C::crowd}, 165},
           {FocusKind::artillery, {40, C::evade}, 40},
       }) {
    EXPECT_EQ(with_focus(row.focus, row.score), row.after) << static_cast<int>(row.focus);
  }
}

struct ChoiceRow {
  const char* what;
  std::string_view bot_class;
  std::function<void(Scene&)> setup;
  Buttons word;
};

TEST(BotSpecials, TheBestSpecialIsSentOnEvenTicksAfterAiming) {
  const std::vector<ChoiceRow> rows = {
      {"the storm beats the fireball for an artillery bot", "wizard",
       [](Scene& s) {
         for (int z : {120, 160, 200, 240, 280}) s.foe("bandit", 1300, z);
       },
       special_word(5)},
      {"the first of equal scores: whirlwind, war cry and shield rush at 105", "fighter",
       [](Scene& s) {
         s.foe("bandit", 1100);
         s.foe("bandit", 900, 180);
         s.foe("bandit", 900, 220);
       },
       special_word(0)},
      {"an assassin vanishes when nearly dead", "thief",
       [](Scene& s) {
         s.bot().hp = 1;
         s.foe("bandit", 1050, 200, 1);
       },
       special_word(4)},
      {"a shepherd heals three hurt allies", "cleric",
       [](Scene& s) {
         for (std::size_t i = 0; i < 3; ++i) {
           s.place(i, 1000 + 40 * static_cast<std::int32_t>(i), 200);
           s.at(i).hp = s.at(i).hp_max / 2;
         }
       },
       special_word(0)},
      {"a cleave turns to the ogre behind first", "fighter", [](Scene& s) { s.foe("ogre", 940); }, button::left},
      {"and strikes once it faces it", "fighter",
       [](Scene& s) {
         s.foe("ogre", 940);
         s.bot().facing = -1;
       },
       special_word(5)},
      {"no special outside idle and walk", "fighter",
       [](Scene& s) {
         s.foe("ogre", 940);
         s.bot().facing = -1;
         s.bot().state = S::dash;
       },
       button::attack},
      {"an unlearned special is passed over", "fighter",
       [](Scene& s) {
         s.foe("ogre", 940);
         s.bot().facing = -1;
         s.bot().arts.clear();
       },
       button::attack},
      {"an unaffordable one too", "fighter",
       [](Scene& s) {
         s.foe("ogre", 940);
         s.bot().facing = -1;
         s.bot().fp = 1;
       },
       button::attack},
  };
  for (const ChoiceRow& row : rows) {
    Scene s({row.bot_class, "fighter", "fighter"});
    s.all_specials();
    row.setup(s);
    s.even();
    EXPECT_EQ(s.word(), row.word) << row.what;
    s.w.tick = 11;
    EXPECT_LT(s.word(), button::special) << row.what << " on an odd tick";
  }
}

// ---------------------------------------------------------------------------
// Targets and goals

struct TargetRow {
  const char* what;
  std::string_view bot_class;
  std::function<void(Scene&)> setup;
  std::optional<std::size_t> target;
};

TEST(BotTargets, TheNearestOrTheFocusChoiceBeyond150) {
  // Actor 2 is a hurt ally at x 1600 with a wolf (4) beside it; bandit 3 is
  // nearer the bot.
  const auto ally_in_trouble = [](Scene& s, std::int32_t bandit_x) {
    s.place(1, 1600, 200);
    s.at(1).hp = 1;
    s.foe("bandit", bandit_x);
    s.foe("wolf", 1650);
  };
  const std::vector<TargetRow> rows = {
      {"no foe", "fighter", [](Scene&) {}, std::nullopt},
      {"vanguard: a foe at 150 is kept", "fighter", [&](Scene& s) { ally_in_trouble(s, 850); }, 2},
      {"vanguard: at 151 the one by the hurt ally", "fighter", [&](Scene& s) { ally_in_trouble(s, 849); }, 3},
      {"shepherd likewise", "cleric", [&](Scene& s) { ally_in_trouble(s, 849); }, 3},
      {"artillery keeps the nearest", "wizard", [&](Scene& s) { ally_in_trouble(s, 849); }, 2},
      {"distance counts z too", "fighter", [&](Scene& s) { ally_in_trouble(s, 910); s.place(2, 910, 261); }, 3},
      {"assassin: the shooter within 449", "thief",
       [](Scene& s) {
         s.foe("bandit", 800);
         s.foe("archer", 1449);
       },
       3},
      {"assassin: no shooter that far", "thief",
       [](Scene& s) {
         s.foe("bandit", 800);
         s.foe("archer", 1450);
       },
       2},
      {"lying foes are no targets", "fighter",
       [](Scene& s) {
         s.at(s.foe("bandit", 1050)).state = S::down;
         s.foe("bandit", 1300);
       },
       3},
      {"ties go to the lower id", "fighter",
       [](Scene& s) {
         s.foe("bandit", 1200);
         s.foe("bandit", 800);
       },
       2},
  };
  for (const TargetRow& row : rows) {
    Scene s({row.bot_class, "fighter"});
    row.setup(s);
    EXPECT_EQ(choose_target(BotView(s.w, s.bot())), row.target) << row.what;
  }
}

struct WordRow {
  const char* what;
  std::vector<std::string_view> classes;
  std::function<void(Scene&)> setup;
  Buttons word;
};

void check_words(const std::vector<WordRow>& rows, std::string_view where = "first_road", std::int32_t x = 1000) {
  for (const WordRow& row : rows) {
    Scene s(row.classes, where, x);
    row.setup(s);
    EXPECT_EQ(s.word(), row.word) << row.what;
  }
}

TEST(BotGoals, StandOffStrikeInTheWindowOrWalkThere) {
  const Buttons right = button::right, left = button::left, up = button::up, down = button::down;
  check_words({
      {"strike on even ticks", {"fighter"}, [](Scene& s) { s.foe("bandit", 1100); s.even(); }, button::attack},
      {"nothing on odd ones", {"fighter"}, [](Scene& s) { s.foe("bandit", 1100); }, 0},
      {"turn first", {"fighter"}, [](Scene& s) { s.foe("bandit", 1100); s.bot().facing = -1; s.even(); }, right},
      {"115 is in the window", {"fighter"}, [](Scene& s) { s.foe("bandit", 1115); s.even(); }, button::attack},
      {"116 is not", {"fighter"}, [](Scene& s) { s.foe("bandit", 1116); s.even(); }, right},
      {"too close: step back to 75", {"fighter"}, [](Scene& s) { s.foe("bandit", 1029); s.even(); }, left},
      {"off the lane: walk into it", {"fighter"}, [](Scene& s) { s.foe("bandit", 1080, 221); }, down},
      {"far: walk", {"fighter"}, [](Scene& s) { s.foe("bandit", 1300, 150); }, right | up},
      {"artillery with a partner keeps 330 away", {"wizard", "fighter"},
       [](Scene& s) {
         s.foe("bandit", 1200);
         s.place(1, 1250, 200);
       },
       left},
      {"a foe near: close in", {"wizard", "fighter"},
       [](Scene& s) {
         s.foe("bandit", 1200);
         s.foe("bandit", 1149, 259);
         s.place(1, 1250, 200);
       },
       right},
      {"alone: close in", {"wizard", "fighter"}, [](Scene& s) { s.foe("bandit", 1200); }, right},
      {"assassin with a partner goes behind", {"thief", "fighter"},
       [](Scene& s) {
         s.place(0, 1080, 230);
         s.foe("bandit", 1000, 200, 1);
         s.place(1, 1050, 200);
       },
       left | up},
      {"assassin alone stays on its side", {"thief", "fighter"},
       [](Scene& s) {
         s.place(0, 1080, 230);
         s.foe("bandit", 1000, 200, 1);
       },
       up},
  });
}

TEST(BotGoals, PickupsBarrelsLeversDoorsAndTheFarEnd) {
  const Buttons right = button::right, left = button::left;
  const auto lay = [](Scene& s, PickupContent c, std::int32_t x, std::int32_t z = 200) {
    s.w.pickups.push_back(Pickup{c, Fx::from_int(x), Fx::from_int(z), 0, 0});
  };
  const auto barrel = [](Scene& s, std::int32_t x) {
    s.w.props.push_back(Prop{PropContent{}, Fx::from_int(x), Fx::from_int(200), 0, 0});
  };
  check_words({
      {"nothing around: the far end", {"fighter"}, [](Scene&) {}, right},
      {"food when hurt", {"fighter"}, [&](Scene& s) { s.bot().hp -= 1; lay(s, PickupContent::food(4), 700); }, left},
      {"no food at full health", {"fighter"}, [&](Scene& s) { lay(s, PickupContent::food(4), 700); }, right},
      {"silver always", {"fighter"}, [&](Scene& s) { lay(s, PickupContent::silver(4), 700); }, left},
      {"items never", {"fighter"}, [&](Scene& s) { lay(s, PickupContent::of_item(0), 700); }, right},
      {"a taken one is gone", {"fighter"},
       [&](Scene& s) {
         lay(s, PickupContent::silver(4), 700);
         s.w.pickups.back().taken = 1;
       },
       right},
      {"out of the view margin", {"fighter"}, [&](Scene& s) { lay(s, PickupContent::silver(4), 459); }, right},
      {"within it", {"fighter"}, [&](Scene& s) { lay(s, PickupContent::silver(4), 460); }, left},
      {"inside both dead zones", {"fighter"}, [&](Scene& s) { lay(s, PickupContent::silver(4), 1010, 208); }, 0},
      {"just outside them", {"fighter"},
       [&](Scene& s) { lay(s, PickupContent::silver(4), 1011, 209); }, right | button::down},
      {"a barrel: to its near side", {"fighter"}, [&](Scene& s) { barrel(s, 800); }, left},
      {"and break it", {"fighter"},
       [&](Scene& s) {
         barrel(s, 800);
         s.place(0, 880, 200);
         s.bot().facing = -1;
         s.even();
       },
       button::attack},
      {"pickups before barrels", {"fighter"},
       [&](Scene& s) {
         barrel(s, 800);
         lay(s, PickupContent::silver(4), 1200);
       },
       right},
  });
  // Seen traps keep the bot off pickups near them and move its path aside.
  check_words(
      {
          {"food by an unseen trap", {"fighter"},
           [&](Scene& s) {
             s.bot().hp -= 1;
             lay(s, PickupContent::food(4), 1600);
           },
           left},
          {"food by a seen trap", {"fighter"},
           [&](Scene& s) {
             s.bot().hp -= 1;
             s.w.trap_states[0].state = trap_seen;
             lay(s, PickupContent::food(4), 1600);
           },
           right | button::up},
          {"a seen trap on the way: the goal line moves 80 past it", {"fighter"},
           [](Scene& s) { s.w.trap_states[0].state = trap_seen; }, right | button::up},
          {"a sprung one does not", {"fighter"}, [](Scene& s) { s.w.trap_states[0].state = trap_sprung; }, right},
      },
      "dark_wood", 1700);
  // The bandit camp's lever at 2800, 50 opens the barrier at 2950.
  check_words(
      {
          {"to the lever", {"fighter"}, [](Scene&) {}, right | button::up},
          {"use it on even ticks", {"fighter"},
           [](Scene& s) {
             s.place(0, 2750, 80);
             s.even();
           },
           button::use},
          {"nothing on odd ones", {"fighter"}, [](Scene& s) { s.place(0, 2750, 80); }, 0},
          {"pulled: on to the far end", {"fighter"}, [](Scene& s) { s.w.levers_pulled[0] = 1; }, right},
          {"a lever behind is left alone", {"fighter"}, [](Scene& s) { s.place(0, 2950, 200); }, right},
      },
      "bandit_camp", 2000);
}

TEST(BotGoals, TravelGoalPrefersLeversThenTheExitThenNewDoors) {
  Scene crypt({"fighter"}, "barrow_crypt", 1000);
  EXPECT_EQ(travel_goal(crypt.w, 1000), (TravelGoal{{1550, 40}, true}));
  EXPECT_EQ(travel_goal(crypt.w, 1700), (TravelGoal{{3050, 200}, true}));  // past the barrier
  crypt.w.levers_pulled[0] = 1;
  EXPECT_EQ(travel_goal(crypt.w, 1000), (TravelGoal{{3050, 200}, true}));

  Scene wood({"fighter"}, "dark_wood", 1000);
  wood.w.door_states[0].found = 1;
  EXPECT_EQ(travel_goal(wood.w, 1000), (TravelGoal{{5200, 200}, false}));  // an exit beats any door

  Scene halls({"fighter"}, "test_halls", 1000);
  EXPECT_EQ(travel_goal(halls.w, 1000).at, (FloorPoint{900, 180}));  // the nearer end; the secret unfound
  halls.w.door_states[2].found = 1;
  EXPECT_EQ(travel_goal(halls.w, 1000).at, (FloorPoint{600, 180}));
  halls.w.stage_memory[stage("millbrook")] = StageState{};
  halls.w.stage_memory[stage("dark_wood")] = StageState{};
  EXPECT_EQ(travel_goal(halls.w, 1000).at, (FloorPoint{1500, 180}));  // the one stage not seen yet
}

}  // namespace
}  // namespace velmora
