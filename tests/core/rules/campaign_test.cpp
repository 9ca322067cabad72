// The campaign: routes between nodes, the map reply, and the requests that
// move the party on ("continue", "travel", "retry").
#include "server/service/campaign_requests.h"

#include <gtest/gtest.h>

#include "core/data/game_data.h"
#include "tests/support/service.h"
#include "tests/support/support.h"

namespace velmora {
namespace {

using namespace velmora::testing;

// The built-in data with a second campaign: a road (hermit) linked to a town (hut).
class SideRoad : public ::testing::Environment {
  void SetUp() override {
    DataTexts data = DataTexts::builtin();
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

TEST(Campaign, RoutesAndTheLossOfAWipe) {
  const std::tuple<std::uint64_t, const char*, bool, std::uint64_t, const char*> cases[] = {
      {0, "first_road", false, node("millbrook"), "no open route there"},  // a road must be cleared first
      {0, "first_road", true, node("millbrook"), ""},
      {0, "millbrook", false, node("dark_wood"), ""},                      // a town needs no clearing
      {0, "millbrook", true, node("bandit_camp"), "no open route there"},  // not linked
      {0, "hermit", true, node("hut"), "no open route there"},             // linked, but not on this map
      {1, "hermit", true, node("hut"), ""},
      {0, "first_road", true, game_data().nodes.size(), "no such place"},
  };
  for (const auto& [index, here, cleared, target, refusal] : cases) {
    SCOPED_TRACE(std::string(here) + " to " + std::to_string(target));
    CampaignState campaign = new_campaign_state(index, {});
    campaign.current_node = node(here);
    campaign.cleared[campaign.current_node] = cleared ? 1 : 0;
    EXPECT_EQ(may_travel(campaign, target), *refusal == '\0');
    const Status moved = travel_to(campaign, target);
    EXPECT_EQ(moved ? "" : moved.message(), refusal);
    EXPECT_EQ(campaign.current_node, *refusal == '\0' ? target : node(here));
  }
  EXPECT_EQ(new_campaign_state(7, {}).current_node, node("hermit"));  // past the last is the last

  const std::pair<std::int32_t, std::int32_t> silver[] = {
      {7, 6}, {100, 75}, {3, 3}, {-8, 0}, {INT32_MAX, 1'610'612'736}, {INT32_MIN, 0}};
  for (auto [before, after] : silver) EXPECT_EQ(silver_after_wipe(before), after) << before;
}

TEST(Campaign, MapReply) {
  Service s;
  EXPECT_EQ(s.message("map"), "no campaign");
  s.ask("new 5 1");
  s.state.campaign->cleared[node("first_road")] = 1;
  const std::string map = handle_request(s.state, "map");
  // In region order, only the campaign's nodes, each with every link.
  const char* const parts[] = {
      R"({"ok":true,"message":"","campaign":"The Bandit King","nodes":[{"id":"first_road",)",
      R"("x":90,"y":470,"town":false,"links":["millbrook"],"cleared":true,"here":true,"open":false},)"
      R"({"id":"millbrook","title":"Millbrook","blurb":"A market town with a merchant, an inn and a weapons )"
      R"(master.","x":290,"y":390,"town":true,"links":["first_road","dark_wood","old_barrow"],"cleared":false,)"
      R"("here":false,"open":true},{"id":"old_barrow",)",
      R"("links":["millbrook","bandit_camp"],"cleared":false,"here":false,"open":false},{"id":"bandit_camp",)",
  };
  for (const char* part : parts) EXPECT_NE(map.find(part), std::string::npos) << part;
  s.ask("new 5 1 campaign=side");
  EXPECT_EQ(s.ask("map").get("nodes")->as_arr()->size(), 2u);
}

// A game of two whose stage has ended after a few recorded ticks.
void end_stage(Service& s, GameStatus how) {
  s.ask("run 3 2");
  s.state.game->over = how;
  if (how == GameStatus::cleared) note_cleared(*s.state.campaign, party_sheets(*s.state.game));
}

TEST(Campaign, RefusalsChangeNothing) {
  const std::tuple<const char*, GameStatus, bool, const char*> cases[] = {
      {"continue", GameStatus::wiped, true, "continue needs a cleared stage"},
      {"continue", GameStatus::cleared, false, "no campaign"},
      {"travel", GameStatus::cleared, true, "travel NODE, with a node from region.txt"},
      {"travel Millbrook", GameStatus::cleared, true, "travel NODE, with a node from region.txt"},
      {"travel millbrook", GameStatus::playing, false, "finish this stage first"},  // before the campaign
      {"travel millbrook", GameStatus::wiped, true, "finish this stage first"},
      {"travel millbrook", GameStatus::cleared, false, "no campaign"},
      {"travel dark_wood", GameStatus::cleared, true, "no open route there"},
      {"retry", GameStatus::cleared, false, "retry needs a wiped party"},
      {"retry", GameStatus::wiped, false, "no campaign"},  // no checkpoint to go back to
      {"spend 0 st", GameStatus::wiped, true, "points are spent at camp or at an inn"},
      {"spend 0 st", GameStatus::cleared, false, "no character in that slot"},
      {"spend 2 st", GameStatus::cleared, true, "no character in that slot"},
  };
  for (const auto& [line, status, with_campaign, refusal] : cases) {
    SCOPED_TRACE(line);
    Service s;
    s.ask("new 8 2");
    end_stage(s, status);
    if (!with_campaign) s.state.campaign.reset();
    const World before = *s.state.game;
    const auto campaign = s.state.campaign;
    EXPECT_EQ(handle_request(s.state, line), R"({"ok":false,"message":")" + std::string(refusal) + "\"}");
    EXPECT_EQ(*s.state.game, before);
    EXPECT_EQ(s.state.campaign, campaign);
    EXPECT_TRUE(s.state.unsaved);
  }
  Service none;
  for (const char* line : {"continue", "travel millbrook", "retry"}) {
    EXPECT_EQ(none.message(line), "no game: send new first");
  }
}

// The road cleared, the town bought and trained in after its end, a wipe and
// a retry: each stage begins with the seed + 1 and a clean record (nothing
// can be saved here), and the party takes along what it owns, less a quarter
// of its silver on a retry.
TEST(Campaign, TravelAndRetryCarryTheParty) {
  Service s;
  s.ask("new 8 2 wizard fighter");
  end_stage(s, GameStatus::cleared);
  EXPECT_EQ(s.message("continue"), "choose the road");
  const std::string moved = handle_request(s.state, "travel millbrook");
  EXPECT_TRUE(moved.starts_with(R"({"ok":true,"message":"on the road","events":[],"state":{"tick":0,)")) << moved;
  EXPECT_EQ(s.state.game->seed, 9u);
  EXPECT_EQ(s.state.record->party, s.state.campaign->party);
  EXPECT_FALSE(s.state.unsaved);

  end_stage(s, GameStatus::playing);
  s.state.game->over = GameStatus::cleared;  // a town left without being marked cleared
  s.state.game->actors[0].silver = 85;
  s.state.campaign->party[0].xp = 200;
  EXPECT_EQ(s.message("buy 0 leather_cap"), "bought");
  EXPECT_EQ(s.message("train 0 mage_armor"), "learned");
  const std::string spent = handle_request(s.state, "spend 0 iq");
  EXPECT_NE(spent.find(R"("message":"spent","node":"millbrook","party":[{"slot":0,"class":"wizard",)"
                       R"("skill_name":"Staff","st":9,"dx":11,"iq":15,)"),
            std::string::npos);
  EXPECT_NE(spent.find(R"("gear":["quarterstaff","leather_cap","mage_robe"],"bag":[],"bag_value":0,"silver":5})"),
            std::string::npos);
  // Nothing follows the world while a replay is watched.
  s.state.game->actors[0].silver = 99;
  s.state.watch = WatchState{};
  const CampaignState kept = *s.state.campaign;
  keep_campaign_in_step(s.state);
  EXPECT_EQ(*s.state.campaign, kept);
  s.state.watch.reset();

  EXPECT_EQ(s.message("travel dark_wood"), "on the road");
  const Actor& wizard = s.state.game->actors[0];
  EXPECT_EQ(std::make_tuple(wizard.iq, wizard.silver, wizard.gear[1], wizard.arts.size()),
            std::make_tuple(15, 5, item_id(game_data().items, "leather_cap"), std::size_t{1}));

  end_stage(s, GameStatus::wiped);
  const std::uint64_t stages = s.state.stage_counter;
  EXPECT_EQ(s.message("retry"), "back to the checkpoint");
  EXPECT_EQ(std::make_tuple(s.state.stage_counter, s.state.campaign->current_node, s.state.game->seed),
            std::make_tuple(stages + 1, node("dark_wood"), std::uint64_t{11}));
  EXPECT_EQ(std::make_pair(s.state.campaign->party[0].silver, s.state.game->actors[0].silver), std::make_pair(4, 4));
}

}  // namespace
}  // namespace velmora
