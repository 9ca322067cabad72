// The campaign: routes between nodes, the map reply, and the requests that
// move the party on ("continue", "travel", "retry").
#include "server/campaign_requests.h"

#include <gtest/gtest.h>

#include "core/game_data.h"
#include "server/recording.h"
#include "tests/support/service.h"
#include "tests/support/support.h"

namespace velmora {
namespace {

using testing::keys_of;
using testing::ScratchFolder;
using testing::Service;
using testing::text_at;
using Keys = std::vector<std::string>;

// The built-in data with a second campaign of two nodes: a road (hermit)
// linked to a town (hut).
class SideRoad : public ::testing::Environment {
  void SetUp() override {
    testing::DataTexts data = testing::DataTexts::builtin();
    data.file("region.txt") +=
        "\n[campaign side]\ntitle = The Side Road\nstart = hermit\nnodes = hermit hut\n"
        "\n[node hermit]\ntitle = Hermit's Rock\nstage = first_road\nat = 100 100\nlinks = hut\n"
        "\n[node hut]\ntitle = The Hut\nstage = millbrook\nat = 200 120\nlinks = hermit\n";
    DataLoad load = data.load();
    VELMORA_CHECK(load.ok() && install_game_data(std::move(load.data())).ok(), "the test data must install");
  }
};
::testing::Environment* const side_road = ::testing::AddGlobalTestEnvironment(new SideRoad);

std::uint64_t node(std::string_view name) { return node_by_name(name).value(); }

TEST(Campaign, RoutesBetweenNodes) {
  struct Case {
    std::uint64_t campaign;
    const char* here;
    bool here_cleared;
    std::uint64_t target;
    const char* refusal;  // "" when the party may go
  } cases[] = {
      {0, "first_road", false, node("millbrook"), "no open route there"},  // a road must be cleared first
      {0, "first_road", true, node("millbrook"), ""},
      {0, "millbrook", false, node("dark_wood"), ""},  // a town needs no clearing
      {0, "millbrook", false, node("old_barrow"), ""},
      {0, "millbrook", true, node("bandit_camp"), "no open route there"},  // not linked
      {0, "dark_wood", true, node("bandit_camp"), ""},
      {0, "dark_wood", true, node("dark_wood"), "no open route there"},  // no road to where it stands
      {0, "hermit", true, node("hut"), "no open route there"},           // linked, but not on this map
      {1, "hermit", true, node("hut"), ""},
      {1, "hut", false, node("hermit"), ""},
      {0, "first_road", true, game_data().nodes.size(), "no such place"},
      {0, "first_road", true, UINT64_MAX, "no such place"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.here) + " to " + std::to_string(c.target));
    CampaignState campaign = new_campaign_state(c.campaign, {});
    campaign.current_node = node(c.here);
    campaign.cleared[campaign.current_node] = c.here_cleared ? 1 : 0;
    const std::string refusal = c.refusal;
    EXPECT_EQ(may_travel(campaign, c.target), refusal.empty());
    const Status moved = travel_to(campaign, c.target);
    EXPECT_EQ(moved ? "" : moved.message(), refusal);
    EXPECT_EQ(campaign.current_node, refusal.empty() ? c.target : node(c.here));
  }
  // Past the last campaign is the last one.
  const CampaignState last = new_campaign_state(7, {});
  EXPECT_EQ(last.campaign, 1u);
  EXPECT_EQ(last.current_node, node("hermit"));
}

TEST(Campaign, SilverLostOnAWipe) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {
      {7, 6}, {100, 75}, {3, 3}, {4, 3}, {0, 0}, {-8, 0}, {INT32_MAX, 1'610'612'736}, {INT32_MIN, 0}};
  for (auto [silver, left] : cases) EXPECT_EQ(silver_after_wipe(silver), left) << silver;
}

TEST(Campaign, MapReply) {
  Service s;
  EXPECT_EQ(s.refusal("map"), "no campaign");
  s.granted("new 5 1");
  s.state.campaign->cleared[node("first_road")] = 1;
  const JsonValue map = s.ask("map");
  EXPECT_EQ(keys_of(map), (Keys{"ok", "message", "campaign", "nodes"}));
  EXPECT_EQ(text_at(map, "message"), "");
  EXPECT_EQ(text_at(map, "campaign"), "The Bandit King");
  const auto& nodes = *map.get("nodes")->as_arr();
  std::vector<std::string> ids;
  for (const JsonValue& n : nodes) ids.push_back(text_at(n, "id"));
  EXPECT_EQ(ids, (Keys{"first_road", "millbrook", "old_barrow", "dark_wood", "bandit_camp"}));  // region order
  EXPECT_EQ(keys_of(nodes[0]),
            (Keys{"id", "title", "blurb", "x", "y", "town", "links", "cleared", "here", "open"}));
  EXPECT_EQ(json_to_string(Json(*nodes[1].get("links")->as_arr()->front().as_str())), "\"first_road\"");
  struct Row {
    bool town, cleared, here, open;
  } rows[] = {{false, true, true, false},
              {true, false, false, true},
              {false, false, false, false},
              {false, false, false, false},
              {false, false, false, false}};
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    SCOPED_TRACE(ids[i]);
    EXPECT_EQ(nodes[i].get("town")->as_bool(), rows[i].town);
    EXPECT_EQ(nodes[i].get("cleared")->as_bool(), rows[i].cleared);
    EXPECT_EQ(nodes[i].get("here")->as_bool(), rows[i].here);
    EXPECT_EQ(nodes[i].get("open")->as_bool(), rows[i].open);
  }
  EXPECT_EQ(*nodes[1].get("x")->as_num(), 290);
  EXPECT_EQ(*nodes[1].get("y")->as_num(), 390);
  EXPECT_EQ(text_at(nodes[1], "title"), "Millbrook");
  EXPECT_EQ(nodes[1].get("links")->as_arr()->size(), 3u);

  Service side;
  side.granted("new 5 1 campaign=side");
  EXPECT_EQ(text_at(side.ask("map"), "campaign"), "The Side Road");
  EXPECT_EQ(side.ask("map").get("nodes")->as_arr()->size(), 2u);
}

// A game whose stage has ended; the record holds the ticks played so far.
void end_stage(Service& s, GameStatus how) {
  s.ask("run 3 2");
  s.state.game->over = how;
  if (how == GameStatus::cleared) note_cleared(*s.state.campaign, party_sheets(*s.state.game));
}

TEST(Campaign, RefusalsChangeNothing) {
  struct Case {
    const char* line;
    GameStatus status;  // of the stage when the line is sent
    bool campaign;
    const char* refusal;
  } cases[] = {
      {"continue", GameStatus::playing, true, "continue needs a cleared stage"},
      {"continue", GameStatus::wiped, true, "continue needs a cleared stage"},
      {"travel", GameStatus::cleared, true, "travel NODE, with a node from region.txt"},
      {"travel Millbrook", GameStatus::cleared, true, "travel NODE, with a node from region.txt"},
      {"travel millbrook", GameStatus::playing, true, "finish this stage first"},
      {"travel millbrook", GameStatus::wiped, true, "finish this stage first"},
      {"travel millbrook", GameStatus::cleared, false, "no campaign"},
      {"travel dark_wood", GameStatus::cleared, true, "no open route there"},
      {"travel first_road", GameStatus::cleared, true, "no open route there"},
      {"retry", GameStatus::playing, true, "retry needs a wiped party"},
      {"retry", GameStatus::cleared, true, "retry needs a wiped party"},
      {"retry", GameStatus::wiped, false, "no campaign"},  // no checkpoint to go back to
      {"continue", GameStatus::cleared, false, "no campaign"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Service s;
    s.granted("new 8 2");
    end_stage(s, c.status);
    if (!c.campaign) s.state.campaign.reset();
    const World before = *s.state.game;
    const auto campaign = s.state.campaign;
    const std::uint64_t stages = s.state.stage_counter;
    EXPECT_EQ(s.refusal(c.line), c.refusal);
    EXPECT_EQ(*s.state.game, before);
    EXPECT_EQ(s.state.campaign, campaign);
    EXPECT_EQ(s.state.stage_counter, stages);
    EXPECT_TRUE(s.state.unsaved);
  }
  Service none;
  for (const char* line : {"continue", "travel millbrook", "retry"}) {
    EXPECT_EQ(none.refusal(line), "no game: send new first") << line;
  }
  EXPECT_EQ(none.refusal("travel nowhere"), "travel NODE, with a node from region.txt");
}

TEST(Campaign, TravelAndRetrySaveTheStageAndBeginTheNext) {
  ScratchFolder folder;
  Service s(folder.path);
  s.granted("new 8 2");
  end_stage(s, GameStatus::cleared);
  s.state.campaign->party[1].silver = 40;

  const JsonValue road = s.ask("continue");
  EXPECT_EQ(text_at(road, "message"), "choose the road");
  EXPECT_EQ(keys_of(road), (Keys{"ok", "message", "campaign", "nodes"}));

  const JsonValue moved = s.ask("travel millbrook");
  EXPECT_EQ(keys_of(moved), (Keys{"ok", "message", "events", "state"}));
  EXPECT_EQ(text_at(moved, "message"), "on the road");
  EXPECT_EQ(folder.replay_files().size(), 1u);  // the road, saved before leaving
  EXPECT_EQ(s.state.campaign->current_node, node("millbrook"));
  EXPECT_EQ(s.state.game->seed, 9u);
  EXPECT_EQ(s.state.game->tick, 0u);
  EXPECT_EQ(s.state.game->stage_index, stage_index(game_data().stages, "millbrook"));
  EXPECT_EQ(s.state.game->actors[1].silver, 40);  // the campaign's party plays the next stage
  EXPECT_EQ(s.state.record->seed, 9u);
  EXPECT_EQ(s.state.record->party, s.state.campaign->party);
  EXPECT_FALSE(s.state.unsaved);
  // From the town the roads are open without clearing it, but its stage must be over.
  EXPECT_EQ(s.refusal("travel dark_wood"), "finish this stage first");
  end_stage(s, GameStatus::cleared);
  EXPECT_EQ(s.granted("travel dark_wood"), "on the road");
  EXPECT_EQ(folder.replay_files().size(), 2u);

  // A wipe: back to the start of the same node, a quarter of the silver gone.
  end_stage(s, GameStatus::wiped);
  const std::uint64_t stages = s.state.stage_counter;
  EXPECT_EQ(s.granted("retry"), "back to the checkpoint");
  EXPECT_EQ(s.state.stage_counter, stages + 1);
  EXPECT_EQ(s.state.campaign->current_node, node("dark_wood"));
  EXPECT_EQ(s.state.campaign->party[1].silver, 30);
  EXPECT_EQ(s.state.game->actors[1].silver, 30);
  EXPECT_EQ(s.state.game->seed, 11u);
  EXPECT_EQ(s.state.game->over, GameStatus::playing);
  EXPECT_EQ(folder.replay_files().size(), 3u);
  for (const std::string& file : folder.replay_files()) {
    EXPECT_EQ(s.granted("watch " + file), "watching") << file;
  }
  // A watched replay ends at a later travel, which begins a stage of its own.
  s.state.game->over = GameStatus::cleared;
  s.state.campaign->cleared[node("dark_wood")] = 1;
  EXPECT_EQ(s.granted("travel bandit_camp"), "on the road");
  EXPECT_FALSE(s.state.watch.has_value());
  EXPECT_TRUE(s.state.record.has_value());
}

TEST(Campaign, APartyChangedAfterTheStageKeepsItsChanges) {
  Service s;
  s.granted("new 8 2 wizard fighter");
  s.granted("debug on");
  s.granted("goto millbrook");
  end_stage(s, GameStatus::cleared);
  CampaignState& campaign = *s.state.campaign;
  // At the inn a point was spent on the campaign's sheet; at the merchant a
  // cap was bought in the world.
  campaign.party[0].xp = 200;
  ASSERT_TRUE(spend_point(campaign.party[0], Attribute::iq).ok());
  Actor& wizard = s.state.game->actors[0];
  wizard.silver = 5;
  wizard.gear[1] = *item_id(game_data().items, "leather_cap");
  wizard.bag.push_back(*item_id(game_data().items, "ration"));

  // Nothing follows the world while it still runs or while a replay is watched.
  const CampaignState kept = campaign;
  s.state.game->over = GameStatus::playing;
  keep_campaign_in_step(s.state);
  EXPECT_EQ(campaign, kept);
  s.state.game->over = GameStatus::cleared;
  s.state.watch = WatchState{};
  keep_campaign_in_step(s.state);
  EXPECT_EQ(campaign, kept);
  s.state.watch.reset();

  keep_campaign_in_step(s.state);
  const Worn worn = wizard.gear;
  const CharacterSheet& sheet = campaign.party[0];
  EXPECT_EQ(sheet.silver, 5);
  EXPECT_EQ(sheet.worn, wizard.gear);
  EXPECT_EQ(sheet.bag, wizard.bag);
  EXPECT_EQ(sheet.raise(Attribute::iq), 1);  // the point spent at the inn stays
  EXPECT_EQ(sheet.points_spent, 20);
  EXPECT_EQ(campaign.party[1], kept.party[1]);

  EXPECT_EQ(s.granted("travel dark_wood"), "on the road");
  EXPECT_EQ(s.state.game->actors[0].gear, worn);
  EXPECT_EQ(s.state.game->actors[0].iq, 15);
  EXPECT_EQ(*s.ask("party").get("party")->as_arr()->front().get("silver")->as_num(), 5);
}

}  // namespace
}  // namespace velmora
