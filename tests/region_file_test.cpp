#include "core/region_file.h"

#include <gtest/gtest.h>

#include <string_view>

namespace velmora {
namespace {

using Indexes = std::vector<std::size_t>;

struct RegionRead {
  std::vector<Section> stage_sections;
  std::vector<Section> sections;
  RegionFile file;
  Faults faults;
};

// Reads region.txt against the stages "road", "town" and "mine"; node names
// come from the region text itself, as in a load.
RegionRead read_region(std::string_view text) {
  RegionRead read;
  Faults stage_faults;
  read.stage_sections = parse_data_file("stage.txt", "[stage road]\n[stage town]\n[stage mine]\n", stage_faults);
  read.sections = parse_data_file("region.txt", text, read.faults);
  DataNames names;
  names.stages = section_names(read.stage_sections, "stage");
  names.nodes = section_names(read.sections, "node");
  read.file = read_region_file(read.sections, names, read.faults);
  return read;
}

TEST(RegionFileTest, ReadsNodesAndCampaignsWithForwardReferences) {
  const RegionRead read = read_region(
      "[campaign north]\n"
      "title = The North\n"
      "start = gate\n"
      "nodes = gate mill pit\n"
      "optional = pit\n"
      "[node gate]\n"
      "title = Town Gate\n"
      "blurb = where it begins\n"
      "stage = town\n"
      "at = 10 20\n"
      "links = mill\n"
      "[campaign south]\n"
      "title = South\n"
      "blurb = warm\n"
      "start = mill\n"
      "nodes = mill\n"
      "[node mill]\n"
      "title = Mill\n"
      "stage = road\n"
      "at = 1000 600\n"
      "links = gate pit gate\n"
      "[node pit]\n"
      "title = Pit\n"
      "stage = road\n"
      "at = -1 +5\n"
      "links =\n");
  ASSERT_EQ(read.faults, Faults{});
  const auto& nodes = read.file.nodes;
  ASSERT_EQ(nodes.size(), 3u);
  EXPECT_EQ(nodes[0], (NodeDef{"gate", "Town Gate", "where it begins", 1, {10, 20}, {1}}));
  EXPECT_EQ(nodes[1], (NodeDef{"mill", "Mill", "", 0, {1000, 600}, {0, 2, 0}}));
  // Two nodes may play the same stage; an empty route list is left to validation.
  EXPECT_EQ(nodes[2], (NodeDef{"pit", "Pit", "", 0, {-1, 5}, {}}));
  ASSERT_EQ(read.file.campaigns.size(), 2u);
  EXPECT_EQ(read.file.campaigns[0], (CampaignDef{"north", "The North", "", 0, {0, 1, 2}, {2}}));
  EXPECT_EQ(read.file.campaigns[1], (CampaignDef{"south", "South", "warm", 1, {1}, {}}));
}

TEST(RegionFileTest, NodeFaultsFollowTheReadingOrder) {
  const RegionRead read = read_region(
      "[node mill]\n"           // 1
      "links = mill nosuch x\n" // 2
      "at = 10\n"               // 3
      "stage = road \n"         // 4
      "stage = mine\n"          // 5
      "colour = red\n"          // 6
      "[node bare]\n"           // 7
      "blurb = only this\n"     // 8
      "[node odd]\n"            // 9
      "title = Odd\n"           // 10
      "stage = Road yard\n"     // 11
      "at = 1 y\n"              // 12
      "links = odd\n");         // 13
  EXPECT_EQ(read.faults,
            (Faults{"region.txt:5: 'stage' is set twice",
                    "region.txt:6: unknown key 'colour' in [node mill]",
                    "region.txt:1: [node mill] needs 'title'",
                    "region.txt:3: 'at' must be 2 whole numbers",
                    "region.txt:2: 'links' must be nodes from region.txt ('nosuch' is not)",
                    "region.txt:2: 'links' must be nodes from region.txt ('x' is not)",
                    "region.txt:7: [node bare] needs 'title'",
                    "region.txt:7: [node bare] needs 'stage'",
                    "region.txt:7: [node bare] needs 'at'",
                    "region.txt:7: [node bare] needs 'links'",
                    "region.txt:11: 'stage' must be a stage from stage.txt ('Road yard' is not)",
                    "region.txt:12: 'at' must be 2 whole numbers"}));
  ASSERT_EQ(read.file.nodes.size(), 3u);
  const NodeDef& mill = read.file.nodes[0];
  // The first of a doubled key is used; the known links are kept.
  EXPECT_EQ(mill.stage, 0u);
  EXPECT_EQ(mill.links, (Indexes{0}));
  EXPECT_EQ(mill.at, (MapPoint{0, 0}));
  EXPECT_EQ(read.file.nodes[1].blurb, "only this");
}

TEST(RegionFileTest, CampaignReferencesMustNameNodes) {
  const RegionRead read = read_region(
      "[campaign east]\n"       // 1
      "optional = ghost mill\n" // 2
      "nodes = mill Mill\n"     // 3
      "start = mill pond\n"     // 4
      "[campaign west]\n"       // 5
      "optional =\n"            // 6
      "[node mill]\n"           // 7
      "title = Mill\nstage = road\nat = 1 1\nlinks = mill\n");
  EXPECT_EQ(read.faults,
            (Faults{"region.txt:1: [campaign east] needs 'title'",
                    "region.txt:4: 'start' must be a node from region.txt ('mill pond' is not)",
                    "region.txt:3: 'nodes' must be nodes from region.txt ('Mill' is not)",
                    "region.txt:2: 'optional' must be nodes from region.txt ('ghost' is not)",
                    "region.txt:5: [campaign west] needs 'title'",
                    "region.txt:5: [campaign west] needs 'start'",
                    "region.txt:5: [campaign west] needs 'nodes'"}));
  ASSERT_EQ(read.file.campaigns.size(), 2u);
  EXPECT_EQ(read.file.campaigns[0], (CampaignDef{"east", "", "", 0, {0}, {0}}));
}

TEST(RegionFileTest, SectionsOfOtherKindsAreSkippedUnread) {
  const RegionRead read = read_region(
      "[place a]\nwhatever = 1\n"
      "[node mill]\ntitle = Mill\nstage = mine\nat = 1 1\nlinks = mill\n"
      "[Campaign b]\n");
  EXPECT_EQ(read.faults, (Faults{"region.txt:1: unknown section [place] (this file holds [node ...])",
                                 "region.txt:8: unknown section [Campaign] (this file holds [node ...])"}));
  ASSERT_EQ(read.file.nodes.size(), 1u);
  EXPECT_EQ(read.file.nodes[0].stage, 2u);
  EXPECT_TRUE(read.file.campaigns.empty());
}

}  // namespace
}  // namespace velmora
