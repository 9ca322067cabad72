// The campaign: routes between nodes, the map reply, and the requests that
// move the party on ("continue", "travel", "retry").
#include "server/campaign_requests.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdlib.h>

#include "core/game_data.h"
#include "tests/support/service.h"
#include "tests/support/support.h"

namespace velmora {
namespace {

using namespace velmora::testing;
using Keys = std::vector<std::string>;

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

// "KEY":[...] of a list of texts in an object.
std::string names_of(const JsonValue& object, std::string_view key) {
  const JsonValue* value = object.get(key);
  if (value == nullptr) return "";
  Json out = Json::array();
  for (const JsonValue& v : *value->as_arr()) out.push(*v.as_str());
  return "\"" + std::string(key) + "\":" + json_to_string(out);
}

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
      {0, "millbrook", false, node("dark_wood"), ""},                       // a town needs no clearing
      {0, "millbrook", true, node("bandit_camp"), "no open route there"},   // not linked
      {0, "dark_wood", true, node("dark_wood"), "no open route there"},     // no road to where it stands
      {0, "hermit", true, node("hut"), "no open route there"},              // linked, but not on this map
      {1, "hermit", true, node("hut"), ""},
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
  EXPECT_EQ(new_campaign_state(7, {}).current_node, node("hermit"));  // past the last is the last

  const std::pair<std::int32_t, std::int32_t> silver[] = {
      {7, 6}, {100, 75}, {3, 3}, {0, 0}, {-8, 0}, {INT32_MAX, 1'610'612'736}, {INT32_MIN, 0}};
  for (auto [before, after] : silver) EXPECT_EQ(silver_after_wipe(before), after) << before;
}

TEST(Campaign, MapReply) {
  Service s;
  EXPECT_EQ(s.message("map"), "no campaign");
  s.ask("new 5 1");
  s.state.campaign->cleared[node("first_road")] = 1;
  const JsonValue map = s.ask("map");
  EXPECT_EQ(keys_of(map), (Keys{"ok", "message", "campaign", "nodes"}));
  EXPECT_EQ(text_at(map, "campaign"), "The Bandit King");
  std::vector<std::string> ids;
  for (const JsonValue& n : *map.get("nodes")->as_arr()) ids.push_back(text_at(n, "id"));
  EXPECT_EQ(ids, (Keys{"first_road", "millbrook", "old_barrow", "dark_wood", "bandit_camp"}));  // region order
  const std::string text = handle_request(s.state, "map");
  EXPECT_NE(text.find(R"("x":90,"y":470,"town":false,"links":["millbrook"],"cleared":true,"here":true,"open":false})"),
            std::string::npos);
  EXPECT_NE(text.find(R"({"id":"millbrook","title":"Millbrook","blurb":"A market town with a merchant, an inn )"
                      R"(and a weapons master.","x":290,"y":390,"town":true,)"
                      R"("links":["first_road","dark_wood","old_barrow"],"cleared":false,"here":false,"open":true})"),
            std::string::npos);
  EXPECT_NE(text.find(R"("links":["millbrook","bandit_camp"],"cleared":false,"here":false,"open":false})"),
            std::string::npos);
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
      {"continue", GameStatus::playing, true, "continue needs a cleared stage"},
      {"continue", GameStatus::wiped, true, "continue needs a cleared stage"},
      {"continue", GameStatus::cleared, false, "no campaign"},
      {"travel", GameStatus::cleared, true, "travel NODE, with a node from region.txt"},
      {"travel Millbrook", GameStatus::cleared, true, "travel NODE, with a node from region.txt"},
      {"travel millbrook", GameStatus::playing, true, "finish this stage first"},
      {"travel millbrook", GameStatus::wiped, true, "finish this stage first"},
      {"travel millbrook", GameStatus::cleared, false, "no campaign"},
      {"travel dark_wood", GameStatus::cleared, true, "no open route there"},
      {"retry", GameStatus::cleared, true, "retry needs a wiped party"},
      {"retry", GameStatus::wiped, false, "no campaign"},  // no checkpoint to go back to
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

TEST(Campaign, TravelAndRetrySaveTheStageAndBeginTheNext) {
  char name[] = "/tmp/velmora-campaign-XXXXXX";
  ASSERT_NE(::mkdtemp(name), nullptr);
  const std::string folder = name;
  const auto saved = [&] { return std::distance(std::filesystem::directory_iterator(folder), {}); };
  Service s(folder);
  s.ask("new 8 2");
  end_stage(s, GameStatus::cleared);
  s.state.campaign->party[1].silver = 40;
  EXPECT_EQ(s.message("continue"), "choose the road");

  const JsonValue moved = s.ask("travel millbrook");
  EXPECT_EQ(keys_of(moved), (Keys{"ok", "message", "events", "state"}));
  EXPECT_EQ(text_at(moved, "message"), "on the road");
  EXPECT_EQ(saved(), 1);  // the road, saved before leaving
  const World& town = *s.state.game;
  EXPECT_EQ(std::make_tuple(town.seed, town.tick, town.stage_index, town.actors[1].silver),
            std::make_tuple(9ull, 0ull, *stage_index(game_data().stages, "millbrook"), 40));
  EXPECT_EQ(s.state.record->party, s.state.campaign->party);
  EXPECT_FALSE(s.state.unsaved);
  EXPECT_EQ(s.message("travel dark_wood"), "finish this stage first");
  end_stage(s, GameStatus::playing);
  s.state.game->over = GameStatus::cleared;  // a town is left without being marked cleared
  EXPECT_EQ(s.message("travel dark_wood"), "on the road");

  end_stage(s, GameStatus::wiped);
  const std::uint64_t stages = s.state.stage_counter;
  EXPECT_EQ(s.message("retry"), "back to the checkpoint");
  EXPECT_EQ(s.state.stage_counter, stages + 1);
  EXPECT_EQ(s.state.campaign->current_node, node("dark_wood"));
  EXPECT_EQ(s.state.campaign->party[1].silver, 30);
  EXPECT_EQ(s.state.game->actors[1].silver, 30);
  EXPECT_EQ(s.state.game->seed, 11u);
  EXPECT_EQ(saved(), 3);
  std::filesystem::remove_all(folder);
}

// A town walked through: what the party buys and spends after its stage is
// over goes with it to the next stage, and the replies agree on it.
TEST(Campaign, APartyChangedAfterTheStageKeepsItsChanges) {
  Service s;
  s.ask("new 8 2 wizard fighter");
  s.ask("debug on");
  s.ask("goto millbrook");
  while (s.state.game->over == GameStatus::playing) s.ask("run 600 2 2");
  s.state.game->actors[0].silver = 25;
  s.state.campaign->party[0].xp = 200;

  const JsonValue bought = s.ask("buy 0 leather_cap");
  EXPECT_EQ(keys_of(bought), (Keys{"ok", "message", "stock", "players"}));
  EXPECT_EQ(text_at(bought, "message"), "bought");
  const JsonValue spent = s.ask("spend 0 iq");
  EXPECT_EQ(keys_of(spent), (Keys{"ok", "message", "node", "party"}));
  const JsonValue& wizard = spent.get("party")->as_arr()->at(0);
  EXPECT_EQ(std::make_tuple(num_at(wizard, "iq"), num_at(wizard, "silver")), std::make_tuple(15, 5));
  EXPECT_EQ(names_of(wizard, "gear"), R"("gear":["quarterstaff","leather_cap","mage_robe"])");
  const JsonValue handed = s.ask("hand 0 1 5");
  EXPECT_EQ(text_at(handed, "message"), "the stage is over");  // refused, as is any gear change now

  // Nothing follows the world while a replay is watched.
  s.state.game->actors[0].silver = 99;
  s.state.watch = WatchState{};
  const CampaignState kept = *s.state.campaign;
  keep_campaign_in_step(s.state);
  EXPECT_EQ(*s.state.campaign, kept);
  s.state.watch.reset();
  s.state.game->actors[0].silver = 5;

  EXPECT_EQ(s.message("travel dark_wood"), "on the road");
  const Actor& now = s.state.game->actors[0];
  EXPECT_EQ(std::make_tuple(now.iq, now.silver, now.gear[1]),
            std::make_tuple(15, 5, item_id(game_data().items, "leather_cap")));
}

}  // namespace
}  // namespace velmora
