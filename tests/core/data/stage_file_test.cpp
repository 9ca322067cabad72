#include "core/data/stage_file.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace velmora {
namespace {

// Reads one stage.txt text against the kinds grunt, archer, the items potion,
// sword and the loot tables junk, hoard.
struct StageRead {
  Faults faults;
  StageFile file;
  explicit StageRead(std::string_view text) {
    DataNames names;
    names.kinds = NameList({"grunt", "archer"});
    names.items = NameList({"potion", "sword"});
    names.loot = NameList({"junk", "hoard"});
    file = read_stage_file(parse_data_file("stage.txt", text, faults), names, faults);
  }
};

// A stage with its required keys on lines 2 to 6 and `extra` from line 7.
std::string stage(std::string_view name, std::string_view extra) {
  return "[stage " + std::string(name) + "]\nname = Road\nlength = 4000\ndepth = 300\nview_w = 1200\nexit_x = 3900\n" +
         std::string(extra);
}

// Read while the program is still starting up, before main.
const Faults start_up_faults = StageRead(stage("road", "barrel = 1 2 food 3\n")).faults;

TEST(StageFileTest, ReadsEveryFieldOfAStage) {
  const StageRead read(
      "[stage yard]\nname = Castle Yard\nlength = 5000\ndepth = 320\nview_w = 1280\nexit_x = 0\n"
      "town = yes\ninterior = no\nlook = dusk\nshop = potion sword potion\nshop_at = 100 50\ninn_at = 300 -20\n"
      "door = 100 150 cellar 40 Old Cellar   Door\nsecret = 700 10 yard 60\ndoor = 900 20 yard 80 Back\n"
      "lever = 400 100 1000\nbarrier = 1000\nbarrier = -40\ntrap = 500 60 2 -1\n"
      "chest = 10 20 locked hoard 3\nchest = 30 40 open junk\nbarrel = 10 20 food 5\nbarrel = 11 21 silver 7\n" +
      stage("cellar", ""));
  ASSERT_EQ(read.faults, Faults{});
  EXPECT_EQ(start_up_faults, Faults{});  // the key tables are ready before main
  ASSERT_EQ(read.file.stages.size(), 2u);
  const StageDef& s = read.file.stages[0];
  EXPECT_EQ(s.name + "/" + s.title + "/" + s.look, "yard/Castle Yard/dusk");
  EXPECT_EQ((std::vector<std::int32_t>{s.length, s.depth, s.view_w, s.exit_x, s.town, s.interior}),
            (std::vector<std::int32_t>{5000, 320, 1280, 0, 1, 0}));
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
  EXPECT_EQ(read.file.stages[1].name, "cellar");
}

TEST(StageFileTest, FaultsFollowTheReadingOrderNotTheLineOrder) {
  const StageRead read(
      "[stage mix]\nwave = grunt left 10\nbarrel = 1 2 gold 3\nchest = 1 2 shut junk\n"             // 1-4
      "trap = 1 2 3\nbarrier = 10 20\nlever = 1 2 x\nsecret = 1 2 mix 4 x\ndoor = 1 2 mix 4\n"      // 5-9
      "look = a\ninterior = maybe\nexit_x = far\nview_w = 1 2\ndepth = +30\n"                      // 10-14
      "length = 2147483648\nshop = potion cloak\ntown = Yes\ninn_at = 1\ntrainer_at = 1 y\n"        // 15-19
      "shop_at = 1 2 3\ncolour = red\nlook = b\n[stage bare]\n");                                  // 20-23
  const std::string bare = "stage.txt:23: [stage bare] needs '";
  EXPECT_EQ(read.faults,
            (Faults{"stage.txt:21: unknown key 'colour' in [stage mix]", "stage.txt:22: 'look' is set twice",
                    "stage.txt:1: [stage mix] needs 'name'", "stage.txt:20: 'shop_at' must be 2 whole numbers",
                    "stage.txt:19: 'trainer_at' must be 2 whole numbers",
                    "stage.txt:18: 'inn_at' must be 2 whole numbers",
                    "stage.txt:17: 'town' must be yes or no",
                    "stage.txt:16: 'shop' must be items from items.txt ('cloak' is not)",
                    "stage.txt:15: 'length' must be 1 whole number", "stage.txt:13: 'view_w' must be 1 whole number",
                    "stage.txt:12: 'exit_x' must be 1 whole number", "stage.txt:11: 'interior' must be yes or no",
                    "stage.txt:9: 'door' must be X Z AREA ENTRY_X TITLE, with an area from stage.txt",
                    "stage.txt:8: 'secret' must be X Z AREA ENTRY_X, with an area from stage.txt",
                    "stage.txt:7: 'lever' must be X Z BARRIER_X", "stage.txt:6: 'barrier' must be X",
                    "stage.txt:5: 'trap' must be X Z DICE ADD",
                    "stage.txt:4: 'chest' must be X Z open|locked TABLE [LOCK], with a table from loot.txt",
                    "stage.txt:3: 'barrel' must be X Z food|silver AMOUNT", "stage.txt:2: 'wave' must be after a gate",
                    bare + "name'", bare + "length'", bare + "depth'", bare + "view_w'", bare + "exit_x'"}));
  ASSERT_EQ(read.file.stages.size(), 2u);
  const StageDef& s = read.file.stages[0];
  EXPECT_EQ(s.shop_at, (Point{0, 0}));  // a bad point reads (0, 0)
  EXPECT_EQ(s.depth, 30);
  EXPECT_EQ(s.look, "a");  // the first of a doubled key
  EXPECT_EQ(s.shop, (std::vector<std::uint16_t>{0}));
  EXPECT_TRUE(s.doors.empty() && s.levers.empty() && s.barriers.empty() && s.traps.empty() && s.chests.empty() &&
              s.barrels.empty() && s.gates.empty());
}

TEST(StageFileTest, EachPlacedThingAcceptsOnlyItsShape) {
  const StageRead read(stage("hall",
      "door = 1 2 nowhere 4 Gate\ndoor = 1 2 hall x Gate\ndoor = 1 2 Hall 4 Gate\n"                       // 7-9
      "secret = 1 2 hall 4\nsecret = 1 2 hall\nchest = 10 20 locked\nchest = 10 20 open hoard 3 4\n"     // 10-13
      "chest = 10 20 open vault\nchest = 10 20 Open hoard\nchest = 10 20 locked hoard -\n"              // 14-16
      "chest = 10 20 open hoard 7\nlever = 1 2 3 4\ntrap = 1 2 3 4 5\nbarrier =\nbarrel = 1 2 food\n"   // 17-21
      "barrel = 1 2 food 1.5\ngate = 500\n"));                                                       // 22-23
  const std::string door = "' must be X Z AREA ENTRY_X TITLE, with an area from stage.txt";
  const std::string chest = "' must be X Z open|locked TABLE [LOCK], with a table from loot.txt";
  EXPECT_EQ(read.faults,
            (Faults{"stage.txt:7: 'door" + door, "stage.txt:8: 'door" + door, "stage.txt:9: 'door" + door,
                    "stage.txt:11: 'secret' must be X Z AREA ENTRY_X, with an area from stage.txt",
                    "stage.txt:18: 'lever' must be X Z BARRIER_X", "stage.txt:20: 'barrier' must be X",
                    "stage.txt:19: 'trap' must be X Z DICE ADD", "stage.txt:12: 'chest" + chest,
                    "stage.txt:13: 'chest" + chest, "stage.txt:14: 'chest" + chest, "stage.txt:15: 'chest" + chest,
                    "stage.txt:16: 'chest" + chest, "stage.txt:21: 'barrel' must be X Z food|silver AMOUNT",
                    "stage.txt:22: 'barrel' must be X Z food|silver AMOUNT",
                    "stage.txt:23: 'gate' must be TRIGGER_X CENTER_X"}));
  ASSERT_EQ(read.file.stages.size(), 1u);
  EXPECT_EQ(read.file.stages[0].doors, (std::vector<DoorDef>{{"", 0, 1, 2, 4, true}}));
  // An open chest may still carry a lock number.
  EXPECT_EQ(read.file.stages[0].chests, (std::vector<ChestDef>{{1, 10, 20, 7, false}}));
}

TEST(StageFileTest, WavesJoinTheLastGateAboveThem) {
  const StageRead read(stage("road",
      "wave = grunt left 1, nobody right 2\ngate = 900 1500\nwave = grunt left 100,  archer right -5 \n"  // 7-9
      "gate = 2000 2600\nwave = grunt left 100, grunt rihgt 120\ngate = 3000\n"                         // 10-12
      "wave = archer right 7,\nwave = Grunt left 1,,grunt left\n"));                                   // 13-14
  const std::string wave = "' must be KIND left|right Z, ... with kinds from kinds.txt (cannot read '";
  EXPECT_EQ(read.faults, (Faults{"stage.txt:7: 'wave" + wave + "nobody right 2')",
                                 "stage.txt:7: 'wave' must be after a gate",
                                 "stage.txt:11: 'wave" + wave + "grunt rihgt 120')",
                                 "stage.txt:12: 'gate' must be TRIGGER_X CENTER_X", "stage.txt:13: 'wave" + wave + "')",
                                 "stage.txt:14: 'wave" + wave + "Grunt left 1')", "stage.txt:14: 'wave" + wave + "')",
                                 "stage.txt:14: 'wave" + wave + "grunt left')"}));
  ASSERT_EQ(read.file.stages.size(), 1u);
  const auto& gates = read.file.stages[0].gates;
  ASSERT_EQ(gates.size(), 2u);
  EXPECT_EQ(std::make_pair(gates[0].trigger_x, gates[0].center_x), std::make_pair(900, 1500));
  EXPECT_EQ(gates[0].waves, (std::vector<WaveDef>{{{{-1, 100, 0}, {1, -5, 1}}}}));
  // The faulty third gate adds nothing, so its waves land on the second.
  EXPECT_EQ(gates[1].waves, (std::vector<WaveDef>{{{{-1, 100, 0}}}, {{{1, 7, 1}}}, {}}));
}

TEST(StageFileTest, ScalingSectionsAndOtherKinds) {
  const StageRead read("[scaling party]\nminions = 100 150 200 250\nelite_hp = 100 120 140 160\n"
                       "[scaling again]\nboss_hp = 100 110 120 130\nboss = 1\nelite_hp = 1 2 3\n"
                       "[level one]\nbogus = 1\n" + stage("road", "") + "[Stage two]\n");
  EXPECT_EQ(read.faults, (Faults{"stage.txt:6: unknown key 'boss' in [scaling again]",
                                 "stage.txt:7: 'elite_hp' must be 4 whole numbers",
                                 "stage.txt:8: unknown section [level] (this file holds [stage ...])",
                                 "stage.txt:16: unknown section [Stage] (this file holds [stage ...])"}));
  // The last [scaling] wins whole: what it omits or gets wrong reads 100 each.
  const PartyScaling want{{100, 100, 100, 100}, {100, 100, 100, 100}, {100, 110, 120, 130}};
  EXPECT_EQ(read.file.scaling, want);
  ASSERT_EQ(read.file.stages.size(), 1u);
  EXPECT_EQ(read.file.stages[0].name, "road");
}

}  // namespace
}  // namespace velmora
