#include "core/stage_file.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace velmora {
namespace {

// The names that stage.txt refers to, from small texts of the other files.
struct Refs {
  std::vector<Section> kinds;
  std::vector<Section> items;
  std::vector<Section> loot;
  DataNames names;

  explicit Refs(std::string_view kinds_text = "[kind grunt]\n[kind archer]\n") {
    Faults faults;
    kinds = parse_data_file("kinds.txt", kinds_text, faults);
    items = parse_data_file("items.txt", "[item potion]\n[item sword]\n", faults);
    loot = parse_data_file("loot.txt", "[loot junk]\n[loot hoard]\n", faults);
    names.kinds = section_names(kinds, "kind");
    names.items = section_names(items, "item");
    names.loot = section_names(loot, "loot");
  }
};

struct StageRead {
  StageFile file;
  Faults faults;
};

StageRead read_stages(std::string_view text, const Refs& refs = Refs()) {
  StageRead read;
  const auto sections = parse_data_file("stage.txt", text, read.faults);
  read.file = read_stage_file(sections, refs.names, read.faults);
  return read;
}

// The required keys of a stage, so that a test can add only what it checks.
constexpr std::string_view base = "name = Road\nlength = 4000\ndepth = 300\nview_w = 1200\nexit_x = 3900\n";

std::string stage(std::string_view name, std::string_view extra) {
  return "[stage " + std::string(name) + "]\n" + std::string(base) + std::string(extra);
}

TEST(StageFileTest, ReadsEveryFieldOfAStage) {
  const std::string text =
      "[stage yard]\n"
      "name = Castle Yard\n"
      "length = 5000\n"
      "depth = 320\n"
      "view_w = 1280\n"
      "exit_x = 0\n"
      "town = yes\n"
      "interior = no\n"
      "look = dusk\n"
      "shop = potion sword potion\n"
      "shop_at = 100 50\n"
      "inn_at = 300 -20\n"
      "door = 100 150 cellar 40 Old Cellar   Door\n"
      "secret = 700 10 yard 60\n"
      "door = 900 20 yard 80 Back\n"
      "lever = 400 100 1000\n"
      "barrier = 1000\n"
      "barrier = -40\n"
      "trap = 500 60 2 -1\n"
      "chest = 10 20 locked hoard 3\n"
      "chest = 30 40 open junk\n"
      "barrel = 10 20 food 5\n"
      "barrel = 11 21 silver 7\n"
      + stage("cellar", "");
  const StageRead read = read_stages(text);
  ASSERT_EQ(read.faults, Faults{});
  ASSERT_EQ(read.file.stages.size(), 2u);
  const StageDef& s = read.file.stages[0];
  EXPECT_EQ(s.name, "yard");
  EXPECT_EQ(s.title, "Castle Yard");
  EXPECT_EQ(s.length, 5000);
  EXPECT_EQ(s.depth, 320);
  EXPECT_EQ(s.view_w, 1280);
  EXPECT_EQ(s.exit_x, 0);
  EXPECT_TRUE(s.town);
  EXPECT_FALSE(s.interior);
  EXPECT_EQ(s.look, "dusk");
  EXPECT_EQ(s.shop, (std::vector<std::uint16_t>{0, 1, 0}));
  EXPECT_EQ(s.shop_at, (Point{100, 50}));
  EXPECT_EQ(s.inn_at, (Point{300, -20}));
  EXPECT_FALSE(s.trainer_at.has_value());
  // Doors in line order first, then the secret passages; areas may lie ahead.
  EXPECT_EQ(s.doors, (std::vector<DoorDef>{{"Old Cellar Door", 1, 100, 150, 40, false},
                                           {"Back", 0, 900, 20, 80, false},
                                           {"", 0, 700, 10, 60, true}}));
  EXPECT_EQ(s.levers, (std::vector<LeverDef>{{400, 100, 1000}}));
  EXPECT_EQ(s.barriers, (std::vector<std::int32_t>{1000, -40}));
  EXPECT_EQ(s.traps, (std::vector<TrapDef>{{500, 60, 2, -1}}));
  EXPECT_EQ(s.chests, (std::vector<ChestDef>{{1, 10, 20, 3, true}, {0, 30, 40, 0, false}}));
  EXPECT_EQ(s.barrels, (std::vector<BarrelDef>{{10, 20, BarrelContents::food, 5},
                                               {11, 21, BarrelContents::silver, 7}}));
  EXPECT_TRUE(s.gates.empty());
  EXPECT_EQ(read.file.stages[1].name, "cellar");
}

TEST(StageFileTest, MissingKeysLeaveEmptyFieldsAndNoDefaults) {
  const StageRead read = read_stages("[stage bare]\nlook =\n");
  EXPECT_EQ(read.faults, (Faults{"stage.txt:1: [stage bare] needs 'name'",
                                 "stage.txt:1: [stage bare] needs 'length'",
                                 "stage.txt:1: [stage bare] needs 'depth'",
                                 "stage.txt:1: [stage bare] needs 'view_w'",
                                 "stage.txt:1: [stage bare] needs 'exit_x'"}));
  ASSERT_EQ(read.file.stages.size(), 1u);
  const StageDef& s = read.file.stages[0];
  EXPECT_EQ(s.name, "bare");
  EXPECT_EQ(s.title, "");
  EXPECT_EQ(s.length, 0);
  EXPECT_FALSE(s.town);
  EXPECT_FALSE(s.shop_at.has_value());
  EXPECT_TRUE(s.shop.empty());
  EXPECT_EQ(read.file.scaling, PartyScaling{});
}

TEST(StageFileTest, FaultsFollowTheReadingOrderNotTheLineOrder) {
  const std::string text =
      "[stage mix]\n"           // 1
      "wave = grunt left 10\n"  // 2
      "barrel = 1 2 gold 3\n"   // 3
      "chest = 1 2 shut junk\n" // 4
      "trap = 1 2 3\n"          // 5
      "barrier = 10 20\n"       // 6
      "lever = 1 2 x\n"         // 7
      "secret = 1 2 mix 4 x\n"  // 8
      "door = 1 2 mix 4\n"      // 9
      "look = a\n"              // 10
      "interior = maybe\n"      // 11
      "exit_x = far\n"          // 12
      "view_w = 1 2\n"          // 13
      "depth = +30\n"           // 14
      "length = 2147483648\n"   // 15
      "shop = potion cloak\n"   // 16
      "town = Yes\n"            // 17
      "inn_at = 1\n"            // 18
      "trainer_at = 1 y\n"      // 19
      "shop_at = 1 2 3\n"       // 20
      "colour = red\n"          // 21
      "look = b\n";             // 22
  const StageRead read = read_stages(text);
  EXPECT_EQ(read.faults,
            (Faults{"stage.txt:21: unknown key 'colour' in [stage mix]",
                    "stage.txt:22: 'look' is set twice",
                    "stage.txt:1: [stage mix] needs 'name'",
                    "stage.txt:20: 'shop_at' must be 2 whole numbers",
                    "stage.txt:19: 'trainer_at' must be 2 whole numbers",
                    "stage.txt:18: 'inn_at' must be 2 whole numbers",
                    "stage.txt:17: 'town' must be yes or no",
                    "stage.txt:16: 'shop' must be items from items.txt ('cloak' is not)",
                    "stage.txt:15: 'length' must be 1 whole number",
                    "stage.txt:13: 'view_w' must be 1 whole number",
                    "stage.txt:12: 'exit_x' must be 1 whole number",
                    "stage.txt:11: 'interior' must be yes or no",
                    "stage.txt:9: 'door' must be X Z AREA ENTRY_X TITLE, with an area from stage.txt",
                    "stage.txt:8: 'secret' must be X Z AREA ENTRY_X, with an area from stage.txt",
                    "stage.txt:7: 'lever' must be X Z BARRIER_X",
                    "stage.txt:6: 'barrier' must be X",
                    "stage.txt:5: 'trap' must be X Z DICE ADD",
                    "stage.txt:4: 'chest' must be X Z open|locked TABLE [LOCK], with a table from loot.txt",
                    "stage.txt:3: 'barrel' must be X Z food|silver AMOUNT",
                    "stage.txt:2: 'wave' must be after a gate"}));
  ASSERT_EQ(read.file.stages.size(), 1u);
  const StageDef& s = read.file.stages[0];
  // Bad points read as (0, 0); the first of a doubled key is used.
  EXPECT_EQ(s.shop_at, (Point{0, 0}));
  EXPECT_EQ(s.depth, 30);
  EXPECT_EQ(s.look, "a");
  EXPECT_EQ(s.shop, (std::vector<std::uint16_t>{0}));
  EXPECT_TRUE(s.doors.empty() && s.levers.empty() && s.barriers.empty() && s.traps.empty() &&
              s.chests.empty() && s.barrels.empty() && s.gates.empty());
}

TEST(StageFileTest, DoorsAndSecretsNeedTheirWordCountAndAKnownArea) {
  const std::string text = stage("hall",
                                 "door = 1 2 nowhere 4 Gate\n"  // 7
                                 "door = 1 2 hall x Gate\n"     // 8
                                 "door = 1 2 Hall 4 Gate\n"     // 9
                                 "secret = 1 2 hall 4\n"        // 10
                                 "secret = 1 2 hall\n");        // 11
  const StageRead read = read_stages(text);
  const std::string door = "' must be X Z AREA ENTRY_X TITLE, with an area from stage.txt";
  EXPECT_EQ(read.faults, (Faults{"stage.txt:7: 'door" + door, "stage.txt:8: 'door" + door,
                                 "stage.txt:9: 'door" + door,
                                 "stage.txt:11: 'secret' must be X Z AREA ENTRY_X, with an area from stage.txt"}));
  ASSERT_EQ(read.file.stages.size(), 1u);
  EXPECT_EQ(read.file.stages[0].doors, (std::vector<DoorDef>{{"", 0, 1, 2, 4, true}}));
}

TEST(StageFileTest, ChestsBarrelsAndSmallFormsAcceptOnlyTheirShapes) {
  const std::string text = stage("hall",
                                 "chest = 10 20 locked\n"          // 7
                                 "chest = 10 20 open hoard 3 4\n"  // 8
                                 "chest = 10 20 open vault\n"      // 9
                                 "chest = 10 20 Open hoard\n"      // 10
                                 "chest = 10 20 locked hoard -\n"  // 11
                                 "chest = 10 20 open hoard 7\n"    // 12
                                 "lever = 1 2 3 4\n"               // 13
                                 "trap = 1 2 3 4 5\n"              // 14
                                 "barrier =\n"                     // 15
                                 "barrel = 1 2 food\n"             // 16
                                 "barrel = 1 2 food 1.5\n"         // 17
                                 "gate = 500\n");                  // 18
  const StageRead read = read_stages(text);
  const std::string chest = "' must be X Z open|locked TABLE [LOCK], with a table from loot.txt";
  EXPECT_EQ(read.faults,
            (Faults{"stage.txt:13: 'lever' must be X Z BARRIER_X", "stage.txt:15: 'barrier' must be X",
                    "stage.txt:14: 'trap' must be X Z DICE ADD", "stage.txt:7: 'chest" + chest,
                    "stage.txt:8: 'chest" + chest, "stage.txt:9: 'chest" + chest,
                    "stage.txt:10: 'chest" + chest, "stage.txt:11: 'chest" + chest,
                    "stage.txt:16: 'barrel' must be X Z food|silver AMOUNT",
                    "stage.txt:17: 'barrel' must be X Z food|silver AMOUNT",
                    "stage.txt:18: 'gate' must be TRIGGER_X CENTER_X"}));
  ASSERT_EQ(read.file.stages.size(), 1u);
  // An open chest may still carry a lock number.
  EXPECT_EQ(read.file.stages[0].chests, (std::vector<ChestDef>{{1, 10, 20, 7, false}}));
}

TEST(StageFileTest, WavesJoinTheLastGateAboveThem) {
  const std::string text = stage("road",
                                 "wave = grunt left 1, nobody right 2\n"      // 7
                                 "gate = 900 1500\n"                          // 8
                                 "wave = grunt left 100,  archer right -5 \n" // 9
                                 "gate = 2000 2600\n"                         // 10
                                 "wave = grunt left 100, grunt rihgt 120\n"   // 11
                                 "gate = 3000\n"                              // 12
                                 "wave = archer right 7,\n"                   // 13
                                 "wave = Grunt left 1,,grunt left\n");        // 14
  const StageRead read = read_stages(text);
  const std::string wave = "' must be KIND left|right Z, ... with kinds from kinds.txt (cannot read '";
  EXPECT_EQ(read.faults, (Faults{"stage.txt:7: 'wave" + wave + "nobody right 2')",
                                 "stage.txt:7: 'wave' must be after a gate",
                                 "stage.txt:11: 'wave" + wave + "grunt rihgt 120')",
                                 "stage.txt:12: 'gate' must be TRIGGER_X CENTER_X",
                                 "stage.txt:13: 'wave" + wave + "')",
                                 "stage.txt:14: 'wave" + wave + "Grunt left 1')",
                                 "stage.txt:14: 'wave" + wave + "')",
                                 "stage.txt:14: 'wave" + wave + "grunt left')"}));
  ASSERT_EQ(read.file.stages.size(), 1u);
  const auto& gates = read.file.stages[0].gates;
  ASSERT_EQ(gates.size(), 2u);
  EXPECT_EQ(gates[0].trigger_x, 900);
  EXPECT_EQ(gates[0].center_x, 1500);
  EXPECT_EQ(gates[0].waves, (std::vector<WaveDef>{{{{-1, 100, 0}, {1, -5, 1}}}}));
  // The faulty third gate adds nothing, so its waves land on the second.
  EXPECT_EQ(gates[1].waves,
            (std::vector<WaveDef>{{{{-1, 100, 0}}}, {{{1, 7, 1}}}, {}}));
}

TEST(StageFileTest, AKindBeyondTheOneByteIdsCannotSpawn) {
  std::string kinds;
  for (int i = 0; i < 257; ++i) kinds += "[kind k" + std::to_string(i) + "]\n";
  const Refs refs(kinds);
  const StageRead read = read_stages(stage("road", "gate = 1 2\nwave = k255 left 1, k256 left 2\n"), refs);
  EXPECT_EQ(read.faults, (Faults{"stage.txt:8: 'wave' must be KIND left|right Z, ... with kinds from kinds.txt "
                                 "(cannot read 'k256 left 2')"}));
  ASSERT_EQ(read.file.stages.size(), 1u);
  EXPECT_EQ(read.file.stages[0].gates[0].waves,
            (std::vector<WaveDef>{{{{-1, 1, 255}}}}));
}

TEST(StageFileTest, TheLastScalingSectionWinsWhole) {
  const StageRead read = read_stages(
      "[scaling party]\nminions = 100 150 200 250\nelite_hp = 100 120 140 160\n"
      "[scaling again]\nboss_hp = 100 110 120 130\nboss = 1\nelite_hp = 1 2 3\n" + stage("road", ""));
  EXPECT_EQ(read.faults, (Faults{"stage.txt:6: unknown key 'boss' in [scaling again]",
                                 "stage.txt:7: 'elite_hp' must be 4 whole numbers"}));
  const PartyScaling want{{100, 100, 100, 100}, {100, 100, 100, 100}, {100, 110, 120, 130}};
  EXPECT_EQ(read.file.scaling, want);
  EXPECT_EQ(read.file.stages.size(), 1u);
}

TEST(StageFileTest, OtherSectionKindsAreSkippedUnread) {
  const StageRead read = read_stages("[scaling party]\n[level one]\nbogus = 1\n" + stage("road", "") +
                                     "[Stage two]\n");
  EXPECT_EQ(read.faults, (Faults{"stage.txt:2: unknown section [level] (this file holds [stage ...])",
                                 "stage.txt:10: unknown section [Stage] (this file holds [stage ...])"}));
  ASSERT_EQ(read.file.stages.size(), 1u);
  EXPECT_EQ(read.file.stages[0].name, "road");

  // A file of scaling only gives no stage; the loader reports that.
  EXPECT_TRUE(read_stages("[scaling party]\n").file.stages.empty());
}

}  // namespace
}  // namespace velmora
