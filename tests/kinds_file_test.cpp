#include "core/kinds_file.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

constexpr std::string_view moves_text = "[move whirl]\n[move jab]\n[move leap]\n";
constexpr std::string_view items_text = "[item sword]\n[item shield]\n";

// Reads one kinds.txt text against three moves and two items; the sections
// stay alive for the name maps.
struct KindsRead {
  Faults faults;
  std::vector<Section> moves;
  std::vector<Section> items;
  std::vector<Section> kinds;
  std::vector<KindDef> records;
  explicit KindsRead(std::string_view text) {
    moves = parse_data_file("moves.txt", moves_text, faults);
    items = parse_data_file("items.txt", items_text, faults);
    kinds = parse_data_file("kinds.txt", text, faults);
    DataNames names;
    names.moves = section_names(moves, "move");
    names.items = section_names(items, "item");
    names.kinds = section_names(kinds, "kind");
    records = read_kinds_file(kinds, names, faults);
  }
};

// A kind with its required keys on lines 2 to 4 and `rest` from line 5.
KindsRead one_kind(std::string_view rest) {
  return KindsRead("[kind goblin]\nattributes = 9 12 8 10\nbody = 22 150\ngait = 0.75 1 170 180\n" +
                   std::string(rest));
}

TEST(KindsFile, DefaultsOfAPlainKind) {
  KindsRead r = one_kind("");
  ASSERT_TRUE(r.faults.empty()) << r.faults.front();
  const KindDef& k = r.records.at(0);
  EXPECT_EQ(k.name, "goblin");
  EXPECT_EQ(k.st, 9);
  EXPECT_EQ(k.ht, 10);
  EXPECT_EQ(k.body, (std::array<std::int32_t, 2>{22, 150}));
  EXPECT_EQ(k.skill, "");
  EXPECT_EQ(k.toughness, 1);
  EXPECT_EQ(k.think, 1);
  EXPECT_EQ(k.role, AiRole::brute);
  EXPECT_EQ(k.guard, GuardKind::shield);
  EXPECT_EQ(k.focus, FocusKind::plain);
  EXPECT_EQ(k.keep, (std::array<std::int32_t, 2>{350, 550}));
  EXPECT_EQ(k.stand, (StandSpec{300, 120}));
  EXPECT_EQ(k.guard_cost, 100);
  EXPECT_FALSE(k.light || k.air || k.dash);
  EXPECT_TRUE(k.special.empty() && k.gear.empty() && k.drops.empty());
}

TEST(KindsFile, GaitReadsFixedPointAndPercentages) {
  KindsRead decimal = one_kind("");
  EXPECT_EQ(decimal.records.at(0).accel, Fx::from_raw(192));
  EXPECT_EQ(decimal.records.at(0).brake, Fx::from_raw(256));
  EXPECT_EQ(decimal.records.at(0).jog, 170);
  EXPECT_EQ(decimal.records.at(0).across, 180);

  KindsRead ratio("[kind a]\nattributes = 9 9 9 9\nbody = 1 1\ngait = 3/4 1/3 100 90\n");
  ASSERT_TRUE(ratio.faults.empty());
  EXPECT_EQ(ratio.records.at(0).accel, Fx::from_raw(192));
  EXPECT_EQ(ratio.records.at(0).brake, Fx::from_raw(85));

  for (std::string_view bad : {"0 1 170 180", "0.75 1 170", "0.75 1 0 180", "0.75 1 170 -1", "0.001 1 170 180",
                               "1/0 1 170 180", "0.75 1 1.5 180", "fast 1 170 180"}) {
    KindsRead r("[kind a]\nattributes = 9 9 9 9\nbody = 1 1\ngait = " + std::string(bad) + "\n");
    EXPECT_EQ(r.faults, (Faults{"kinds.txt:4: 'gait' must be ACCEL BRAKE JOG ACROSS, all above zero"})) << bad;
  }
}

TEST(KindsFile, MoveAndItemReferences) {
  KindsRead r = one_kind("special = leap nosuch whirl leap\nlight = jab\nair = Leap\ndash = leap\n"
                         "gear = sword axe shield\ndrops = shield shield\n");
  const KindDef& k = r.records.at(0);
  EXPECT_EQ(k.special, (std::vector<std::uint8_t>{2, 0, 2}));
  EXPECT_EQ(k.light, 1);
  EXPECT_FALSE(k.air);
  EXPECT_EQ(k.dash, 2);
  EXPECT_EQ(k.gear, (std::vector<std::uint16_t>{0, 1}));
  EXPECT_EQ(k.drops, (std::vector<std::uint16_t>{1, 1}));
  EXPECT_EQ(r.faults, (Faults{"kinds.txt:5: 'special' must be moves from moves.txt ('nosuch' is not)",
                              "kinds.txt:7: 'air' must be a move from moves.txt ('Leap' is not)",
                              "kinds.txt:9: 'gear' must be items from items.txt ('axe' is not)"}));
}

TEST(KindsFile, LimitsApplySilently) {
  KindsRead r = one_kind("jitter = 5000\nflee_hp = -10\nblock = 1001\nstand = 2000 70000\nthink = 70000\n"
                         "guard_cost = -3\nguard_hold = 70000\nguard_rest = -1\n");
  ASSERT_TRUE(r.faults.empty()) << r.faults.front();
  const KindDef& k = r.records.at(0);
  EXPECT_EQ(k.jitter, 1000);
  EXPECT_EQ(k.flee_hp, 0);
  EXPECT_EQ(k.block, 1000);
  EXPECT_EQ(k.stand, (StandSpec{1000, 65535}));
  EXPECT_EQ(k.think, 65535);
  EXPECT_EQ(k.guard_cost, 0);
  EXPECT_EQ(k.guard_hold, 65535);
  EXPECT_EQ(k.guard_rest, 0);
  EXPECT_EQ(one_kind("think = -4\nstand = -1 -1\n").records.at(0).think, 0);
  EXPECT_EQ(one_kind("think = -4\nstand = -1 -1\n").records.at(0).stand, (StandSpec{0, 0}));
}

TEST(KindsFile, WordsAreExact) {
  KindsRead good = one_kind("role = caster\nguard = dodge\nfocus = artillery\n");
  EXPECT_EQ(good.records.at(0).role, AiRole::caster);
  EXPECT_EQ(good.records.at(0).guard, GuardKind::dodge);
  EXPECT_EQ(good.records.at(0).focus, FocusKind::artillery);
  KindsRead bad = one_kind("role = Brute\nfocus = plain vanguard\nguard = none\n");
  EXPECT_EQ(bad.records.at(0).role, AiRole::brute);
  EXPECT_EQ(bad.faults, (Faults{"kinds.txt:5: 'role' must be brute|skirmisher|ranged|caster|guard",
                                "kinds.txt:7: 'guard' must be shield|ward|bubble|dodge",
                                "kinds.txt:6: 'focus' must be plain|vanguard|assassin|shepherd|artillery"}));
}

TEST(KindsFile, FaultsComeInReadingOrder) {
  // Written in key-table order; read in a different one.
  KindsRead r("[kind orc]\nthink = x\ncooldown = 1\nrole = x\nkeep = 1\nguard_cost = x\nxp = x\n"
              "skill = Axe\nmagery = x\nplayer = x\n");
  EXPECT_EQ(r.faults, (Faults{"kinds.txt:1: [kind orc] needs 'attributes'",
                              "kinds.txt:9: 'magery' must be yes or no",
                              "kinds.txt:1: [kind orc] needs 'body'",
                              "kinds.txt:1: [kind orc] needs 'gait'",
                              "kinds.txt:3: 'cooldown' must be 2 whole numbers",
                              "kinds.txt:4: 'role' must be brute|skirmisher|ranged|caster|guard",
                              "kinds.txt:5: 'keep' must be 2 whole numbers",
                              "kinds.txt:2: 'think' must be 1 whole number",
                              "kinds.txt:10: 'player' must be yes or no",
                              "kinds.txt:7: 'xp' must be 1 whole number",
                              "kinds.txt:6: 'guard_cost' must be 1 whole number"}));
  const KindDef& k = r.records.at(0);
  EXPECT_EQ(k.skill, "Axe");
  EXPECT_EQ(k.keep, (std::array<std::int32_t, 2>{350, 550}));  // a bad value keeps the default
  EXPECT_EQ(k.guard_cost, 100);
}

TEST(KindsFile, EnumWords) {
  for (AiRole v : {AiRole::brute, AiRole::skirmisher, AiRole::ranged, AiRole::caster, AiRole::guard}) {
    EXPECT_EQ(parse_ai_role(ai_role_word(v)), v);
  }
  for (GuardKind v : {GuardKind::shield, GuardKind::ward, GuardKind::bubble, GuardKind::dodge}) {
    EXPECT_EQ(parse_guard_kind(guard_kind_word(v)), v);
  }
  for (FocusKind v : {FocusKind::plain, FocusKind::vanguard, FocusKind::assassin, FocusKind::shepherd,
                      FocusKind::artillery}) {
    EXPECT_EQ(parse_focus_kind(focus_kind_word(v)), v);
  }
}

}  // namespace
}  // namespace velmora
