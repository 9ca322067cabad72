#include "core/data/kinds_file.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

using Pair = std::array<std::int32_t, 2>;

// Reads one kinds.txt text against the moves whirl, jab, leap and the items sword, shield.
struct KindsRead {
  Faults faults;
  std::vector<KindDef> records;
  explicit KindsRead(std::string_view text) {
    DataNames names;
    names.moves = NameList({"whirl", "jab", "leap"});
    names.items = NameList({"sword", "shield"});
    records = read_kinds_file(parse_data_file("kinds.txt", text, faults), names, faults);
  }
};

// A kind with its required keys on lines 2 to 4 and `rest` from line 5.
KindsRead one_kind(std::string_view rest) {
  return KindsRead("[kind goblin]\nattributes = 9 12 8 10\nbody = 22 150\ngait = 0.75 1 170 180\n" + std::string(rest));
}

// Read while the program is still starting up, before main.
const Faults start_up_faults = one_kind("").faults;

TEST(KindsFile, RequiredKeysAndDefaults) {
  const KindsRead r = one_kind("");
  ASSERT_EQ(r.faults, Faults{});
  EXPECT_EQ(start_up_faults, Faults{});  // the key table is ready before main
  const KindDef& k = r.records.at(0);
  EXPECT_EQ((std::vector<int>{k.st, k.dx, k.iq, k.ht, k.body[0], k.body[1], k.accel.raw, k.brake.raw, k.jog, k.across}),
            (std::vector<int>{9, 12, 8, 10, 22, 150, 192, 256, 170, 180}));
  EXPECT_EQ((std::vector<int>{k.toughness, k.think, k.keep[0], k.keep[1], k.stand.chance, k.stand.ticks, k.guard_cost}),
            (std::vector<int>{1, 1, 350, 550, 300, 120, 100}));
  EXPECT_EQ(k.skill, "");
  EXPECT_EQ(k.role, AiRole::brute);
  EXPECT_EQ(k.guard, GuardKind::shield);
}

TEST(KindsFile, GaitReadsFixedPointAndWholeNumbersAboveZero) {
  const KindsRead ratio("[kind a]\nattributes = 9 9 9 9\nbody = 1 1\ngait = 3/4 1/3 100 90\n");
  ASSERT_EQ(ratio.faults, Faults{});
  EXPECT_EQ(ratio.records.at(0).accel, Fx::from_raw(192));
  EXPECT_EQ(ratio.records.at(0).brake, Fx::from_raw(85));
  for (const char* bad : {"0 1 170 180", "0.75 1 170", "0.75 1 0 180", "0.75 1 170 -1", "0.001 1 170 180",
                          "1/0 1 170 180", "0.75 1 1.5 180", "fast 1 170 180"}) {
    const KindsRead r("[kind a]\nattributes = 9 9 9 9\nbody = 1 1\ngait = " + std::string(bad) + "\n");
    EXPECT_EQ(r.faults, (Faults{"kinds.txt:4: 'gait' must be ACCEL BRAKE JOG ACROSS, all above zero"})) << bad;
  }
}

TEST(KindsFile, MoveAndItemReferences) {
  const KindsRead r = one_kind("special = leap nosuch whirl leap\nlight = jab\nair = Leap\ndash = leap\n"
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

TEST(KindsFile, LimitsApplySilentlyAndWordsMap) {
  const KindsRead r = one_kind("jitter = 5000\nflee_hp = -10\nblock = 1001\nstand = 2000 70000\nthink = 70000\n"
                               "guard_cost = -3\nguard_hold = 70000\nguard_rest = -1\nrole = caster\nguard = dodge\n"
                               "focus = artillery\n");
  ASSERT_EQ(r.faults, Faults{});
  const KindDef& k = r.records.at(0);
  EXPECT_EQ((std::vector<int>{k.jitter, k.flee_hp, k.block, k.think, k.guard_cost, k.guard_hold, k.guard_rest}),
            (std::vector<int>{1000, 0, 1000, 65535, 0, 65535, 0}));
  EXPECT_EQ(k.stand, (StandSpec{1000, 65535}));
  EXPECT_EQ(k.role, AiRole::caster);
  EXPECT_EQ(k.guard, GuardKind::dodge);
  EXPECT_EQ(k.focus, FocusKind::artillery);
  const KindDef low = one_kind("think = -4\nstand = -1 -1\nflee_hp = 101\n").records.at(0);
  EXPECT_EQ(low.think, 0);
  EXPECT_EQ(low.stand, (StandSpec{0, 0}));
  EXPECT_EQ(low.flee_hp, 100);
}

TEST(KindsFile, FaultsComeInReadingOrder) {
  // Written in key-table order; read in a different one. Words are exact and case-sensitive.
  const KindsRead r("[kind orc]\nthink = x\ncooldown = 1\nrole = Brute\nkeep = 1\nguard_cost = x\nxp = x\n"  // 1-7
                    "skill = Axe\nmagery = x\nplayer = x\nfocus = plain vanguard\nguard = none\n");     // 8-12
  EXPECT_EQ(r.faults, (Faults{"kinds.txt:1: [kind orc] needs 'attributes'", "kinds.txt:9: 'magery' must be yes or no",
                              "kinds.txt:1: [kind orc] needs 'body'", "kinds.txt:1: [kind orc] needs 'gait'",
                              "kinds.txt:3: 'cooldown' must be 2 whole numbers",
                              "kinds.txt:4: 'role' must be brute|skirmisher|ranged|caster|guard",
                              "kinds.txt:5: 'keep' must be 2 whole numbers",
                              "kinds.txt:12: 'guard' must be shield|ward|bubble|dodge",
                              "kinds.txt:11: 'focus' must be plain|vanguard|assassin|shepherd|artillery",
                              "kinds.txt:2: 'think' must be 1 whole number", "kinds.txt:10: 'player' must be yes or no",
                              "kinds.txt:7: 'xp' must be 1 whole number",
                              "kinds.txt:6: 'guard_cost' must be 1 whole number"}));
  const KindDef& k = r.records.at(0);
  EXPECT_EQ(k.skill, "Axe");
  EXPECT_EQ(k.role, AiRole::brute);
  EXPECT_EQ(k.keep, (Pair{350, 550}));  // a bad value keeps the default
  EXPECT_EQ(k.guard_cost, 100);
}

}  // namespace
}  // namespace velmora
