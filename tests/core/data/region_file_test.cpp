#include "core/data/region_file.h"

#include <gtest/gtest.h>

#include <string_view>

namespace velmora {
namespace {

using Indexes = std::vector<std::size_t>;

// Reads region.txt against the stages road, town and mine; node names come
// from the region text itself, as in a load.
struct RegionRead {
  Faults faults;
  std::vector<Section> sections;
  RegionFile file;
  explicit RegionRead(std::string_view text) : sections(parse_data_file("region.txt", text, faults)) {
    DataNames names;
    names.stages = NameList({"road", "town", "mine"});
    names.nodes = section_names(sections, "node");
    file = read_region_file(sections, names, faults);
  }
};

TEST(RegionFileTest, ReadsNodesAndCampaignsWithForwardReferences) {
  const RegionRead read(
      "[campaign north]\ntitle = The North\nstart = gate\nnodes = gate mill pit\noptional = pit\n"
      "[node gate]\ntitle = Town Gate\nblurb = where it begins\nstage = town\nat = 10 20\nlinks = mill\n"
      "[campaign south]\ntitle = South\nblurb = warm\nstart = mill\nnodes = mill\n"
      "[node mill]\ntitle = Mill\nstage = road\nat = 1000 600\nlinks = gate pit gate\n"
      "[node pit]\ntitle = Pit\nstage = road\nat = -1 +5\nlinks =\n");
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
  const RegionRead read(
      "[node mill]\nlinks = mill nosuch x\nat = 10\nstage = road \nstage = mine\ncolour = red\n"  // 1-6
      "[node bare]\nblurb = only this\n"                                                       // 7-8
      "[node odd]\ntitle = Odd\nstage = Road yard\nat = 1 y\nlinks = odd\n");                   // 9-13
  const std::string bare = "region.txt:7: [node bare] needs '";
  EXPECT_EQ(read.faults,
            (Faults{"region.txt:5: 'stage' is set twice", "region.txt:6: unknown key 'colour' in [node mill]",
                    "region.txt:1: [node mill] needs 'title'", "region.txt:3: 'at' must be 2 whole numbers",
                    "region.txt:2: 'links' must be nodes from region.txt ('nosuch' is not)",
                    "region.txt:2: 'links' must be nodes from region.txt ('x' is not)", bare + "title'",
                    bare + "stage'", bare + "at'", bare + "links'",
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

TEST(RegionFileTest, CampaignFaultsAndOtherKinds) {
  const RegionRead read("[campaign east]\noptional = ghost mill\nnodes = mill Mill\nstart = mill pond\n"  // 1-4
                        "[campaign west]\n[place a]\nwhatever = 1\n"                                   // 5-7
                        "[node mill]\ntitle = Mill\nstage = mine\nat = 1 1\nlinks = mill\n[Campaign b]\n");  // 8-13
  EXPECT_EQ(read.faults,
            (Faults{"region.txt:1: [campaign east] needs 'title'",
                    "region.txt:4: 'start' must be a node from region.txt ('mill pond' is not)",
                    "region.txt:3: 'nodes' must be nodes from region.txt ('Mill' is not)",
                    "region.txt:2: 'optional' must be nodes from region.txt ('ghost' is not)",
                    "region.txt:5: [campaign west] needs 'title'", "region.txt:5: [campaign west] needs 'start'",
                    "region.txt:5: [campaign west] needs 'nodes'",
                    "region.txt:6: unknown section [place] (this file holds [node ...])",
                    "region.txt:13: unknown section [Campaign] (this file holds [node ...])"}));
  ASSERT_EQ(read.file.campaigns.size(), 2u);
  EXPECT_EQ(read.file.campaigns[0], (CampaignDef{"east", "", "", 0, {0}, {0}}));
  ASSERT_EQ(read.file.nodes.size(), 1u);
  EXPECT_EQ(read.file.nodes[0].stage, 2u);
}

}  // namespace
}  // namespace velmora
